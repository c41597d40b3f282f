#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/memory_log.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using Lines = std::vector<std::string>;

using testdoc::kHelloWorld;
using testdoc::kHelloWorldSrt;

using msg::kFileError;
const char kSrtCheck[] =
    "---- Please check that capsel has write rights to the SRT output folder (/w/out/).";

class ConvertFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testdoc::SetUpFolders(fs, settings);
    log.AddSink(&monitor);
  }
  Lines Convert(const std::string& name) {
    monitor.lines.clear();
    end = ConvertFile(context, name);
    return monitor.Messages();
  }
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock};
  MemoryLog monitor;
  ConvertContext context{fs, settings, log};
  ConvertEnd end = ConvertEnd::kFinished;  // of the last Convert
};

// The SRT file is flushed to disk before its input is deleted; a move needs no flush.
TEST_F(ConvertFileTest, TheSrtIsFlushedOnlyWhenTheInputIsDeleted) {
  fs.AddFile("/w/done/a.xml", "an older processed file, replaced");
  for (const char* out_path_xml : {"/w/done/", "<DELETE>"}) {
    settings.OutPathXml = out_path_xml;
    fs.AddFile("/w/in/a.xml", kHelloWorld);
    Convert("a.xml");
    EXPECT_EQ(fs.Data("/w/out/a.srt"), kHelloWorldSrt);
    EXPECT_EQ(fs.files["/w/out/a.srt"].synced, settings.OutPathXml == "<DELETE>");
  }
  EXPECT_EQ(fs.Data("/w/done/a.xml"), kHelloWorld);
  EXPECT_FALSE(fs.Has("/w/in/a.xml"));
}

