#include "os/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file written in pieces replaces the older one whole on Commit, or leaves the folder as it
// was, without a temporary file: dropped unfinished, its folder missing or gone before Commit,
// or a folder in the way.
TEST_F(RealFileSystemTest, AReplacingFileAppearsWholeOnCommitOrNotAtAll) {
  enum End { kCommit, kDrop, kFolderGone };
  struct Case {
    const char* target;  // beside a.srt ("older"), the folder dir.srt and the empty folder sub
    bool sync;
    End end;
    int create_error, commit_error;
    const char* left;  // the folder's entries afterwards, and a.srt's content
  };
  const Case cases[] = {
      {"a.srt", false, kCommit, 0, 0, "a.srt dir.srt sub one two"},
      {"a.srt", true, kCommit, 0, 0, "a.srt dir.srt sub one two"},
      {"a.srt", true, kDrop, 0, 0, "a.srt dir.srt sub older"},
      {"dir.srt", false, kCommit, 0, EISDIR, "a.srt dir.srt sub older"},
      {"missing/a.srt", true, kCommit, ENOENT, 0, "a.srt dir.srt sub older"},
      {"sub/a.srt", true, kFolderGone, 0, ENOENT, "a.srt dir.srt older"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.target) + (c.sync ? ", synced" : ""));
    std::ofstream(Path("a.srt")) << "older";
    for (const char* dir : {"dir.srt", "sub"}) ::mkdir(Path(dir).c_str(), 0755);
    std::unique_ptr<OutputFile> file;
    EXPECT_EQ(fs.CreateReplacing(Path(c.target), c.sync, &file), c.create_error);
    for (const char* piece : {"one ", "", "two"})
      if (file != nullptr && file->Write(piece) != 0) ADD_FAILURE() << "write " << piece;
    if (c.end == kFolderGone) ::rmdir(Path("sub").c_str());
    const int commit_error = file != nullptr && c.end != kDrop ? file->Commit() : 0;
    EXPECT_EQ(commit_error, c.commit_error);
    file.reset();
    std::string left, data;
    for (const std::string& name : Names()) left += name + " ";
    fs.ReadFile(Path("a.srt"), &data);
    EXPECT_EQ(left + data, c.left);
  }
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
  // An ordinary file whose reading fails (this process's memory has nothing at address 0):
  // the copy fails with it and leaves nothing.
  EXPECT_EQ(fs.Copy("/proc/self/mem", Path("d"), false), EIO);
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
