// Micro benchmarks of the conversion's parts: time expressions, reading a document into SRT
// text, and encoding.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "convert/cue_writer.h"
#include "convert/libxml_reader.h"
#include "convert/time_expression.h"
#include "doc_generator.h"
#include "text/unicode.h"

namespace capsel::bench {
namespace {

void BM_ParseTimeExpression(benchmark::State& state) {
  TimingParameters pal = ReadTimingParameters("25", "", "", "");
  const char* samples[] = {"00:00:01.480", "10:00:01:12", "12.5s",
                           "500ms",        "01:02:15.26", "40000000t"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseTimeExpression(samples[i++ % 6], pal));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseTimeExpression);

// Builds the SRT text of every cue in memory.
class SrtText final : public CueSink {
 public:
  explicit SrtText(bool styled) : styled_(styled) {}
  void OnCue(Interval time, const CueLines& lines, const StyleTable& styles,
             const Placement&) override {
    AppendCue(CueFormat::kSrt, text, ++number_, time, lines, styled_ ? &styles : nullptr);
  }
  std::string text;

 private:
  bool styled_;
  long long number_ = 0;
};

std::string SrtOf(const std::string& doc, bool styled = false) {
  SrtText srt(styled);
  ReadOptions options;
  options.style_tags = styled;
  ReadEbuTt(doc, options, srt);
  return std::move(srt.text);
}

// Reading one document into SRT text: cues per second and bytes per second.
void BM_DocumentToSrt(benchmark::State& state) {
  const int cues = static_cast<int>(state.range(0));
  const std::string doc =
      GenerateDocument(state.range(1) ? Profile::kEbuTtSmpte : Profile::kEbuTtD, cues, 7);
  for (auto _ : state) {
    std::string srt = SrtOf(doc);
    benchmark::DoNotOptimize(srt.data());
  }
  state.SetItemsProcessed(state.iterations() * cues);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
  state.counters["doc_bytes"] = static_cast<double>(doc.size());
}
BENCHMARK(BM_DocumentToSrt)
    ->ArgsProduct({{10, 1000, 100000}, {0, 1}})
    ->ArgNames({"cues", "smpte"})
    ->Unit(benchmark::kMillisecond);

// A document whose every paragraph has a colour of its own, read with style tags: the style
// table must not make this quadratic.
void BM_DistinctStyles(benchmark::State& state) {
  const int cues = static_cast<int>(state.range(0));
  std::string doc =
      "<tt xmlns=\"http://www.w3.org/ns/ttml\" "
      "xmlns:tts=\"http://www.w3.org/ns/ttml#styling\"><body><div>";
  for (int i = 0; i < cues; ++i) {
    char p[160];
    std::snprintf(p, sizeof p,
                  "<p begin=\"%ds\" end=\"%ds\"><span tts:color=\"#%06X\">cue %d</span></p>\n", i,
                  i + 1, i * 97 % 0xFFFFFF, i);
    doc += p;
  }
  doc += "</div></body></tt>";
  for (auto _ : state) {
    std::string srt = SrtOf(doc, state.range(1) != 0);
    benchmark::DoNotOptimize(srt.data());
  }
  state.SetItemsProcessed(state.iterations() * cues);
}
BENCHMARK(BM_DistinctStyles)
    ->ArgsProduct({{70000, 100000}, {0, 1}})
    ->ArgNames({"cues", "tags"})
    ->Unit(benchmark::kMillisecond);

void BM_Encode(benchmark::State& state) {
  const std::string srt = SrtOf(GenerateDocument(Profile::kEbuTtD, 1000, 3));
  const int code_page = static_cast<int>(state.range(0));
  std::string bytes, error;
  for (auto _ : state) {
    EncodeText(srt, code_page, &bytes, &error);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(srt.size()));
}
BENCHMARK(BM_Encode)->Arg(65001)->Arg(1252)->ArgName("code_page");

}  // namespace
}  // namespace capsel::bench

BENCHMARK_MAIN();
