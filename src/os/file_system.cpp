#include "os/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace capsel {
namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports what close says: a write error can surface only here.
  int Close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

int SyncDir(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  return ::fsync(fd.get()) == 0 ? 0 : errno;
}

constexpr char kTempPrefix[] = ".capsel-";
constexpr char kTempSuffix[] = ".part";

// A hidden name beside `path` that matches no pattern a user or the scan looks for, and names
// its owner, so that what a killed capsel left can be told and removed (RemoveLeftovers).
std::string TempNameFor(const std::string& path) {
  static std::mt19937_64 rng{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 10; ++i) suffix += kDigits[rng() % 36];
  std::string dir = DirName(path);
  return (dir == "." && path.find('/') == std::string::npos ? std::string() : dir + "/") +
         kTempPrefix + ProcessOwner() + "-" + suffix + kTempSuffix;
}

// Opens an unnamed file in `dir` (Linux's O_TMPFILE): a crash before it is linked leaves
// nothing behind. -1 where the file system cannot do it.
int OpenUnnamed(const std::string& dir, int access = O_WRONLY) {
#ifdef O_TMPFILE
  return ::open(dir.c_str(), access | O_TMPFILE | O_CLOEXEC, 0644);
#else
  (void)dir;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

// A file written under no name (or a hidden temporary one where the file system cannot do
// that) that takes its real name only when it is complete.
class ReplacingFile final : public OutputFile {
 public:
  ReplacingFile(std::string path, bool sync) : path_(std::move(path)), sync_(sync) {}
  ~ReplacingFile() override {
    if (!committed_ && !anonymous_ && fd_.get() >= 0) ::unlink(temp_.c_str());
  }

  int Open() {
    dir_ = DirName(path_);
    temp_ = TempNameFor(path_);
    fd_ = Fd(OpenUnnamed(dir_));
    anonymous_ = fd_.get() >= 0;
    if (!anonymous_) fd_ = Fd(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    return fd_.get() < 0 ? errno : 0;
  }
  int Write(std::string_view data) override { return WriteAll(fd_.get(), data); }
  int Commit() override {
    int rc = 0;
    if (sync_ && ::fsync(fd_.get()) != 0) rc = errno;
    if (rc == 0 && anonymous_) {
      // Give the finished file its temporary name; until here it had none.
      std::string proc = "/proc/self/fd/" + std::to_string(fd_.get());
      if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, temp_.c_str(), AT_SYMLINK_FOLLOW) != 0)
        rc = errno;
      else
        anonymous_ = false;  // it has a name now, which a failure below must remove
    }
    int close_rc = fd_.Close();
    if (rc == 0) rc = close_rc;
    if (rc == 0 && ::rename(temp_.c_str(), path_.c_str()) != 0) rc = errno;
    if (rc != 0) {
      if (!anonymous_) ::unlink(temp_.c_str());
      committed_ = true;  // nothing is left to clean up
      return rc;
    }
    committed_ = true;
    return sync_ ? SyncDir(dir_) : 0;
  }

 private:
  std::string path_, dir_, temp_;
  bool sync_;
  Fd fd_{-1};
  bool anonymous_ = false;
  bool committed_ = false;
};

class Scratch final : public ScratchFile {
 public:
  explicit Scratch(int fd) : fd_(fd) {}
  int Append(std::string_view data) override { return WriteAll(fd_.get(), data); }
  long ReadAt(std::uint64_t offset, char* buffer, size_t size) override {
    for (;;) {
      ssize_t n = ::pread(fd_.get(), buffer, size, static_cast<off_t>(offset));
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -errno;
    }
  }

 private:
  Fd fd_;
};

class ReadingFile final : public InputFile {
 public:
  ReadingFile(int fd, const FileInfo& info) : fd_(fd), info_(info) {}
  long Read(char* buffer, size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -errno;
    }
  }
  std::uint64_t Size() const override { return static_cast<std::uint64_t>(info_.size); }
  FileInfo Info() const override { return info_; }

 private:
  Fd fd_;
  FileInfo info_;
};

