// The whole pipeline through the built binary: scan, conversion and disposal on real folders.

#include <gtest/gtest.h>

#include <signal.h>

#include <QDirIterator>
#include <chrono>
#include <regex>
#include <thread>

#include "testing/e2e_helpers.h"
#include "testing/test_documents.h"

namespace capsel::e2e {
namespace {

using testdoc::kHelloWorld;
using testdoc::kHelloWorldSrt;

// The messages after the start-up lines.
std::vector<std::string> ScanMessages(const ProcessRun& run) {
  if (run.messages.size() < 4) return {"<no start-up>"};
  return {run.messages.begin() + 4, run.messages.end()};
}

TEST(Pipeline, ConvertsThreeFilesInNameOrder) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  for (const char* name : {"c.xml", "a.xml", "b.xml"}) WriteOldFile(w.Path("in/") + name, kHelloWorld);
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> expected{
      "---- DoConvert: Queue of XML files is not empty! Processing remaining files now..."};
  for (const char* n : {"a", "b", "c"}) {
    std::string name = std::string(n) + ".xml";
    expected.push_back("Processing " + name + "...");
    expected.push_back("Writing Subtitles to out/" + std::string(n) + ".srt....");
    expected.push_back(".... Done!");
    expected.push_back("Successfully processed " + name + ".");
    expected.push_back("Moving " + name + " to done/");
  }
  expected.push_back("---- DoConvert: Finished - All files have been processed!");
  EXPECT_EQ(ScanMessages(run), expected);
  for (const char* n : {"a", "b", "c"}) {
    EXPECT_EQ(ReadFile(w.Path("out/") + n + ".srt"), kHelloWorldSrt);
    EXPECT_EQ(ReadFile(w.Path("done/") + n + ".xml"), kHelloWorld);
    EXPECT_FALSE(Exists(w.Path("in/") + n + ".xml"));
  }
}

TEST(Pipeline, ControlCharactersInANameCannotForgeLogLines) {
  Workspace w("[General]\nUseLogfile=1\n[Processing]\nMinFileAge=0\n");
  const std::string name = "a\nb\rc\x1B[2Jd\x7F.xml";
  const std::string shown = "a\\x0Ab\\x0Dc\\x1B[2Jd\\x7F";
  WriteOldFile(w.Path("in/") + name, kHelloWorld);
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ScanMessages(run),
            (std::vector<std::string>{
                "---- DoConvert: Queue of XML files is not empty! Processing remaining files now...",
                "Processing " + shown + ".xml...", "Writing Subtitles to out/" + shown + ".srt....",
                ".... Done!", "Successfully processed " + shown + ".xml.",
                "Moving " + shown + ".xml to done/",
                "---- DoConvert: Finished - All files have been processed!"}));
  // The log file holds the same lines, CR LF after each and nowhere else.
  std::string expected_log;
  std::istringstream out(run.out);
  for (std::string line; std::getline(out, line);)
    if (!line.ends_with("Initializing capsel...") && line.find("  Reading ") == std::string::npos)
      expected_log += line + "\r\n";
  EXPECT_EQ(ReadFile(w.Path("capsel.log")), expected_log);
  EXPECT_EQ(ReadFile(w.Path("out/a\nb\rc\x1B[2Jd\x7F.srt")), kHelloWorldSrt);
  EXPECT_EQ(ReadFile(w.Path("done/") + name), kHelloWorld);
}

TEST(Pipeline, EmptyFolderLogsNothingOrTheVerboseLine) {
  Workspace quiet;
  EXPECT_EQ(ScanMessages(quiet.Once()), std::vector<std::string>{});
  Workspace verbose("");
  WriteFile(verbose.Path("capsel.ini"),
            "[General]\nVersion=1\nVerbose=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n");
  EXPECT_EQ(ScanMessages(verbose.Once()), std::vector<std::string>{"No XML files found at all"});
}

TEST(Pipeline, LeavesAloneWhatIsNotAnOrdinaryXmlFile) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  QDir().mkpath(QString::fromStdString(w.Path("in/folder.xml")));
  WriteOldFile(w.Path("in/.hidden.xml"), kHelloWorld);
  WriteOldFile(w.Path("in/notes.txt"), kHelloWorld);
  WriteOldFile(w.Path("target.xml"), kHelloWorld);
  ::symlink(w.Path("target.xml").c_str(), w.Path("in/link.xml").c_str());
  ::symlink(w.Path("in/loop.xml").c_str(), w.Path("in/loop.xml").c_str());
  WriteOldFile(w.Path("in/UPPER.XML"), kHelloWorld);
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(w.Path("out/UPPER.srt")), kHelloWorldSrt);
  for (const char* left : {"in/folder.xml", "in/.hidden.xml", "in/notes.txt", "in/link.xml", "in/loop.xml"})
    EXPECT_TRUE(Exists(w.Path(left))) << left;
  EXPECT_EQ(ScanMessages(run).size(), 7u) << run.out;
}