// Every outcome of one file: its lines, and where its content is afterwards.
TEST_F(ConvertFileTest, EveryOutcomeLogsItsLinesInOrder) {
  using Op = FakeFileSystem::Op;
  struct Fault {
    Op op;
    const char* path;
    int error;
    int nth = 0;  // 0: every call fails
  };
  const Lines written = {"Processing a.xml...", "Writing Subtitles to /w/out/a.srt....", msg::kDone,
                         "Successfully processed a.xml."};
  auto not_written = [](const char* reason) {
    return Lines{"Processing a.xml...",
                 "Writing Subtitles to /w/out/a.srt....",
                 kFileError,
                 msg::kWriteFailed,
                 kSrtCheck,
                 std::string("---- Cannot write /w/out/a.srt: ") + reason};
  };
  const Lines not_moved = {
      "Moving a.xml to /w/done/", kFileError, "---- Error moving XML file to /w/done/",
      "---- Please check that capsel has write rights to the XML output folder (/w/done/)."};
  const std::string moved = "Moving a.xml to /w/done/", deleting = "Deleting a.xml",
                    kept = "---- Keeping a.xml as a.xml.failed (no SRT file was written)";
  // Enough cues that the SRT file is written in several pieces (the writer's are 64 kB).
  std::string many_cues = "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>";
  for (int i = 1; i <= 4000; ++i)
    many_cues +=
        "<p begin=\"" + std::to_string(i) + "s\" dur=\"1s\">Cue " + std::to_string(i) + "</p>";
  many_cues += "</div></body></tt>";
  auto join = [](Lines head, const Lines& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  struct Case {
    const char* name;
    const char* input;
    const char* out_path_xml;
    std::vector<Fault> faults;
    bool input_left;  // still /w/in/a.xml
    bool srt_written;
    Lines lines;
  };
  // clang-format off
  const Case cases[] = {
      {"not loadable, moved", "<tt", "/w/done/", {}, false, false,
       {"Processing a.xml...", msg::kNotLoadable,
        "---- XML error in line 1, column 4: Couldn't find end of Start Tag tt", moved}},
      {"unreadable file, moved", kHelloWorld, "/w/done/", {{Op::kRead, "a.xml", EACCES}}, false,
       false, {"Processing a.xml...", msg::kNotLoadable,
               "---- Cannot read a.xml: Permission denied", moved}},
      {"srt not writable, moved", kHelloWorld, "/w/done/", {{Op::kWrite, "a.srt", EACCES}}, false,
       false, join(not_written("Permission denied"), {moved})},
      {"disk full at the end", kHelloWorld, "/w/done/", {{Op::kCommit, "a.srt", ENOSPC}}, false,
       false, join(not_written("No space left on device"), {moved})},
      {"disk full midway (only the second piece fails)", many_cues.c_str(), "/w/done/",
       {{Op::kWrite, "a.srt", ENOSPC, 3}}, false, false,
       join(not_written("No space left on device"), {moved})},
      {"copy fails", kHelloWorld, "/w/done/", {{Op::kRename, "/w/done/a.xml", EACCES}}, true, true,
       join(written, not_moved)},
      {"processed folder missing", kHelloWorld, "/w/gone/", {}, true, true,
       join(written, {"Moving a.xml to /w/gone/", kFileError,
                      "---- Error moving XML file to /w/gone/",
                      "---- Please check that capsel has write rights to the XML output folder "
                      "(/w/gone/)."})},
      {"processed folder is the watch folder", kHelloWorld, "/w/in/", {}, true, true,
       join(written, {"Moving a.xml to /w/in/", kFileError, "---- Error moving XML file to /w/in/",
                      "---- Please check that capsel has write rights to the XML output folder "
                      "(/w/in/)."})},
      {"other device: copy, then delete fails", kHelloWorld, "/w/done/",
       {{Op::kRename, "/w/done/a.xml", EXDEV}, {Op::kRemove, "/w/in/a.xml", EACCES}}, true, true,
       join(written, {moved, kFileError})},
      {"other device: copy fails", kHelloWorld, "/w/done/",
       {{Op::kRename, "/w/done/a.xml", EXDEV}, {Op::kCopy, "/w/done/a.xml", ENOSPC}}, true, true,
       join(written, not_moved)},
      {"delete mode", kHelloWorld, "<DELETE>", {}, false, true, join(written, {deleting})},
      {"delete mode, delete fails", kHelloWorld, "<DELETE>", {{Op::kRemove, "/w/in/a.xml", EBUSY}},
       true, true, join(written, {deleting, kFileError})},
      {"delete mode keeps what could not be loaded", "junk", "<DELETE>", {}, false, false,
       {"Processing a.xml...", msg::kNotLoadable,
        "---- XML error in line 1, column 1: Document is empty", kept}},
      {"delete mode keeps what could not be written", kHelloWorld, "<DELETE>",
       {{Op::kWrite, "a.srt", ENOSPC}}, false, false,
       join(not_written("No space left on device"), {kept})},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs.files.clear();
    fs.ClearFailures();
    fs.AddFile("/w/in/a.xml", c.input);
    settings.OutPathXml = c.out_path_xml;
    for (const Fault& f : c.faults) fs.FailOn(f.op, f.path, f.error, f.nth);
    EXPECT_EQ(Convert("a.xml"), c.lines);
    EXPECT_EQ(fs.Has("/w/in/a.xml"), c.input_left);
    EXPECT_EQ(fs.Has("/w/out/a.srt"), c.srt_written);
    bool kept_as_failed = fs.Has("/w/in/a.xml.failed");
    EXPECT_EQ(kept_as_failed, std::string(c.out_path_xml) == "<DELETE>" && !c.srt_written);
    // Whatever happened, the input's content still exists somewhere.
    bool somewhere = c.input_left || kept_as_failed || fs.Has("/w/done/a.xml") || c.srt_written;
    EXPECT_TRUE(somewhere);
  }
}

// A producer renames a corrected version over the input while it is converted: the new version
// is neither moved nor deleted unconverted, and the SRT of the version read stays.
TEST_F(ConvertFileTest, AnInputReplacedWhileConvertedWaitsForTheNextScan) {
  using Op = FakeFileSystem::Op;
  struct Case {
    const char* out_path_xml;
    Op replaced_at;    // the replacement lands just before this call
    int rename_error;  // of the move: EXDEV makes it a copy
    bool srt_fails;
  };
  const Case cases[] = {{"/w/done/", Op::kCommit, 0, false},
                        {"<DELETE>", Op::kCommit, 0, false},
                        {"<DELETE>", Op::kCommit, 0, true},
                        {"/w/done/", Op::kCopy, EXDEV, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.out_path_xml) + (c.rename_error ? " across devices" : ""));
    fs.files.clear();
    fs.ClearFailures();
    settings.OutPathXml = c.out_path_xml;
    fs.AddFile("/w/in/a.xml", kHelloWorld);
    if (c.rename_error) fs.FailOn(Op::kRename, "/w/done/a.xml", c.rename_error);
    if (c.srt_fails) fs.FailOn(Op::kCommit, "a.srt", ENOSPC);
    bool replaced = false;
    fs.before_call = [&](Op op, const std::string&) {
      if (op != c.replaced_at || replaced) return;
      replaced = true;
      fs.AddFile("/w/in/a.xml", "the corrected version");
    };
    Lines lines = Convert("a.xml");
    fs.before_call = nullptr;
    EXPECT_EQ(end, ConvertEnd::kReplaced);  // no outcome: the next scan's counts
    EXPECT_EQ(lines.back(),
              "---- a.xml was replaced while it was converted; the new version "
              "waits for the next scan");
    EXPECT_EQ(fs.Data("/w/in/a.xml"), "the corrected version");
    EXPECT_FALSE(fs.Has("/w/in/a.xml.failed"));
    EXPECT_EQ(fs.Data("/w/out/a.srt"), c.srt_fails ? "<missing>" : kHelloWorldSrt);
  }
}

