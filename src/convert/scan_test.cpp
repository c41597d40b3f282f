#include "convert/scan.h"

#include <gtest/gtest.h>

#include "convert/claims.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/fake_timer.h"
#include "testing/memory_log.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using Lines = std::vector<std::string>;
constexpr std::int64_t kSecond = 1000000000;
const char kDoc[] = "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body/></tt>";

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testdoc::SetUpFolders(fs, settings);
    clock.now_ns = 1000 * kSecond;
    log.AddSink(&watch);
    timer.SetInterval(2000);
    timer.SetEnabled(true);
    timer.OnTick([this] { complete = DoConvert(context); });
  }
  void AddOld(const std::string& name) { fs.AddFile("/w/in/" + name, kDoc, 900 * kSecond); }
  Lines Queue() {
    std::vector<std::string> names;
    EXPECT_EQ(ListWatchFolder(context, &names), 0);
    return names;
  }
  FakeFileSystem fs;
  FakeClock clock;
  FakeTimer timer;
  Settings settings;
  ActivityLog log{clock};
  MemoryLog watch;
  ScanState state;
  ScanContext context{fs, clock, timer, settings, log, state};
  bool complete = true;  // what the last scan returned
};

TEST_F(ScanTest, QueuesOrdinaryXmlFilesInByteOrder) {
  for (const char* name :
       {"b.xml", "A.xml", "c.XML", "a.xml", "notes.txt", ".hidden.xml", "xml", ".xml"})
    AddOld(name);
  fs.AddDir("/w/in/folder.xml");
  fs.others["/w/in/link.xml"] = FileInfo::Kind::kSymlink;
  Lines looked_at;  // only the names the scan could take are ever looked at
  fs.before_call = [&](FakeFileSystem::Op op, const std::string& path) {
    if (op == FakeFileSystem::Op::kStat) looked_at.push_back(path);
  };
  EXPECT_EQ(Queue(), (Lines{"A.xml", "a.xml", "b.xml", "c.XML"}));
  EXPECT_EQ(looked_at, (Lines{"/w/in/A.xml", "/w/in/a.xml", "/w/in/b.xml", "/w/in/c.XML",
                              "/w/in/folder.xml", "/w/in/link.xml"}));
}

// A file is watched across scans: each step moves capsel's monotonic clock to `at` seconds,
// may change the file first, and says whether the scan then takes it. The wall clock stands
// still, so only what capsel saw can settle a file whose time lies ahead.
TEST_F(ScanTest, AFileSettlesWhenSeenUnchangedForMinFileAge) {
  enum Change { kNone, kGrow, kTouch, kRemove, kRestore, kUnreadable };
  struct Step {
    double at;
    Change change;
    bool taken;
  };
  struct Case {
    const char* name;
    const char* min_file_age;
    std::int64_t mtime_from_now;  // seconds
    std::vector<Step> steps;
  };
  constexpr std::int64_t kDay = 86400;
  // clang-format off
  const Case cases[] = {
      {"a day ahead", "2", kDay, {{0, kNone, false}, {1.9, kNone, false}, {2, kNone, true}}},
      {"growing", "2", 0,
       {{0, kNone, false}, {1, kGrow, false}, {2.5, kNone, false}, {3, kNone, true}}},
      {"touched", "2", kDay,
       {{0, kNone, false}, {1, kTouch, false}, {2.9, kNone, false}, {3, kNone, true}}},
      {"gone and back", "2", kDay,
       {{0, kNone, false}, {1, kRemove, false}, {1.5, kRestore, false}, {3, kNone, false},
        {3.5, kNone, true}}},
      {"unseen while the folder could not be read", "2", kDay,
       {{0, kNone, false}, {1, kUnreadable, false}, {1.5, kNone, false}, {3, kNone, false},
        {3.5, kNone, true}}},
      {"old by the wall clock", "2", -2, {{0, kNone, true}}},
      {"at once", "0", kDay, {{0, kNone, true}}},
      {"half a second", "0.5", kDay, {{0, kNone, false}, {0.4, kNone, false}, {0.5, kNone, true}}},
  };
  // clang-format on
  const std::string path = "/w/in/a.xml";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state = ScanState{};
    ApplySetting("MinFileAge", c.min_file_age, settings);
    const std::int64_t mtime = clock.now_ns + c.mtime_from_now * kSecond;
    fs.AddFile(path, kDoc, mtime);
    for (const Step& step : c.steps) {
      clock.monotonic_ns = static_cast<std::int64_t>(step.at * kSecond);
      if (step.change == kGrow) fs.files[path].data += " ";
      if (step.change == kTouch) fs.files[path].mtime_ns += kSecond;
      if (step.change == kRemove) fs.files.erase(path);
      if (step.change == kRestore) fs.AddFile(path, kDoc, mtime);
      if (step.change == kUnreadable) {
        fs.FailOn(FakeFileSystem::Op::kList, "/w/in", EIO);
        std::vector<std::string> names;
        EXPECT_EQ(ListWatchFolder(context, &names), EIO);
        fs.ClearFailures();
        continue;
      }
      EXPECT_EQ(Queue(), step.taken ? Lines{"a.xml"} : Lines{}) << "at " << step.at;
    }
    EXPECT_EQ(state.seen.size(), 1u);
  }
}

