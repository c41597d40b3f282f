// Micro benchmarks of the conversion's parts: time expressions, reading a document into SRT
// text, and encoding.

#include <benchmark/benchmark.h>

#include "convert/convert_file.h"
#include "convert/ebutt_reader.h"
#include "convert/time_expression.h"
#include "doc_generator.h"
#include "settings/fake_file_system.h"
#include "text/unicode.h"

namespace capsel::bench {
namespace {

void BM_ParseTimeExpression(benchmark::State& state) {
  TimingParameters pal = ReadTimingParameters("25", "", "", "");
  const char* samples[] = {"00:00:01.480", "10:00:01:12", "12.5s", "500ms", "01:02:15.26", "40000000t"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseTimeExpression(samples[i++ % 6], pal));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseTimeExpression);

// Reading one document into SRT text: cues per second and bytes per second.
void BM_DocumentToSrt(benchmark::State& state) {
  const int cues = static_cast<int>(state.range(0));
  const std::string doc = GenerateDocument(state.range(1) ? Profile::kEbuTtSmpte : Profile::kEbuTtD, cues, 7);
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock, fs, settings};
  for (auto _ : state) {
    ReadResult r = ReadEbuTt(doc);
    std::string srt = BuildSrtText(r.paragraphs, log);
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

void BM_Encode(benchmark::State& state) {
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock, fs, settings};
  const std::string srt =
      BuildSrtText(ReadEbuTt(GenerateDocument(Profile::kEbuTtD, 1000, 3)).paragraphs, log);
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
