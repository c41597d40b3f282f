#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace capsel {

/// What Stat tells of one entry of a folder. Two readings are equal only when they are of the
/// same file (device and inode), unchanged (size and modification time).
struct FileInfo {
  enum class Kind { kFile, kDirectory, kSymlink, kOther };
  Kind kind = Kind::kFile;
  std::int64_t mtime_ns = 0;  // last modification, nanoseconds since the epoch
  std::int64_t size = 0;      // in bytes
  std::uint64_t device = 0, inode = 0;
  bool operator==(const FileInfo&) const = default;
};

/// A file open for reading, piece by piece.
class InputFile {
 public:
  virtual ~InputFile() = default;
  /// Reads up to `size` bytes: the number read, 0 at the end, or minus an errno value.
  virtual long Read(char* buffer, size_t size) = 0;
  /// The file's size when it was opened.
  virtual std::uint64_t Size() const = 0;
  /// The open file as it was when it was opened.
  virtual FileInfo Info() const = 0;
};

/// A new file that nobody sees until it is complete: written piece by piece, it replaces the
/// file at its path only on Commit. Destroyed without Commit, it leaves nothing behind.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  /// Appends `data`; 0 or an errno value.
  virtual int Write(std::string_view data) = 0;
  /// Gives the file its name, replacing an older one (flushed to disk first when it was
  /// created with `sync`); 0 or an errno value, and then nothing is left behind.
  virtual int Commit() = 0;
};

/// A file of capsel's own for data too large to hold in memory: nobody else sees it, and it is
/// gone when it is destroyed (or the process ends).
class ScratchFile {
 public:
  virtual ~ScratchFile() = default;
  /// Appends `data`; 0 or an errno value.
  virtual int Append(std::string_view data) = 0;
  /// Reads up to `size` bytes from `offset`: the number read, or minus an errno value.
  virtual long ReadAt(std::uint64_t offset, char* buffer, size_t size) = 0;
};

/// The operating system's file services, as capsel uses them. Every call returns 0 on
/// success or an errno value; none throws. Tests replace it with a fake that fails on command.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// Lists the bare names of the entries of `dir` (no "." or ".."), in no particular order,
  /// without looking at any entry itself: a folder of many files costs no call per file.
  virtual int List(const std::string& dir, std::vector<std::string>* names) = 0;
  /// Describes the entry `path` itself (a symbolic link is not followed); ENOENT when there
  /// is none.
  virtual int Stat(const std::string& path, FileInfo* info) = 0;
  /// Reads a whole file.
  virtual int ReadFile(const std::string& path, std::string* data) = 0;
  /// Opens an ordinary file for reading; EISDIR or EINVAL for anything else (a FIFO must
  /// never block the scan).
  virtual int OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) = 0;
  /// Makes a scratch file in the folder `dir`.
  virtual int CreateScratch(const std::string& dir, std::unique_ptr<ScratchFile>* file) = 0;
  /// Starts a file that will replace `path` on Commit.
  virtual int CreateReplacing(const std::string& path, bool sync,
                              std::unique_ptr<OutputFile>* file) = 0;
  /// Appends `data` to `path`, creating it; opened and closed within the call. Only an
  /// ordinary file is written: anything else (a FIFO, a device) gives EINVAL untouched, and
  /// opening never waits.
  virtual int Append(const std::string& path, std::string_view data) = 0;
  /// Renames within one file system; EXDEV when the two are on different ones.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  /// Copies `from` to `to` through a temporary file and a rename; with `sync` the copy is
  /// on disk before the call returns.
  virtual int Copy(const std::string& from, const std::string& to, bool sync) = 0;
  /// Removes a file.
  virtual int Remove(const std::string& path) = 0;
  /// Makes the folder `path` (its parent must exist); 0 also when it is there already.
  virtual int MakeDir(const std::string& path) = 0;
  /// Removes the empty folder `path`.
  virtual int RemoveDir(const std::string& path) = 0;
  /// Sets the modification time of `path` (a file or a folder) to now, by the clock of the
  /// file system that holds it.
  virtual int Touch(const std::string& path) = 0;
  /// True when `path` names an existing entry of any kind.
  virtual bool Exists(const std::string& path) = 0;
  /// True when both paths name the same existing file or folder.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  /// Makes `dir` the process's current folder.
  virtual int SetCurrentDir(const std::string& dir) = 0;
};

/// The real file system, through POSIX calls.
class RealFileSystem final : public FileSystem {
 public:
  int List(const std::string& dir, std::vector<std::string>* names) override;
  int Stat(const std::string& path, FileInfo* info) override;
  int ReadFile(const std::string& path, std::string* data) override;
  int OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override;
  int CreateScratch(const std::string& dir, std::unique_ptr<ScratchFile>* file) override;
  int CreateReplacing(const std::string& path, bool sync,
                      std::unique_ptr<OutputFile>* file) override;
  int Append(const std::string& path, std::string_view data) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Copy(const std::string& from, const std::string& to, bool sync) override;
  int Remove(const std::string& path) override;
  int MakeDir(const std::string& path) override;
  int RemoveDir(const std::string& path) override;
  int Touch(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  int SetCurrentDir(const std::string& dir) override;
};

/// The folder part of a path ("." when there is none).
std::string DirName(const std::string& path);
/// The name after the last "/".
std::string BaseName(const std::string& path);
/// A short human text for an errno value.
std::string ErrorText(int error);

/// This process as the owner of claims and temporary files: "HOSTNAME.PID".
std::string ProcessOwner();
/// Whether a process of this machine runs under `pid` (true where that cannot be told).
bool ProcessRuns(long pid);
/// The owner ("HOSTNAME.PID") of a hidden temporary file capsel named, or "" for any other name.
std::string TemporaryFileOwner(const std::string& name);

}  // namespace capsel
