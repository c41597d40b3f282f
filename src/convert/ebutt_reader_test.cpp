#include "convert/ebutt_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "testing/test_documents.h"

namespace capsel {
namespace {

using testdoc::ConvertDocument;

// Reads a file of the test data; nothing when it is not there.
std::optional<std::string> DataFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The documents of tests/data/cases with the output a person checked for each (the folder's
// SOURCES.md says how a case is laid out).
TEST(DocumentCases, EachGivesItsCheckedSubtitlesAndLogLines) {
  int cases = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(CAPSEL_TEST_DATA) + "/cases")) {
    std::filesystem::path path = entry.path();
    if (path.extension() != ".xml") continue;
    ++cases;
    const std::string name = path.stem();
    auto beside = [&](const char* extension) {
      return DataFile(std::filesystem::path(path).replace_extension(extension));
    };
    const auto srt = beside(".srt"), log = beside(".log");
    ASSERT_TRUE(srt || log) << name << ": a case needs its .srt or .log file";
    // Whole, and one byte per read: where a read ends must not change a byte.
    for (size_t piece : {SIZE_MAX, size_t{1}}) {
      auto out = ConvertDocument(*beside(".xml"), beside(".ini").value_or(""), piece);
      std::string notes;
      for (const auto& line : out.notes) notes += line + "\n";
      EXPECT_EQ(out.srt, srt.value_or("<missing>")) << name << " read in pieces of " << piece;
      EXPECT_EQ(out.vtt, beside(".vtt").value_or("<missing>")) << name;
      EXPECT_EQ(notes, log.value_or("")) << name;
    }
  }
  EXPECT_GE(cases, 70);  // the folder was found and read
}

}  // namespace
}  // namespace capsel