TEST(Pipeline, AFreshFileWaitsForALaterScan) {
  Workspace w;  // MinFileAge defaults to two seconds
  WriteFile(w.Path("in/fresh.xml"), kHelloWorld);
  ProcessRun run = w.Once();
  EXPECT_EQ(ScanMessages(run), std::vector<std::string>{});
  EXPECT_TRUE(Exists(w.Path("in/fresh.xml")));
  WriteOldFile(w.Path("in/fresh.xml"), kHelloWorld);
  w.Once();
  EXPECT_TRUE(Exists(w.Path("out/fresh.srt")));
}

TEST(Pipeline, FailuresGiveExitStatusTwoAndLoseNothing) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  WriteOldFile(w.Path("in/broken.xml"), "<tt");
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Exists(w.Path("done/broken.xml")));
  EXPECT_FALSE(Exists(w.Path("out/broken.srt")));

  Workspace del("[Processing]\nMinFileAge=0\n");
  WriteFile(del.Path("capsel.ini"),
            "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=missing\nOutPathXml=<DELETE>\n"
            "[Processing]\nMinFileAge=0\n");
  WriteOldFile(del.Path("in/good.xml"), kHelloWorld);
  ProcessRun kept = del.Once();
  EXPECT_EQ(kept.status, 2);
  EXPECT_EQ(ReadFile(del.Path("in/good.xml.failed")), kHelloWorld) << kept.out;
}

TEST(Pipeline, MoreThanOneScanFullTakesTwoScans) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  const std::string tiny = "<tt xmlns=\"http://www.w3.org/ns/ttml\"/>";
  for (int i = 0; i < 32768; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "in/%05d.xml", i);
    WriteFile(w.Path(name), tiny);
  }
  ProcessRun first = w.Once();
  EXPECT_EQ(first.status, 0);
  QDir in(QString::fromStdString(w.Path("in")));
  EXPECT_EQ(in.entryList(QDir::Files).size(), 1) << "one file waits for the next scan";
  EXPECT_TRUE(Exists(w.Path("in/32767.xml")));
  ProcessRun second = w.Once();
  EXPECT_EQ(ScanMessages(second).size(), 8u);  // with the warning that it holds no subtitles
  EXPECT_FALSE(Exists(w.Path("in/32767.xml")));
  EXPECT_EQ(QDir(QString::fromStdString(w.Path("out"))).entryList(QDir::Files).size(), 32768);
}

