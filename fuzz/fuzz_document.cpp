// Reads any bytes as a document, builds its SRT text and encodes it, with the options the
// first byte picks.

#include <cstddef>
#include <cstdint>

#include "convert/convert_file.h"
#include "convert/ebutt_reader.h"
#include "settings/fake_file_system.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace capsel;
  if (size == 0) return 0;
  ReadOptions options;
  options.style_tags = data[0] & 1;
  options.subtract_start_of_programme = data[0] & 2;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadResult result = ReadEbuTt(bytes, options);
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock, fs, settings};
  std::string srt = BuildSrtText(result.paragraphs, log);
  std::string encoded, error;
  EncodeText(srt, 1252, &encoded, &error);
  return 0;
}
