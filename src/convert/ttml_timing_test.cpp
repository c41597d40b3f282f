#include "convert/ttml_timing.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

TimingAttributes Times(std::optional<double> begin, std::optional<double> end = {},
                       std::optional<double> dur = {}, bool seq = false) {
  return {begin, end, dur, seq};
}

// Opening a child: where its times count from, and where it ends.
TEST(TtmlTiming, OpensChildrenOfParallelAndSequentialParents) {
  TimedElement par = RootElement();
  par.interval = {10, 20};
  TimedElement seq = par;
  seq.seq = true;
  seq.cursor = 12;  // the previous child ended at 12
  struct Case {
    const char* name;
    const TimedElement& parent;
    TimingAttributes own;
    Interval expected;
    bool end_known;
  };
  const Case cases[] = {
      {"par: from the parent's begin", par, Times(1, 3), {11, 13}, true},
      {"par: dur", par, Times(1, {}, 2), {11, 13}, true},
      {"par: the earlier of end and dur", par, Times(1, 5, 2), {11, 13}, true},
      {"par: no end, ends with the parent", par, Times(1), {11, 20}, true},
      {"par: cut to the parent", par, Times(5, 30), {15, 20}, true},
      {"par: after the parent's end", par, Times(15, 16), {25, 20}, true},
      {"seq: from the previous child's end", seq, Times(1, {}, 2), {13, 15}, true},
      {"seq: no end, implicit (until then cut only by the parent)",
       seq,
       Times({}),
       {12, 20},
       false},
  };
  for (const auto& c : cases) {
    TimedElement child = OpenChild(c.parent, c.own);
    EXPECT_EQ(child.interval, c.expected) << c.name;
    EXPECT_EQ(child.end_known, c.end_known) << c.name;
  }
}

// Closing children: an implicit end becomes known, and the parent learns where it stands.
TEST(TtmlTiming, ImplicitEndsComeFromTheChildren) {
  TimedElement body = RootElement();
  body.seq = true;
  // A parallel div without end in a sequence: it ends with its latest child.
  TimedElement div = OpenChild(body, Times({}));
  TimedElement p1 = OpenChild(div, Times(1, 3));
  TimedElement p2 = OpenChild(div, Times(2, 5));
  CloseChild(div, p1);
  CloseChild(div, p2);
  EXPECT_EQ(CloseChild(body, div), (Interval{0, 5}));
  EXPECT_EQ(body.cursor, 5);
  // A sequential p: its anonymous text takes no time, so the p ends where it begins.
  TimedElement p = OpenChild(body, Times({}, {}, {}, true));
  EXPECT_EQ(AnonymousText(p, false), (Interval{5, 5}));
  EXPECT_EQ(CloseChild(body, p), (Interval{5, 5}));
  // Blanks between timed spans do not hold a paragraph open; text does.
  TimedElement p3 = OpenChild(body, Times({}));
  AnonymousText(p3, true);
  TimedElement span = OpenChild(p3, Times(1, 2));
  CloseChild(p3, span);
  EXPECT_EQ(CloseChild(body, p3), (Interval{5, 7}));
  TimedElement p4 = OpenChild(body, Times({}));
  AnonymousText(p4, false);
  EXPECT_EQ(CloseChild(body, p4).end, kIndefinite);
}

}  // namespace
}  // namespace capsel