TEST_F(ScanTest, TakesAtMost32767FilesPerScan) {
  for (int i = 0; i < kMaxQueuedFiles + 1; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05d.xml", i);
    AddOld(name);
  }
  Lines queue = Queue();
  ASSERT_EQ(queue.size(), 32767u);
  EXPECT_EQ(queue.back(), "32766.xml");
}

TEST_F(ScanTest, EmptyFolderIsSilentUnlessVerbose) {
  struct Case {
    const char* verbose;
    Lines lines;
  };
  const Case cases[] = {{"0", {}}, {"1", {msg::kNoXmlFiles}}, {"yes", {}}, {"2", {}}};
  for (const auto& c : cases) {
    watch.lines.clear();
    ApplySetting("Verbose", c.verbose, settings);
    timer.Advance(2000);
    EXPECT_EQ(watch.Messages(), c.lines) << c.verbose;
  }
}

TEST_F(ScanTest, AMissingWatchFolderIsLoggedWhenItGoesAndWhenItIsBack) {
  const std::string gone = "---- ERROR: The watch folder /w/in/ does not exist";
  fs.dirs.erase("/w/in");  // missing from the start
  timer.Advance(6000);
  fs.AddDir("/w/in");
  timer.Advance(4000);
  fs.dirs.erase("/w/in");
  timer.Advance(4000);
  ApplySetting("InPath", "/w/gone", settings);  // a reload names another missing folder
  timer.Advance(2000);
  EXPECT_EQ(watch.Messages(), (Lines{gone, "---- The watch folder /w/in/ is back", gone,
                                     "---- ERROR: The watch folder /w/gone/ does not exist"}));
}

TEST_F(ScanTest, ALongScanIsFollowedByAFullInterval) {
  AddOld("a.xml");
  // Five seconds pass while the file is converted; the timer is off and must not fire.
  watch.on_line = [this](const std::string&) { EXPECT_EQ(timer.Advance(5000), 0); };
  EXPECT_EQ(timer.Advance(2000), 1);
  EXPECT_TRUE(fs.Has("/w/done/a.xml"));
  watch.on_line = nullptr;
  EXPECT_EQ(timer.elapsed(), 0);
  EXPECT_EQ(timer.Advance(1999), 0);
  EXPECT_EQ(timer.Advance(1), 1);
}

TEST_F(ScanTest, AFailingListingIsLoggedOnceAndRecovers) {
  const std::string error = "---- ERROR: Cannot read the watch folder /w/in/";
  fs.FailOn(FakeFileSystem::Op::kList, "/w/in", EACCES);
  EXPECT_EQ(timer.Advance(6000), 3);
  EXPECT_EQ(watch.Messages(), Lines{error});
  EXPECT_TRUE(timer.Enabled());

  fs.ClearFailures();
  AddOld("a.xml");
  timer.Advance(2000);
  EXPECT_FALSE(fs.Has("/w/in/a.xml"));
  EXPECT_EQ(watch.Messages()[1], msg::kQueueNotEmpty) << "a folder read again is not \"back\"";

  fs.FailOn(FakeFileSystem::Op::kList, "/w/in", EIO);
  watch.lines.clear();
  timer.Advance(4000);
  EXPECT_EQ(watch.Messages(), Lines{error}) << "a new failure is logged again";
}

// A stop lets the file in progress finish; a second one (abandon) gives it up where it stands.
TEST_F(ScanTest, StopsAfterTheFileInProgressOrAtOnce) {
  for (bool at_once : {false, true}) {
    SCOPED_TRACE(at_once ? "at once" : "after the file");
    fs.files.clear();
    AddOld("a.xml");
    AddOld("b.xml");
    std::atomic<bool> stop{false}, abandon{false};
    context.stop = &stop;
    context.abandon = &abandon;
    watch.on_line = [&](const std::string& message) {
      if (message != "Processing a.xml...") return;
      stop = true;
      abandon = at_once;
    };
    timer.Advance(2000);
    EXPECT_FALSE(complete);
    EXPECT_EQ(fs.Has("/w/done/a.xml"), !at_once);
    EXPECT_EQ(fs.Has("/w/in/a.xml") && !fs.Has("/w/out/a.srt"), at_once);
    EXPECT_TRUE(fs.Has("/w/in/b.xml"));
    EXPECT_EQ(watch.Messages().back(),
              at_once ? "---- DoConvert: Stopped at once; a.xml stays in the watch folder"
                      : msg::kScanStopped);
  }
}

