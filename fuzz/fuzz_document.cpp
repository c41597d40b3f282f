// Reads any bytes as a document, fed to the push parser in pieces of random sizes, and writes
// its cues as SRT in windows-1252 and as WebVTT, with the options the first byte picks (style
// tags, programme start, placement, position tags, overlaps).

#include <cstddef>
#include <cstdint>

#include "convert/cue_writer.h"
#include "convert/libxml_reader.h"
#include "testing/fake_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace capsel;
  if (size < 2) return 0;
  ReadOptions options;
  options.style_tags = data[0] & 1;
  options.subtract_start_of_programme = data[0] & 2;
  options.placement = data[0] & 4;
  const int tags = (data[0] >> 3) % 3;
  const auto overlaps = static_cast<Overlaps>((data[0] >> 5) % 3);
  const unsigned piece_pattern = data[1];
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  FakeFileSystem fs;
  std::unique_ptr<OutputFile> srt_file, vtt_file;
  fs.CreateReplacing("/doc.srt", false, &srt_file);
  fs.CreateReplacing("/doc.vtt", false, &vtt_file);
  auto scratch = [&fs](std::unique_ptr<ScratchFile>* file) { return fs.CreateScratch("/", file); };
  CueFileWriter srt(CueFormat::kSrt, 1252, options.style_tags, std::move(srt_file), 0, overlaps,
                    scratch, tags);
  CueFileWriter vtt(CueFormat::kVtt, 65001, options.style_tags, std::move(vtt_file), 0, overlaps,
                    scratch, tags);
  struct Both final : CueSink {
    CueFileWriter *a, *b;
    void OnCue(Interval t, const CueLines& l, const StyleTable& s, const Placement& p) override {
      a->OnCue(t, l, s, p);
      b->OnCue(t, l, s, p);
    }
  } both;
  both.a = &srt;
  both.b = &vtt;
  LibxmlReader reader(options, both, bytes.size());
  // Piece sizes from 1 to 64 bytes, in a pattern the second byte picks.
  size_t step = 1 + piece_pattern % 64;
  while (!bytes.empty()) {
    size_t n = std::min(bytes.size(), step);
    if (!reader.Feed(bytes.substr(0, n))) break;
    bytes.remove_prefix(n);
    step = 1 + (step * 7 + piece_pattern) % 64;
  }
  if (reader.Finish().loaded) {
    srt.Commit();
    vtt.Commit();
  }
  return 0;
}
