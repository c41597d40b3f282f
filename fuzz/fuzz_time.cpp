// Time expressions and timing parameters from any text: "frameRate|multiplier|subFrameRate|
// tickRate|expression".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/time_expression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace capsel;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t bar = text.find('|', start);
    if (bar == std::string::npos) break;
    parts.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  parts.resize(4);
  TimingParameters timing = ReadTimingParameters(parts[0], parts[1], parts[2], parts[3]);
  if (auto seconds = ParseTimeExpression(std::string_view(text).substr(start), timing)) {
    std::string srt = FormatSrtTime(*seconds);
    if (srt.size() < 12 || srt[srt.size() - 4] != ',') __builtin_trap();
  }
  return 0;
}
