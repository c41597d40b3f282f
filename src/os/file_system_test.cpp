#include "os/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>

namespace capsel {
namespace {

class RealFileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) { return dir.path().toStdString() + "/" + name; }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    EXPECT_EQ(fs.List(dir.path().toStdString(), &names), 0);
    std::sort(names.begin(), names.end());
    return names;
  }
  QTemporaryDir dir;
  RealFileSystem fs;
};

TEST_F(RealFileSystemTest, WriteReplaceLeavesOnlyTheNewContent) {
  std::ofstream(Path("a.srt")) << "an older, longer content";
  for (bool sync : {false, true}) {
    ASSERT_EQ(fs.WriteReplace(Path("a.srt"), sync ? "synced" : "new", sync), 0);
    std::string data;
    ASSERT_EQ(fs.ReadFile(Path("a.srt"), &data), 0);
    EXPECT_EQ(data, sync ? "synced" : "new");
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"a.srt"}) << "no temporary file stays behind";
  EXPECT_EQ(fs.WriteReplace(Path("missing/a.srt"), "x", false), ENOENT);
  ::mkdir(Path("dir.srt").c_str(), 0755);
  EXPECT_NE(fs.WriteReplace(Path("dir.srt"), "x", false), 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.srt", "dir.srt"}));
}

TEST_F(RealFileSystemTest, StatTellsFilesFromOtherEntries) {
  std::ofstream(Path("f.xml")) << "xyz";
  ::mkdir(Path("d.xml").c_str(), 0755);
  ::symlink(Path("f.xml").c_str(), Path("l.xml").c_str());
  ::symlink(Path("nowhere").c_str(), Path("dangling.xml").c_str());
  ::mkfifo(Path("fifo.xml").c_str(), 0644);
  using Kind = FileInfo::Kind;
  std::vector<Kind> kinds;
  FileInfo info;
  for (const char* name : {"d.xml", "l.xml", "dangling.xml", "fifo.xml", "f.xml"}) {
    EXPECT_EQ(fs.Stat(Path(name), &info), 0) << name;
    kinds.push_back(info.kind);
  }
  EXPECT_EQ(kinds, (std::vector{Kind::kDirectory, Kind::kSymlink, Kind::kSymlink, Kind::kOther,
                                Kind::kFile}));
  EXPECT_EQ(info.size, 3);  // f.xml's
  EXPECT_EQ(fs.Stat(Path("nowhere"), &info), ENOENT);
}

TEST_F(RealFileSystemTest, CopyRenameRemoveAndSameFile) {
  std::ofstream(Path("a")) << "content";
  EXPECT_EQ(fs.Copy(Path("a"), Path("b"), true), 0);
  EXPECT_TRUE(fs.SameFile(Path("a"), Path("a")));
  EXPECT_TRUE(fs.SameFile(Path("a"), dir.path().toStdString() + "/./a"));
  EXPECT_FALSE(fs.SameFile(Path("a"), Path("b")));
  EXPECT_EQ(fs.Rename(Path("b"), Path("c")), 0);
  EXPECT_EQ(fs.Remove(Path("a")), 0);
  EXPECT_EQ(fs.Remove(Path("a")), ENOENT);
  EXPECT_EQ(fs.Copy(Path("a"), Path("d"), false), ENOENT);
  EXPECT_EQ(Names(), std::vector<std::string>{"c"});
  ::mkfifo(Path("fifo.xml").c_str(), 0644);
  std::string nothing;
  EXPECT_EQ(fs.ReadFile(Path("fifo.xml"), &nothing), EINVAL) << "a FIFO is refused, not waited on";
  ::unlink(Path("fifo.xml").c_str());
  EXPECT_EQ(fs.Append(Path("log"), "1\r\n"), 0);
  EXPECT_EQ(fs.Append(Path("log"), "2\r\n"), 0);
  std::string data;
  fs.ReadFile(Path("log"), &data);
  EXPECT_EQ(data, "1\r\n2\r\n");
  // A FIFO without a reader would hold the open forever; a device is never written.
  ::mkfifo(Path("fifo.log").c_str(), 0644);
  EXPECT_EQ(fs.Append(Path("fifo.log"), "x"), EINVAL);
  EXPECT_EQ(fs.Append("/dev/null", "x"), EINVAL);
}

}  // namespace
}  // namespace capsel