// Nanoseconds since the epoch, held at the ends of the range: a file can carry any time, and
// one beyond the year 2262 must not overflow.
std::int64_t TimeNs(const timespec& t) {
  constexpr std::int64_t kLimit = INT64_MAX / 1000000000 - 1;
  if (t.tv_sec > kLimit) return INT64_MAX;
  if (t.tv_sec < -kLimit) return INT64_MIN;
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileInfo InfoOf(const struct stat& st) {
  const auto kind = S_ISREG(st.st_mode)   ? FileInfo::Kind::kFile
                    : S_ISDIR(st.st_mode) ? FileInfo::Kind::kDirectory
                    : S_ISLNK(st.st_mode) ? FileInfo::Kind::kSymlink
                                          : FileInfo::Kind::kOther;
  return {kind, TimeNs(st.st_mtim), static_cast<std::int64_t>(st.st_size),
          static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

std::string DirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ErrorText(int error) { return std::strerror(error); }

std::string ProcessOwner() {
  char host[256] = "";
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') std::strcpy(host, "localhost");
  return std::string(host) + "." + std::to_string(::getpid());
}

bool ProcessRuns(long pid) {
  if (pid <= 0) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string TemporaryFileOwner(const std::string& name) {
  const std::string_view n = name;
  if (!n.starts_with(kTempPrefix) || !n.ends_with(kTempSuffix)) return "";
  const std::string_view middle = n.substr(
      sizeof kTempPrefix - 1, n.size() - (sizeof kTempPrefix - 1) - (sizeof kTempSuffix - 1));
  const size_t dash = middle.rfind('-');
  return dash == std::string_view::npos ? "" : std::string(middle.substr(0, dash));
}

int RealFileSystem::List(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return errno;
  errno = 0;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names->emplace_back(e->d_name);
    errno = 0;
  }
  int rc = errno;
  ::closedir(d);
  return rc;
}

int RealFileSystem::Stat(const std::string& path, FileInfo* info) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return errno;
  *info = InfoOf(st);
  return 0;
}

int RealFileSystem::OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) {
  file->reset();
  // O_NONBLOCK: a FIFO swapped in under a listed name must not block the scan forever.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  Fd guard(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  *file = std::make_unique<ReadingFile>(guard.Release(), InfoOf(st));
  return 0;
}

int RealFileSystem::CreateScratch(const std::string& dir, std::unique_ptr<ScratchFile>* file) {
  file->reset();
  int fd = OpenUnnamed(dir, O_RDWR);
  if (fd < 0) {
    // A file system without unnamed files: a hidden name, gone again at once.
    const std::string name = TempNameFor(dir + "/scratch");
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    ::unlink(name.c_str());
  }
  *file = std::make_unique<Scratch>(fd);
  return 0;
}

int RealFileSystem::CreateReplacing(const std::string& path, bool sync,
                                    std::unique_ptr<OutputFile>* file) {
  file->reset();
  auto replacing = std::make_unique<ReplacingFile>(path, sync);
  if (int rc = replacing->Open()) return rc;
  *file = std::move(replacing);
  return 0;
}

int RealFileSystem::ReadFile(const std::string& path, std::string* data) {
  data->clear();
  std::unique_ptr<InputFile> file;
  if (int rc = OpenForReading(path, &file)) return rc;
  data->reserve(file->Size());
  char buf[1 << 16];
  for (;;) {
    long n = file->Read(buf, sizeof buf);
    if (n < 0) return static_cast<int>(-n);
    if (n == 0) return 0;
    data->append(buf, static_cast<size_t>(n));
  }
}

int RealFileSystem::Append(const std::string& path, std::string_view data) {
  // A FIFO without a reader would hold the open forever, and opening a device may act on it:
  // look first, and open without waiting, so one swapped in between is caught by fstat.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return EINVAL;
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644));
  if (fd.get() < 0) return errno;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  int rc = WriteAll(fd.get(), data);
  int close_rc = fd.Close();
  return rc != 0 ? rc : close_rc;
}

int RealFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RealFileSystem::Copy(const std::string& from, const std::string& to, bool sync) {
  // In pieces: a copy never needs the whole file in memory.
  std::unique_ptr<InputFile> in;
  if (int rc = OpenForReading(from, &in)) return rc;
  ReplacingFile out(to, sync);
  if (int rc = out.Open()) return rc;
  std::vector<char> buf(1 << 16);
  for (;;) {
    long n = in->Read(buf.data(), buf.size());
    if (n < 0) return static_cast<int>(-n);
    if (n == 0) break;
    if (int rc = out.Write(std::string_view(buf.data(), static_cast<size_t>(n)))) return rc;
  }
  return out.Commit();
}

int RealFileSystem::Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int RealFileSystem::MakeDir(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? 0 : errno;
}

int RealFileSystem::RemoveDir(const std::string& path) {
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int RealFileSystem::Touch(const std::string& path) {
  return ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0 ? 0 : errno;
}

bool RealFileSystem::Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool RealFileSystem::SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int RealFileSystem::SetCurrentDir(const std::string& dir) {
  return ::chdir(dir.c_str()) == 0 ? 0 : errno;
}

}  // namespace capsel