TEST(Pipeline, HeadlessTimerConvertsDroppedFilesAndStopsOnSigterm) {
  Workspace w;
  QProcess capsel;
  capsel.setProcessEnvironment(HeadlessEnvironment());
  capsel.start(CAPSEL_BINARY, {"--headless", "--config", w.Ini()});
  ASSERT_TRUE(capsel.waitForStarted());
  ASSERT_TRUE(capsel.waitForReadyRead(10000));  // started up

  auto dropped = std::chrono::steady_clock::now();
  WriteOldFile(w.Path("in/dropped.xml.part"), kHelloWorld);
  ::rename(w.Path("in/dropped.xml.part").c_str(), w.Path("in/dropped.xml").c_str());
  bool converted = false;
  while (std::chrono::steady_clock::now() - dropped < std::chrono::seconds(5)) {
    if (Exists(w.Path("done/dropped.xml"))) {
      converted = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(converted) << "not converted within 5 seconds";
  EXPECT_EQ(ReadFile(w.Path("out/dropped.srt")), kHelloWorldSrt);

  ::kill(static_cast<pid_t>(capsel.processId()), SIGTERM);
  ASSERT_TRUE(capsel.waitForFinished(10000));
  EXPECT_EQ(capsel.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(capsel.exitCode(), 0);
}

// Every document of the shared corpus converts into valid SRT, with and without the extras.
// A time that does not read, or an end that nothing in the document gives, is one File Error
// line each; the counts below are what those documents hold.
TEST(Pipeline, CorpusDocumentsGiveValidSrt) {
  const QString corpus = QString::fromUtf8(CAPSEL_CORPUS);
  if (!QDir(corpus).exists()) GTEST_SKIP() << "no corpus at " << CAPSEL_CORPUS;
  const std::map<std::string, int> kFileErrors = {
      {"dashjs__ttmlLastCue", 1},     {"imscjs__timeExpressions", 12}, {"ttconv__lwsp_default", 2},
      {"ttconv__lwsp_preserve", 1},   {"w3cimsc__BasicTiming012", 1},  {"w3cimsc__BeginEnd002", 11},
      {"w3cimsc__unicode-non-bmp-character", 1}, {"w3cttml1__ThirdEd_Direction_hebrew", 1}};
  // Not namespace-well-formed: an undeclared prefix, or the xml namespace bound to another prefix.
  const std::set<std::string> kNotLoadable = {"exo__namespace_confusion_MALFORMED",
                                              "exo__namespace_not_declared_MALFORMED",
                                              "exo__multiple_regions"};
  // Timing from spans, divs and the body, and text that the documents say must never show.
  const std::map<std::string, std::vector<std::string>> kCues = {
      {"irt__timing-on-span-001-ttml", {"1\r\n00:00:10,000 --> 00:00:20,000\r\nOne line Subtitle.\r\n\r\n"
                                        "2\r\n00:00:22,000 --> 00:00:30,000\r\nOne line Subtitle.\r\n\r\n"}},
      {"w3cttml1__BasicTiming010", {"00:00:10,000 --> 00:00:24,400\r\nThis text must appear at 10",
                                    "00:00:25,000 --> 00:00:35,000\r\nThis text must appear at 25"}},
      {"w3cimsc__Div003", {"00:00:05,000 --> 00:00:10,000\r\nCe texte", "00:00:10,000 --> 00:00:15,000\r\n"}},
      {"ebulive__testSeq_1", {"1\r\n13:43:23,721 --> 13:43:24,721\r\nIt only took me six days."}},
      {"w3cimsc__MediaSeqTiming002", {"00:00:15,000 --> 00:00:20,000\r\nThis text must appear at 15",
                                      "00:00:35,000 --> 00:00:40,000\r\nThis text must appear at 35"}},
      {"w3cimsc__MediaParTiming002", {"00:00:05,000 --> 00:00:10,000\r\nThis text must appear at 5"}}};
  const char* kNeverShown[] = {"must not appear", "should not appear", "should not be displayed"};
  for (const char* extras : {"", "StyleTags=1\nSubtractStartOfProgramme=1\n"}) {
  SCOPED_TRACE(extras);
  Workspace w(std::string("[Processing]\nMinFileAge=0\n") + extras);
  int documents = 0;
  for (const QFileInfo& f : QDir(corpus).entryInfoList(QDir::Files)) {
    if (f.suffix() == "md" || f.suffix() == "srt" || f.suffix() == "vtt") continue;
    QFile::copy(f.filePath(), QString::fromStdString(w.Path("in/" + f.completeBaseName().toStdString() + ".xml")));
    ++documents;
  }
  ASSERT_GT(documents, 50);
  ProcessRun run = w.Once();
  std::map<std::string, int> file_errors;
  std::set<std::string> not_loadable;
  std::string current;
  for (const auto& m : run.messages) {
    if (m.starts_with("Processing ")) current = m.substr(11, m.size() - 11 - 7);
    if (m == "---- ERROR: File Error (maybe missing write permissions?)") ++file_errors[current];
    if (m == "Error while processing XML file. Skipping file.") not_loadable.insert(current);
  }
  EXPECT_EQ(file_errors, kFileErrors);
  EXPECT_EQ(not_loadable, kNotLoadable);
  for (const auto& [name, cues] : kCues) {
    if (*extras != '\0') break;  // style tags change the text
    std::string srt = ReadFile(w.Path("out/" + name + ".srt"));
    for (const auto& cue : cues) EXPECT_NE(srt.find(cue), std::string::npos) << name << " lacks " << cue << srt;
  }

  const std::regex timing(R"(\d{2,}:\d{2}:\d{2},\d{3} --> \d{2,}:\d{2}:\d{2},\d{3})");
  int srt_files = 0;
  for (const QFileInfo& f : QDir(QString::fromStdString(w.Path("out"))).entryInfoList(QDir::Files)) {
    ++srt_files;
    std::string srt = ReadFile(f.filePath().toStdString());
    SCOPED_TRACE(f.fileName().toStdString());
    for (const char* text : kNeverShown) EXPECT_EQ(srt.find(text), std::string::npos) << text;
    if (srt.empty()) continue;
    ASSERT_TRUE(srt.ends_with("\r\n\r\n"));
    // Blocks are parted by exactly one empty line: number, timing line, text lines.
    size_t pos = 0;
    int expected_number = 1;
    while (pos < srt.size()) {
      size_t end = srt.find("\r\n\r\n", pos);
      ASSERT_NE(end, std::string::npos);
      std::string block = srt.substr(pos, end - pos);
      std::vector<std::string> lines;
      for (size_t a = 0;;) {
        size_t b = block.find("\r\n", a);
        lines.push_back(block.substr(a, b == std::string::npos ? std::string::npos : b - a));
        if (b == std::string::npos) break;
        a = b + 2;
      }
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[0], std::to_string(expected_number++));
      EXPECT_TRUE(std::regex_match(lines[1], timing)) << lines[1];
      for (size_t i = 2; i < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].empty());
        EXPECT_EQ(lines[i].find('\n'), std::string::npos);
      }
      pos = end + 4;
    }
  }
  EXPECT_EQ(srt_files, documents - static_cast<int>(kNotLoadable.size()));
  }
}

}  // namespace
}  // namespace capsel::e2e
