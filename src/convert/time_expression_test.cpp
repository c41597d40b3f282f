#include "convert/time_expression.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

TEST(TimeExpression, ReadsClockAndOffsetTimes) {
  TimingParameters defaults;
  TimingParameters pal = ReadTimingParameters("25", "", "", "");
  TimingParameters ntsc = ReadTimingParameters("30", "1000 1001", "", "");
  TimingParameters subframes = ReadTimingParameters("25", "", "4", "");
  TimingParameters ticks = ReadTimingParameters("", "", "", "10000000");
  struct Case {
    const char* text;
    const TimingParameters* timing;
    const char* srt;  // nullptr: not a time expression
  };
  // clang-format off
  const Case cases[] = {
      {"00:00:01.000", &defaults, "00:00:01,000"},   {"00:00:01.5", &defaults, "00:00:01,500"},
      {"00:00:01", &defaults, "00:00:01,000"},       {"01:02:15.26", &defaults, "01:02:15,260"},
      {"23:59:59.9605", &defaults, "23:59:59,961"},  {"23:59:59.96049", &defaults, "23:59:59,960"},
      {"100:00:00.000", &defaults, "100:00:00,000"}, {" 00:00:02.000 ", &defaults, "00:00:02,000"},
      {"10:00:01:12", &pal, "10:00:01,480"},         {"23:59:59:24", &pal, "23:59:59,960"},
      {"10:00:02:10", &defaults, "10:00:02,333"},  // smpte without a frame rate: 30 fps
      {"00:00:01:15", &ntsc, "00:00:01,501"},      // 15 frames at 29.97 fps
      {"00:00:00:01.2", &subframes, "00:00:00,060"}, {"12.5s", &defaults, "00:00:12,500"},
      {"500ms", &defaults, "00:00:00,500"},          {"1.5m", &defaults, "00:01:30,000"},
      {"2h", &defaults, "02:00:00,000"},             {"50f", &pal, "00:00:02,000"},
      {"30f", &defaults, "00:00:01,000"},            {"40000000t", &ticks, "00:00:04,000"},
      {"3t", &defaults, "00:00:03,000"},             {"49403721ms", &defaults, "13:43:23,721"},
      {"", &defaults, nullptr},          {"04.7", &defaults, nullptr},
      {"12.5", &defaults, nullptr},      {"12.s", &defaults, nullptr},
      {"abc", &defaults, nullptr},       {"00:00", &defaults, nullptr},
      {"00:0:01", &defaults, nullptr},   {"00:60:00", &defaults, nullptr},
      {"00:00:01.", &defaults, nullptr}, {"a0:00:01.000", &defaults, nullptr},
      {"00:00:01.5:02", &defaults, nullptr}, {"0.5:00:01", &defaults, nullptr},
      {"-00:00:01", &defaults, nullptr}, {"5 s", &defaults, nullptr},
      {"5sec", &defaults, nullptr},
      {"00:00:01:25", &pal, nullptr},  // frames run from 0 to 24 at 25 fps
      {"00:00:01:29", &ntsc, "00:00:01,968"},        {"00:00:01:30", &ntsc, nullptr},
      {"00:00:00:01.4", &subframes, nullptr},  // sub-frames from 0 to 3
  };
  // clang-format on
  for (const auto& c : cases) {
    auto seconds = ParseTimeExpression(c.text, *c.timing);
    if (c.srt == nullptr) {
      EXPECT_FALSE(seconds.has_value()) << "'" << c.text << "'";
    } else {
      ASSERT_TRUE(seconds.has_value()) << "'" << c.text << "'";
      EXPECT_EQ(FormatSrtTime(*seconds), c.srt) << "'" << c.text << "'";
    }
  }
}

TEST(TimeExpression, AnOffsetTakesOneSignThenATime) {
  const TimingParameters pal = ReadTimingParameters("25", "", "", "");
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"-00:00:01:12", -1.48}, {"+2s", 2},
      {"500ms", 0.5},          {" -10h ", -36000},
      {"--5s", std::nullopt},  {"- 5s", std::nullopt},
      {"-", std::nullopt},     {"-00:00:01:25", std::nullopt}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseTimeOffset(text, pal), seconds) << text;
}

TEST(TimingParameters, TickRateFollowsTheFrameRateWhenNotGiven) {
  EXPECT_DOUBLE_EQ(ReadTimingParameters("", "", "", "").tick_rate, 1);
  EXPECT_DOUBLE_EQ(ReadTimingParameters("25", "", "2", "").tick_rate, 50);
  EXPECT_DOUBLE_EQ(ReadTimingParameters("25", "", "", "90000").tick_rate, 90000);
  EXPECT_DOUBLE_EQ(ReadTimingParameters("abc", "1 0", "-1", "0").frame_rate, 30);
  EXPECT_DOUBLE_EQ(ReadTimingParameters("abc", "1 0", "", "").frame_rate_multiplier, 1);
}

TEST(FormatSrtTime, RoundsAndClamps) {
  EXPECT_EQ(FormatSrtTime(0), "00:00:00,000");
  EXPECT_EQ(FormatSrtTime(-5), "00:00:00,000");
  EXPECT_EQ(FormatSrtTime(0.0004), "00:00:00,000");
  EXPECT_EQ(FormatSrtTime(0.0005), "00:00:00,001");
  EXPECT_EQ(FormatSrtTime(0.0015), "00:00:00,002");
  EXPECT_EQ(FormatSrtTime(59.9996), "00:01:00,000");
  EXPECT_EQ(FormatSrtTime(1e300).substr(0, 4), "2500");
}

}  // namespace
}  // namespace capsel