// Instances sharing the watch folder: whose claims go back, and what an owner does when its
// claim was taken back while it converted.
TEST_F(ScanTest, ClaimsOfDeadInstancesGoBackAndOnlyThose) {
  ClaimOwner me{"here.100", [](long pid) { return pid == 100 || pid == 300; }};
  context.owner = &me;
  settings.SharedWatchFolder = true;
  struct Case {
    const char* owner;
    std::int64_t untouched_s;
    bool returned;
  };
  const Case cases[] = {{"here.200", 0, true},    // this host, its process gone: at once
                        {"here.300", 0, false},   // this host, still running
                        {"there.7", 61, true},    // another host, stale
                        {"there.8", 59, false}};  // another host, fresh
  fs.now_ns = clock.now_ns;
  for (const Case& k : cases) {
    fs.AddFile(std::string("/w/in/.capsel-claims/") + k.owner + "/" + k.owner + ".xml", kDoc,
               900 * kSecond);
    fs.dir_mtime[std::string("/w/in/.capsel-claims/") + k.owner] =
        clock.now_ns - k.untouched_s * kSecond;
  }
  // In the output folder and in the folder for done input, which a copy may be writing to.
  for (const char* dir : {"/w/out/", "/w/done/"}) {
    fs.AddFile(dir + std::string(".capsel-here.200-abcdefghij.part"), "left by a killed capsel");
    fs.AddFile(dir + std::string(".capsel-here.300-abcdefghij.part"), "still being written");
  }
  timer.Advance(2000);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.owner);
    const std::string name = std::string(k.owner) + ".xml";
    EXPECT_EQ(fs.Has("/w/done/" + name), k.returned);
    EXPECT_EQ(fs.Has("/w/in/.capsel-claims/" + std::string(k.owner) + "/" + name), !k.returned);
    const std::string line = "---- Returning " + name + " to the watch folder: " + k.owner +
                             " has not touched its claim for " + std::to_string(k.untouched_s) +
                             " s";
    EXPECT_EQ(std::count(watch.lines.begin(), watch.lines.end(), "01.01.1970 00:00:00  " + line),
              k.returned);
  }
  for (const char* dir : {"/w/out/", "/w/done/"}) {
    EXPECT_FALSE(fs.Has(dir + std::string(".capsel-here.200-abcdefghij.part"))) << dir;
    EXPECT_TRUE(fs.Has(dir + std::string(".capsel-here.300-abcdefghij.part"))) << dir;
  }

  // Frozen while converting: another instance gave the claim back meanwhile.
  AddOld("late.xml");
  fs.before_call = [&](FakeFileSystem::Op op, const std::string& path) {
    if (op == FakeFileSystem::Op::kCommit && path == "/w/out/late.srt")
      fs.Rename("/w/in/.capsel-claims/here.100/late.xml", "/w/in/late.xml");
  };
  const int failures = log.failure_count();
  timer.Advance(2000);
  fs.before_call = nullptr;
  EXPECT_EQ(log.failure_count(), failures);
  EXPECT_TRUE(fs.Has("/w/in/late.xml"));
  EXPECT_NE(
      std::find(watch.lines.begin(), watch.lines.end(),
                "01.01.1970 00:00:00  ---- late.xml was taken back from this instance's claim "
                "while it was converted; another scan converts it"),
      watch.lines.end());

  // A file another instance claimed first is passed over in silence; a claim the file system
  // refuses says why, and the file stays.
  AddOld("refused.xml");
  AddOld("taken.xml");
  fs.FailOn(FakeFileSystem::Op::kRename, "/w/in/refused.xml", EACCES);
  fs.FailOn(FakeFileSystem::Op::kRename, "/w/in/taken.xml", ENOENT);
  watch.lines.clear();
  timer.Advance(2000);
  Lines claims;
  for (const std::string& line : watch.Messages())
    if (line.find("claim") != std::string::npos || line.find("taken") != std::string::npos)
      claims.push_back(line);
  EXPECT_EQ(claims, Lines{"---- ERROR: Cannot claim refused.xml: Permission denied"});
  EXPECT_TRUE(fs.Has("/w/in/refused.xml"));
}

// A claim is touched as its file is converted, at most once a second, and at once when asked.
TEST_F(ScanTest, AClaimIsTouchedAtMostOnceASecondUnlessAtOnce) {
  ClaimOwner me{"here.100", [](long) { return true; }};
  settings.SharedWatchFolder = true;
  fs.AddDir("/w/in/.capsel-claims/here.100");
  Claims claims(fs, clock, settings, log, me);
  const std::string folder = "/w/in/.capsel-claims/here.100";
  struct Step {
    std::int64_t at_ms;
    bool now, touched;
  };
  const Step steps[] = {{1000, false, true}, {1500, false, false}, {1999, false, false},
                        {2000, false, true}, {2100, true, true},   {2200, false, false}};
  for (const Step& s : steps) {
    clock.monotonic_ns = s.at_ms * 1000000;
    fs.now_ns = s.at_ms * 1000000;
    claims.Refresh(s.now);
    EXPECT_EQ(fs.dir_mtime[folder] == fs.now_ns, s.touched) << s.at_ms << " ms";
  }
}

}  // namespace
}  // namespace capsel
