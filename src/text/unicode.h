#pragma once

// modUnicode: text into the bytes of a code page, and into a file that replaces an older one.

#include <string>
#include <string_view>

#include "os/file_system.h"

namespace capsel {

/// Windows code-page numbers, as the settings name them.
inline constexpr int kCodePageUtf8 = 65001;

/// iconv's name for a Windows code-page number, or empty text when iconv knows none.
std::string IconvNameForCodePage(int code_page);

/// Encodes UTF-8 text in the code page. A character the code page cannot hold becomes "?".
/// No byte-order mark and nothing else is added. False, with `error` set, when the code page
/// is unknown here.
bool EncodeText(std::string_view utf8, int code_page, std::string* bytes, std::string* error);

/// How a write ended.
struct WriteResult {
  enum class Status { kOk, kUnknownCodePage, kFileError };
  Status status = Status::kOk;
  int error = 0;        // errno for kFileError
  std::string message;  // what went wrong, for the log
  bool ok() const { return status == Status::kOk; }
};

/// Writes the text, encoded in the code page, to `path`. The bytes go to a temporary file
/// that is renamed over `path`, so `path` never holds a partial text; on failure nothing is
/// left under either name. With `durable` the file is on disk before the call returns.
/// An empty text gives an empty file.
WriteResult WriteTextFile(FileSystem& fs, const std::string& path, std::string_view text,
                          int code_page, bool durable);

}  // namespace capsel
