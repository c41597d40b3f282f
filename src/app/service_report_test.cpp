#include "app/service_report.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/engine.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/fake_timer.h"
#include "testing/memory_log.h"
#include "testing/recording_prompter.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using Json = nlohmann::json;
using Op = FakeFileSystem::Op;

// Records what the service manager is told; the watchdog is only counted.
class RecordingServiceManager final : public ServiceManager {
 public:
  void Ready() override { calls.push_back("READY=1"); }
  void Status(const std::string& text) override { calls.push_back("STATUS=" + text); }
  void Reloading() override { calls.push_back("RELOADING=1"); }
  void Stopping() override { calls.push_back("STOPPING=1"); }
  void Watchdog() override { ++watchdogs; }
  std::vector<std::string> calls;
  int watchdogs = 0;
};

// An engine started on /c with the settings `extra` added, its results and metrics files on.
struct Rig {
  explicit Rig(const std::string& extra, const std::string& out_path_xml = "done") {
    for (const char* dir : {"/c/in", "/c/out", "/c/done"}) fs.AddDir(dir);
    fs.AddFile("/c/capsel.ini",
               "[General]\nVersion=1\nResultsFile=r.jsonl\nMetricsFile=m.prom\n[Folders]\n"
               "InPath=in\nOutPathSrt=out\nOutPathXml=" +
                   out_path_xml + "\n[Processing]\nMinFileAge=0\n" + extra);
    engine.log().AddSink(&monitor);
    EXPECT_TRUE(engine.Startup());
  }
  // Each line of the results file, parsed.
  std::vector<Json> Results() const {
    std::vector<Json> lines;
    std::istringstream in(fs.Data("/c/r.jsonl"));
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    return lines;
  }
  FakeFileSystem fs;
  FakeClock clock;
  FakeTimer timer;
  RecordingPrompter prompter;
  RecordingServiceManager service;
  MemoryLog monitor;
  Engine engine{{fs, clock, timer, prompter, &service}, {"/c/capsel.ini", "/c"}};
};

// Every outcome of a file gives one results line, parsed back here.
TEST(ResultsFile, OneLinePerOutcome) {
  struct Case {
    const char* name;
    const char* extra;  // settings, or OutPathXml when it is <DELETE>
    const char* input;
    std::vector<std::pair<Op, const char*>> faults;
    const char* result;
    Json reason, outputs, moved_to;
    int cues;
  };
  const Json none;
  const Json srt = {"out/a.srt"}, moved = "done/a.xml";
  const char* xml_error = "---- XML error in line 1, column 4: Couldn't find end of Start Tag tt";
  // clang-format off
  const Case cases[] = {
      {"converted", "", testdoc::kHelloWorld, {}, "converted", none, srt, moved, 2},
      {"WebVTT too", "WriteVtt=1\n", testdoc::kHelloWorld, {}, "converted", none,
       {"out/a.srt", "out/a.vtt"}, moved, 2},
      {"unreadable", "", testdoc::kHelloWorld, {{Op::kRead, "a.xml"}}, "failed",
       "---- Cannot read a.xml: Permission denied", Json::array(), moved, 0},
      {"not well-formed", "", "<tt", {}, "failed", xml_error, Json::array(), moved, 0},
      {"write failure", "", testdoc::kHelloWorld, {{Op::kCommit, "a.srt"}}, "failed",
       "---- Cannot write out/a.srt: Permission denied", Json::array(), moved, 0},
      {"WebVTT write failure", "WriteVtt=1\n", testdoc::kHelloWorld, {{Op::kCommit, "a.vtt"}},
       "failed", "---- Cannot write out/a.vtt: Permission denied", srt, moved, 2},
      {"kept in delete mode", "<DELETE>", "<tt", {}, "kept", xml_error,
       Json::array(), "in/a.xml.failed", 0},
      {"deleted", "<DELETE>", testdoc::kHelloWorld, {}, "converted", none,
       srt, none, 2},
      {"not moved", "", testdoc::kHelloWorld, {{Op::kRename, "done/a.xml"}}, "failed",
       "---- Error moving XML file to done/", srt, none, 2},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool delete_mode = std::string(c.extra) == "<DELETE>";
    Rig rig(delete_mode ? "" : c.extra, delete_mode ? c.extra : "done");
    rig.fs.AddFile("/c/in/a.xml", c.input);
    for (const auto& [op, path] : c.faults) rig.fs.FailOn(op, path);
    rig.engine.tmrCheck_Timer();
    const std::vector<Json> lines = rig.Results();
    ASSERT_EQ(lines.size(), 1u);
    const Json& line = lines[0];
    EXPECT_EQ(line["input"], "a.xml");
    EXPECT_EQ(line["result"], c.result);
    EXPECT_EQ(line["reason"], c.reason);
    EXPECT_EQ(line["outputs"], c.outputs);
    EXPECT_EQ(line["moved_to"], c.moved_to);
    EXPECT_EQ(line["cues"], c.cues);
    EXPECT_EQ(line["bytes"], c.faults.empty() || c.faults[0].first != Op::kRead
                                 ? std::string(c.input).size()
                                 : 0u);
    EXPECT_EQ(line["time"].get<std::string>().size(), 25u) << "2024-05-01T15:55:44+02:00";
  }
}

