#pragma once

// An in-memory file system for tests: it records what happened and fails any call on command.

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/file_system.h"

namespace capsel {

class FakeFileSystem final : public FileSystem {
 public:
  enum class Op { kList, kStat, kRead, kWrite, kAppend, kRename, kCopy, kRemove, kChdir, kCommit };

  struct File {
    std::string data;
    std::int64_t mtime_ns = 0;
    bool synced = false;
    std::uint64_t inode = 0;  // 0: given the next free number when it is stored
  };

  std::map<std::string, File> files;
  /// Entries that are neither files nor folders (links, FIFOs): listed, told apart by Stat.
  std::map<std::string, FileInfo::Kind> others;
  std::set<std::string> dirs{"/"};
  /// The file server's clock: what Touch, MakeDir and a rename in or out of a folder set a
  /// folder's modification time to.
  std::int64_t now_ns = 0;
  std::map<std::string, std::int64_t> dir_mtime;
  std::string cwd = "/";
  /// Runs before every call, on the caller's thread, with the call's op and path: lets a test
  /// hold a call while it acts elsewhere.
  std::function<void(Op, const std::string&)> before_call;
  /// The most an opened file hands over per read, as a slow pipe or network file might.
  size_t read_piece = SIZE_MAX;

  /// Makes every call of `op` on a path containing `path_part` fail with `error`, or with `nth`
  /// above 0 only the nth such call. kWrite is CreateReplacing and then each Write to the file
  /// it gave (CreateScratch and each Append to the scratch file), so a write can fail midway.
  void FailOn(Op op, const std::string& path_part, int error = EACCES, int nth = 0) {
    failures_.push_back({op, path_part, error, nth});
  }
  void ClearFailures() { failures_.clear(); }

  void AddDir(const std::string& path) {
    std::string p = Abs(path);
    while (!p.empty() && p != "/") {
      dirs.insert(p);
      p = DirName(p);
    }
  }
  void AddFile(const std::string& path, const std::string& data, std::int64_t mtime_ns = 0) {
    AddDir(DirName(Abs(path)));
    Store(Abs(path), File{data, mtime_ns, false});
  }
  bool Has(const std::string& path) const { return files.count(Abs(path)) != 0; }
  std::string Data(const std::string& path) const {
    auto it = files.find(Abs(path));
    return it == files.end() ? std::string("<missing>") : it->second.data;
  }

  int List(const std::string& dir, std::vector<std::string>* names) override {
    names->clear();
    std::string d = Abs(dir.empty() ? "." : dir);
    if (int rc = Check(Op::kList, d)) return rc;
    if (!dirs.count(d)) return ENOENT;
    for (const auto& [path, file] : files)
      if (DirName(path) == d) names->push_back(BaseName(path));
    for (const auto& sub : dirs)
      if (sub != d && DirName(sub) == d) names->push_back(BaseName(sub));
    for (const auto& [path, kind] : others)
      if (DirName(path) == d) names->push_back(BaseName(path));
    return 0;
  }
  int Stat(const std::string& path, FileInfo* info) override {
    std::string p = Abs(path);
    if (int rc = Check(Op::kStat, p)) return rc;
    auto it = files.find(p);
    if (it == files.end() && !dirs.count(p) && !others.count(p)) return ENOENT;
    using K = FileInfo::Kind;
    *info = it == files.end() ? FileInfo{dirs.count(p) ? K::kDirectory : others[p], dir_mtime[p]}
                              : InfoOf(it->second);
    return 0;
  }
  int ReadFile(const std::string& path, std::string* data) override {
    std::string p = Abs(path);
    if (int rc = Check(Op::kRead, p)) return rc;
    auto it = files.find(p);
    if (it == files.end()) return dirs.count(p) ? EISDIR : ENOENT;
    *data = it->second.data;
    return 0;
  }
  int OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    std::string data;
    if (int rc = ReadFile(path, &data)) return rc;
    const File& f = files.at(Abs(path));
    *file = std::make_unique<Input>(std::move(data), read_piece, InfoOf(f));
    return 0;
  }
  int CreateScratch(const std::string& dir, std::unique_ptr<ScratchFile>* file) override {
    std::string d = Abs(dir.empty() ? "." : dir);
    if (int rc = Check(Op::kWrite, d + "/<scratch>")) return rc;
    if (!dirs.count(d)) return ENOENT;
    *file = std::make_unique<Scratch>(this, d + "/<scratch>");
    return 0;
  }
  int CreateReplacing(const std::string& path, bool sync,
                      std::unique_ptr<OutputFile>* file) override {
    std::string p = Abs(path);
    if (int rc = Check(Op::kWrite, p)) return rc;
    if (int rc = CanCreate(p)) return rc;
    *file = std::make_unique<Output>(this, p, sync);
    return 0;
  }
  int Append(const std::string& path, std::string_view data) override {
    std::string p = Abs(path);
    if (int rc = Check(Op::kAppend, p)) return rc;
    if (!dirs.count(DirName(p))) return ENOENT;
    files[p].data.append(data);
    return 0;
  }
  int Rename(const std::string& from, const std::string& to) override {
    std::string f = Abs(from), t = Abs(to);
    if (int rc = Check(Op::kRename, f + " -> " + t)) return rc;
    auto it = files.find(f);
    if (it == files.end()) return ENOENT;
    if (int rc = CanCreate(t)) return rc;
    File moved = std::move(it->second);
    files.erase(it);
    files[t] = std::move(moved);
    dir_mtime[DirName(f)] = dir_mtime[DirName(t)] = now_ns;
    return 0;
  }
  int Copy(const std::string& from, const std::string& to, bool sync) override {
    std::string f = Abs(from), t = Abs(to);
    if (int rc = Check(Op::kCopy, f + " -> " + t)) return rc;
    auto it = files.find(f);
    if (it == files.end()) return ENOENT;
    if (int rc = CanCreate(t)) return rc;
    Store(t, File{it->second.data, it->second.mtime_ns, sync});
    return 0;
  }
  int Remove(const std::string& path) override {
    std::string p = Abs(path);
    if (int rc = Check(Op::kRemove, p)) return rc;
    return files.erase(p) ? 0 : ENOENT;
  }
  int MakeDir(const std::string& path) override {
    std::string p = Abs(path);
    if (!dirs.count(DirName(p))) return ENOENT;
    if (dirs.insert(p).second) dir_mtime[p] = now_ns;
    return 0;
  }
  int RemoveDir(const std::string& path) override {
    std::string p = Abs(path);
    for (const auto& [file, data] : files)
      if (DirName(file) == p) return ENOTEMPTY;
    return dirs.erase(p) ? 0 : ENOENT;
  }
  int Touch(const std::string& path) override {
    std::string p = Abs(path);
    if (!dirs.count(p) && !files.count(p)) return ENOENT;
    (dirs.count(p) ? dir_mtime[p] : files[p].mtime_ns) = now_ns;
    return 0;
  }
  bool Exists(const std::string& path) override {
    std::string p = Abs(path);
    return files.count(p) || dirs.count(p);
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    return Exists(a) && Abs(a) == Abs(b);
  }
  int SetCurrentDir(const std::string& dir) override {
    std::string d = Abs(dir);
    if (int rc = Check(Op::kChdir, d)) return rc;
    if (!dirs.count(d)) return ENOENT;
    cwd = d;
    return 0;
  }