// Far more cues than the ordering window holds, in order, in reverse, shuffled, and with the
// middle third first: they pass through the scratch file and come out in the order they
// begin, or, when it fills the disk, the WebVTT file fails whole.
TEST_F(ConvertFileTest, CuesBeyondTheWindowAreWrittenInOrderOrNotAtAll) {
  constexpr long long n = 30000;
  settings.WriteVtt = true;
  // The second of the k-th cue of the document, k from 0.
  for (auto second : std::initializer_list<long long (*)(long long)>{
           [](long long k) { return k + 1; },
           [](long long k) { return n - k; },
           [](long long k) { return k * 7919 % n + 1; },
           [](long long k) { return k < 2 * n / 3 ? (k + n / 3) % (2 * n / 3) + 1 : k + 1; },
       }) {
    std::string doc = "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>";
    for (long long k = 0; k < n; ++k) {
      const std::string i = std::to_string(second(k));
      doc += "<p begin=\"" + i + "s\" dur=\"1s\">Cue " + i + "</p>";
    }
    doc += "</div></body></tt>";
    for (bool disk_full : {false, true}) {
      if (disk_full) fs.FailOn(FakeFileSystem::Op::kWrite, "<scratch>", ENOSPC);
      fs.AddFile("/w/in/a.xml", doc);
      Lines lines = Convert("a.xml");
      const std::string vtt = fs.Data("/w/out/a.vtt");
      fs.ClearFailures();
      if (disk_full) {
        EXPECT_EQ(vtt, "<missing>");
        EXPECT_EQ(lines[lines.size() - 2],
                  "---- Cannot write /w/out/a.vtt: No space left on device");
        continue;
      }
      size_t at = 0;
      for (int i = 1; i <= n; ++i) {
        at = vtt.find("\r\nCue " + std::to_string(i) + "\r\n", at);
        ASSERT_NE(at, std::string::npos) << "cue " << i << " missing or out of order";
      }
    }
  }
}

TEST_F(ConvertFileTest, KeepingNeverOverwritesAnEarlierFailure) {
  settings.OutPathXml = "<DELETE>";
  fs.AddFile("/w/in/a.xml.failed", "first");
  fs.AddFile("/w/in/a.xml", "second");
  EXPECT_EQ(Convert("a.xml").back(),
            "---- Keeping a.xml as a.xml.failed.2 (no SRT file was written)");
  EXPECT_EQ(fs.Data("/w/in/a.xml.failed"), "first");
  EXPECT_EQ(fs.Data("/w/in/a.xml.failed.2"), "second");
}

TEST_F(ConvertFileTest, FailedWriteRemovesAnOlderSrtAndLeavesNoPartialFile) {
  fs.AddFile("/w/out/a.srt", "yesterday's subtitles");
  fs.AddFile("/w/in/a.xml", kHelloWorld);
  fs.FailOn(FakeFileSystem::Op::kWrite, "a.srt", ENOSPC);
  Convert("a.xml");
  EXPECT_FALSE(fs.Has("/w/out/a.srt"));
  for (const auto& [path, file] : fs.files)
    EXPECT_EQ(path.find("/w/out/"), std::string::npos) << path;
}

