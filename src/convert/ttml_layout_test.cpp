#include "convert/ttml_layout.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

// The anchor from an area, displayAlign and textAlign: the text's edge, by thirds.
TEST(PlaceText, TheTextsEdgeGivesItsThird) {
  using D = DisplayAlign;
  using T = TextAlign;
  const Area bottom{10, 10, 80, 80}, left{0, 50, 30, 20};
  const struct {
    std::optional<Area> area;
    D display;
    std::optional<T> text;
    bool rtl;
    int vertical, horizontal;
  } rows[] = {
      {bottom, D::kAfter, std::nullopt, false, 2, 1},  // the classic bottom region
      {bottom, D::kBefore, T::kCenter, false, 0, 1},
      {bottom, D::kCenter, T::kLeft, false, 1, 0},
      {bottom, D::kAfter, T::kRight, false, 2, 2},
      {bottom, D::kAfter, T::kStart, true, 2, 2},
      {bottom, D::kAfter, T::kEnd, true, 2, 0},
      {bottom, D::kAfter, T::kEnd, false, 2, 2},
      {left, D::kBefore, std::nullopt, false, 1, 0},  // centred in a region in the left third
      {Area{0, 60, 100, 10}, D::kBefore, T::kCenter, false, 1, 1},  // 60 % is the middle
      {Area{0, 67, 100, 10}, D::kBefore, T::kCenter, false, 2, 1},
      {std::nullopt, D::kBefore, std::nullopt, false, 2, 1},  // not placed
      {std::nullopt, D::kBefore, T::kStart, false, 2, 0},     // in the whole picture
      {std::nullopt, D::kBefore, T::kStart, true, 2, 2},
  };
  for (const auto& r : rows) {
    const Placement p = PlaceText(r.area, r.display, r.text, r.rtl);
    EXPECT_EQ(p.vertical, r.vertical) << &r - rows;
    EXPECT_EQ(p.horizontal, r.horizontal) << &r - rows;
  }
}

// Lengths in %, px against the root's extent, c against its cells; what cannot be resolved
// is marked so.
TEST(TtmlLayout, LengthsInEachUnit) {
  TtmlLayout with_root, without_root;
  with_root.SetRoot("1280px 720px", "64 36");
  const struct {
    const TtmlLayout& layout;
    const char* text;
    LengthPair expected;
  } rows[] = {{without_root, "10% 85%", {true, 10, 85}},
              {with_root, "128px 72px", {true, 10, 10}},
              {without_root, "128px 72px", {}},
              {without_root, "8c 3c", {true, 25, 20}},
              {with_root, "16c 18c", {true, 25, 50}},
              {without_root, "10%", {}},
              {without_root, "1em 1em", {}}};
  for (const auto& r : rows) {
    const auto origin = r.layout.ReadAttributes(r.text, {}, {}, {}, {}).origin;
    EXPECT_EQ(origin, r.expected) << r.text;
  }
}

}  // namespace
}  // namespace capsel