  /// An absolute, normalised form of `path` ("a//b/./c" and "a/b/" read as "a/b/c" and "a/b").
  std::string Abs(const std::string& path) const {
    std::string full = !path.empty() && path[0] == '/' ? path : cwd + "/" + path;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= full.size()) {
      size_t slash = full.find('/', start);
      if (slash == std::string::npos) slash = full.size();
      std::string part = full.substr(start, slash - start);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = slash + 1;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
  }

 private:
  static FileInfo InfoOf(const File& f) {
    return {FileInfo::Kind::kFile, f.mtime_ns, std::ssize(f.data), 1, f.inode};
  }
  // A new file gets an inode of its own; a renamed one keeps its own.
  void Store(const std::string& path, File file) {
    if (file.inode == 0) file.inode = ++last_inode_;
    files[path] = std::move(file);
  }

  class Input final : public InputFile {
   public:
    Input(std::string data, size_t piece, FileInfo info)
        : data_(std::move(data)), piece_(piece), info_(info) {}
    long Read(char* buffer, size_t size) override {
      size_t n = std::min({size, piece_, data_.size() - pos_});
      data_.copy(buffer, n, pos_);
      pos_ += n;
      return static_cast<long>(n);
    }
    std::uint64_t Size() const override { return data_.size(); }
    FileInfo Info() const override { return info_; }

   private:
    std::string data_;
    size_t piece_;
    size_t pos_ = 0;
    FileInfo info_;
  };
  // In memory; each Append is a kWrite on DIR/<scratch>, which a test can fail.
  class Scratch final : public ScratchFile {
   public:
    Scratch(FakeFileSystem* fs, std::string name) : fs_(fs), name_(std::move(name)) {}
    int Append(std::string_view data) override {
      if (int rc = fs_->Check(Op::kWrite, name_)) return rc;
      data_.append(data);
      return 0;
    }
    long ReadAt(std::uint64_t offset, char* buffer, size_t size) override {
      if (offset >= data_.size()) return 0;
      return static_cast<long>(data_.copy(buffer, size, offset));
    }

   private:
    FakeFileSystem* fs_;
    std::string name_;
    std::string data_;
  };
  // Holds the text until Commit, which puts it in place as a rename would.
  class Output final : public OutputFile {
   public:
    Output(FakeFileSystem* fs, std::string path, bool sync)
        : fs_(fs), path_(std::move(path)), sync_(sync) {}
    int Write(std::string_view data) override {
      if (int rc = fs_->Check(Op::kWrite, path_)) return rc;
      data_.append(data);
      return 0;
    }
    int Commit() override {
      if (int rc = fs_->Check(Op::kCommit, path_)) return rc;
      fs_->Store(path_, File{std::move(data_), 0, sync_});
      return 0;
    }

   private:
    FakeFileSystem* fs_;
    std::string path_;
    bool sync_;
    std::string data_;
  };

  struct Failure {
    Op op;
    std::string path_part;
    int error;
    int nth;       // 0: every call
    int seen = 0;  // calls that matched so far
  };
  // A file can be created where its folder exists and no folder has its name.
  int CanCreate(const std::string& p) const {
    return !dirs.count(DirName(p)) ? ENOENT : dirs.count(p) ? EISDIR : 0;
  }
  int Check(Op op, const std::string& what) {
    if (before_call) before_call(op, what);
    for (auto& f : failures_)
      if (f.op == op && what.find(f.path_part) != std::string::npos &&
          (f.nth == 0 || ++f.seen == f.nth))
        return f.error;
    return 0;
  }
  std::vector<Failure> failures_;
  std::uint64_t last_inode_ = 0;
};

}  // namespace capsel
