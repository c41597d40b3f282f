// Hostile input through the built binary: awkward names (control characters too), a file larger
// than the memory limit, and a file that is rewritten while capsel reads it. Nothing crashes,
// nothing is lost. (A document of over 200 MB is converted by bench/loads.sh.)

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

#include "testing/e2e_helpers.h"
#include "testing/test_documents.h"

namespace capsel::e2e {
namespace {

TEST(Hostile, AwkwardFileNamesAreConvertedUnderTheirOwnName) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  const std::vector<std::string> names = {"-leading dash", "blanks and 'single' \"double\" quotes",
                                          "\xC3\xBCmlaut \xC3\xB1 \xE6\x97\xA5\xE6\x9C\xAC",
                                          "semi;colon $HOME `x`", "a\nb\rc\x1B[2Jd\x7F"};
  for (const auto& name : names) WriteOldFile(w.Path("in/" + name + ".xml"), testdoc::kHelloWorld);
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 0) << run.out;
  for (const auto& name : names) {
    EXPECT_EQ(ReadFile(w.Path("out/" + name + ".srt")), testdoc::kHelloWorldSrt) << name;
    EXPECT_TRUE(Exists(w.Path("done/" + name + ".xml"))) << name;
  }
}

TEST(Hostile, AFileLargerThanTheMemoryLimitIsReportedAndTheScanGoesOn) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  WriteOldFile(w.Path("in/a_huge.xml"), "");
  ASSERT_EQ(::truncate(w.Path("in/a_huge.xml").c_str(), 2'000'000'000), 0);
  WriteOldFile(w.Path("in/b_next.xml"), testdoc::kHelloWorld);
  ProcessRun run =
      RunCapsel({"--as=1500000000", CAPSEL_BINARY, "--headless", "--once", "--config", w.Ini()},
                "/usr/bin/prlimit");
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.out.find("Processing a_huge.xml...\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("---- XML error in line 1, column 1: Document is empty\n"),
            std::string::npos);
  EXPECT_TRUE(Exists(w.Path("done/a_huge.xml")));
  EXPECT_EQ(ReadFile(w.Path("out/b_next.srt")), testdoc::kHelloWorldSrt);
}

TEST(Hostile, AFileRewrittenWhileItIsReadNeitherCrashesNorIsLost) {
  Workspace w("[Processing]\nMinFileAge=0\n");
  const std::string path = w.Path("in/moving.xml");
  std::string big = testdoc::kHelloWorld;
  big.insert(big.find("</tt:div>"), std::string(2'000'000, ' '));
  WriteOldFile(path, big);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i)
      WriteFile(path, i % 2 ? big : std::string(testdoc::kHelloWorld).substr(0, 100));
  });
  ProcessRun run = w.Once();
  stop = true;
  writer.join();
  EXPECT_TRUE(run.status == 0 || run.status == 2) << run.status;
  // Whatever it read, the input is in the processed folder or back in the watch folder.
  EXPECT_TRUE(Exists(w.Path("done/moving.xml")) || Exists(path));
}

}  // namespace
}  // namespace capsel::e2e