TEST_F(ConvertFileTest, NamesTheOutputAfterTheInputAndAddLangString) {
  struct Case {
    const char* input;
    const char* lang;
    const char* output;
  };
  const Case cases[] = {{"NEWS.XML", "", "/w/out/NEWS.srt"},
                        {"NEWS.XML", "_de", "/w/out/NEWS_de.srt"},
                        {".xml", "", "/w/out/.srt"},
                        {".xml", "de", "/w/out/de.srt"},
                        {"a b 'c' \xC3\xA4.xml", "", "/w/out/a b 'c' \xC3\xA4.srt"}};
  for (const auto& c : cases) {
    fs.AddFile(std::string("/w/in/") + c.input, kHelloWorld);
    settings.AddLangString = c.lang;
    Convert(c.input);
    EXPECT_EQ(fs.Data(c.output), kHelloWorldSrt) << c.input << " + " << c.lang;
  }
}

TEST_F(ConvertFileTest, EncodingFollowsWriteUtf8AndAnsiCodePage) {
  const std::string doc =
      "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\">"
      "<span>\xC3\xA9\xE6\x97\xA5</span></p></div></body></tt>";
  const std::string head = "1\r\n00:00:00,000 --> 00:00:01,000\r\n";
  struct Case {
    const char* write_utf8;
    const char* code_page;
    const char* text_bytes;  // nullptr: no file
    const char* extra_line;  // a line before "Writing", or after it
  };
  const Case cases[] = {
      {"1", "1252", "\xC3\xA9\xE6\x97\xA5", nullptr},
      {"0", "1252", "\xE9?", nullptr},
      {"0", "1250", "\xE9?", nullptr},
      {"2", "28591", "\xE9?", nullptr},
      {"yes", "1252", "\xC3\xA9\xE6\x97\xA5", kFileError},
      {"0", "9999", nullptr,
       "---- ERROR: Cannot write the SRT file in the ANSI code page: code page 9999 is not known "
       "on this system (AnsiCodePage)"},
      {"0", "latin1", nullptr, "---- ERROR: AnsiCodePage \"latin1\" is not a code page number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.write_utf8) + "/" + c.code_page);
    fs.files.erase("/w/out/e.srt");
    fs.AddFile("/w/in/e.xml", doc);
    ApplySetting("WriteUtf8", c.write_utf8, settings);
    ApplySetting("AnsiCodePage", c.code_page, settings);
    Lines lines = Convert("e.xml");
    if (c.text_bytes) {
      EXPECT_EQ(fs.Data("/w/out/e.srt"), head + c.text_bytes + "\r\n\r\n");
    } else {
      EXPECT_FALSE(fs.Has("/w/out/e.srt"));
      EXPECT_NE(std::find(lines.begin(), lines.end(), msg::kWriteFailed), lines.end());
      EXPECT_EQ(std::count(lines.begin(), lines.end(), "Successfully processed e.xml."), 0);
    }
    if (c.extra_line) {
      EXPECT_EQ(lines[2], c.extra_line);
    }
  }
}

TEST_F(ConvertFileTest, AWebVttFileThatCannotBeWrittenFailsTheConversion) {
  settings.WriteVtt = true;
  fs.FailOn(FakeFileSystem::Op::kWrite, "a.vtt", ENOSPC);
  for (const char* out_path_xml : {"/w/done/", "<DELETE>"}) {
    settings.OutPathXml = out_path_xml;
    fs.AddFile("/w/in/a.xml", kHelloWorld);
    Lines lines = Convert("a.xml");
    const std::string last = settings.OutPathXml == "<DELETE>"
                                 ? "---- Keeping a.xml as a.xml.failed (no WebVTT file was written)"
                                 : "Moving a.xml to /w/done/";
    EXPECT_EQ(lines, (Lines{"Processing a.xml...", "Writing Subtitles to /w/out/a.srt....",
                            msg::kDone, "Writing Subtitles to /w/out/a.vtt....", kFileError,
                            "---- Error writing WebVTT file!", kSrtCheck,
                            "---- Cannot write /w/out/a.vtt: No space left on device", last}));
    EXPECT_EQ(fs.Data("/w/out/a.srt"), kHelloWorldSrt);
    EXPECT_FALSE(fs.Has("/w/out/a.vtt"));
  }
  EXPECT_EQ(fs.Data("/w/in/a.xml.failed"), kHelloWorld);
  EXPECT_EQ(fs.Data("/w/done/a.xml"), kHelloWorld);
}

}  // namespace
}  // namespace capsel