// Names are taken as they are: the JSON stays valid, and a name that is no UTF-8 is given
// exactly once more, its bytes from 80 up as \xHH.
TEST(ResultsFile, AnyNameGivesValidJson) {
  Rig rig("");
  const std::string names[] = {"line\nfeed.xml", "quote\".xml", "back\\slash.xml", "\xFF\xC3.xml"};
  for (const std::string& name : names) rig.fs.AddFile("/c/in/" + name, "<tt");
  rig.engine.tmrCheck_Timer();
  const std::vector<Json> lines = rig.Results();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["input"], "back\\slash.xml");
  EXPECT_EQ(lines[1]["input"], "line\nfeed.xml");
  EXPECT_EQ(lines[2]["input"], "quote\".xml");
  EXPECT_EQ(lines[3]["input"], "\xEF\xBF\xBD\xEF\xBF\xBD.xml");
  EXPECT_EQ(lines[3]["input_escaped"], "\\xFF\\xC3.xml");
  EXPECT_FALSE(lines[0].contains("input_escaped"));
}

// A results file that cannot be written is one line per scan, a metrics file one line until it
// was written again (scan 2); the files are converted.
TEST(ResultsFile, AFailureIsOneLinePerScan) {
  Rig rig("");
  rig.fs.FailOn(Op::kAppend, "r.jsonl");
  rig.fs.FailOn(Op::kCommit, "m.prom", ENOSPC);
  const std::string error = "---- ERROR: Cannot write the ";
  const std::string results = error + "results file r.jsonl: Permission denied",
                    metrics = error + "metrics file m.prom: No space left on device";
  int failures = 0;
  for (int scan = 0; scan < 4; ++scan) {
    if (scan == 2) rig.fs.ClearFailures();
    if (scan == 3) rig.fs.FailOn(Op::kWrite, "m.prom", ENOSPC, 2);  // its text, not the file
    for (const char* name : {"/c/in/a.xml", "/c/in/b.xml"})
      rig.fs.AddFile(name, testdoc::kHelloWorld);
    rig.monitor.lines.clear();
    rig.engine.tmrCheck_Timer();
    const std::vector<std::string> lines = rig.monitor.Messages();
    const int results_lines = scan < 2, metrics_lines = scan == 0 || scan == 3;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), results), results_lines) << scan;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), metrics), metrics_lines) << scan;
    failures += results_lines + metrics_lines;  // each line counts, as for --once's status
    EXPECT_EQ(rig.engine.log().failure_count(), failures);
  }
  EXPECT_TRUE(rig.fs.Has("/c/out/b.srt"));
}

// What systemd is told: ready once started, the counts after each scan, a reload between
// RELOADING and READY, and a stop with the file in progress; the watchdog at every tick.
TEST(ServiceManager, IsToldTheStateOfTheService) {
  Rig rig("");
  const std::string status = "STATUS=Watching in: ";
  EXPECT_EQ(rig.service.calls,
            std::vector<std::string>({status + "0 converted, 0 failed since start", "READY=1"}));
  rig.clock.local.hour = 15;
  for (const char* name : {"/c/in/a.xml", "/c/in/b.xml"})
    rig.fs.AddFile(name, testdoc::kHelloWorld);
  rig.fs.AddFile("/c/in/c.xml", "<tt");
  rig.service.calls.clear();
  rig.engine.RequestReload();
  rig.engine.tmrCheck_Timer();
  EXPECT_EQ(rig.service.calls,
            std::vector<std::string>({"RELOADING=1", "READY=1",
                                      status + "2 converted, 1 failed since start; last: c.xml "
                                               "at 15:00:00"}));
  EXPECT_EQ(rig.fs.Data("/c/m.prom").find("capsel_files_total{result=\"failed\"} 1\n") !=
                std::string::npos,
            true);

  std::atomic<bool> stop{false};
  rig.engine.SetStopFlags(&stop);
  rig.monitor.on_line = [&](const std::string& message) {
    if (message == "Processing d.xml...") stop = true;
  };
  for (const char* name : {"/c/in/d.xml", "/c/in/e.xml"})
    rig.fs.AddFile(name, testdoc::kHelloWorld);
  rig.service.calls.clear();
  rig.engine.tmrCheck_Timer();
  rig.engine.NotifyStopping();  // the front end's, once the scan has ended: said already
  EXPECT_EQ(rig.service.calls,
            std::vector<std::string>({"STOPPING=1", "STATUS=Stopping after d.xml"}));
  EXPECT_EQ(rig.service.watchdogs, 2);
}

// A scan lasts from its beginning, however often the watchdog was told in between.
TEST(Metrics, ScanDurationIsTheWholeScan) {
  Rig rig("");
  for (const char* name : {"/c/in/a.xml", "/c/in/b.xml"})
    rig.fs.AddFile(name, testdoc::kHelloWorld);
  rig.monitor.on_line = [&](const std::string& message) {
    if (message.starts_with("Processing ")) rig.clock.monotonic_ns += 1500000000;
  };
  rig.clock.monotonic_ns = 7000000000;  // the scan begins at 7 s
  rig.engine.tmrCheck_Timer();
  EXPECT_NE(rig.fs.Data("/c/m.prom").find("capsel_scan_duration_seconds 3.000\n"),
            std::string::npos)
      << rig.fs.Data("/c/m.prom");
}

TEST(Metrics, TextOfEmptyCountsAndOfOneFile) {
  Metrics m;
  m.Count(FileOutcome{"a.xml", FileOutcome::Result::kKept, "why", {}, {}, 3, 0, {}, 1000, 5}, 7);
  EXPECT_EQ(m.failed, 1);
  EXPECT_EQ(m.last_success_ns, 0);
  m.Count(FileOutcome{"b.xml", FileOutcome::Result::kConverted, "", {}, {}, 2, 0, {}, 24, 5},
          2500000000);
  EXPECT_EQ(m.converted, 1);
  const std::string text = MetricsText(m, "1.2.3.4");
  for (const char* line : {"capsel_cues_written_total 5\n", "capsel_input_bytes_total 1024\n",
                           "capsel_last_success_timestamp_seconds 2.500\n",
                           "capsel_build_info{version=\"1.2.3.4\"} 1\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace capsel
