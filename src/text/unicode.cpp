#include "text/unicode.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace capsel {
namespace {

bool IconvKnows(const std::string& name) {
  iconv_t cd = iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string IconvNameForCodePage(int code_page) {
  std::string candidates[4];
  int n = 0;
  if (code_page == kCodePageUtf8) return "UTF-8";
  if (code_page >= 28591 && code_page <= 28599) {
    candidates[n++] = "ISO-8859-" + std::to_string(code_page - 28590);
  } else if (code_page == 28603 || code_page == 28605) {
    candidates[n++] = "ISO-8859-" + std::to_string(code_page - 28590);
  } else if (code_page == 20127) {
    candidates[n++] = "ASCII";
  } else if (code_page == 20866) {
    candidates[n++] = "KOI8-R";
  } else if (code_page == 21866) {
    candidates[n++] = "KOI8-U";
  } else if (code_page == 950) {
    candidates[n++] = "BIG5";
  }
  if (code_page > 0) {
    candidates[n++] = "CP" + std::to_string(code_page);
    candidates[n++] = "WINDOWS-" + std::to_string(code_page);
  }
  for (int i = 0; i < n; ++i)
    if (IconvKnows(candidates[i])) return candidates[i];
  return {};
}

bool EncodeText(std::string_view utf8, int code_page, std::string* bytes, std::string* error) {
  bytes->clear();
  if (code_page == kCodePageUtf8) {
    bytes->assign(utf8);
    return true;
  }
  std::string name = IconvNameForCodePage(code_page);
  if (name.empty()) {
    *error = "code page " + std::to_string(code_page) + " is not known on this system";
    return false;
  }
  iconv_t cd = iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *error = "code page " + std::to_string(code_page) + " is not known on this system";
    return false;
  }
  bytes->reserve(utf8.size());
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char buffer[16384];
  while (in_left > 0) {
    char* out = buffer;
    size_t out_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    bytes->append(buffer, static_cast<size_t>(out - buffer));
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (no such character in the code page, or bad UTF-8) and EINVAL (cut sequence):
    // one "?" for the character, then on with the next one.
    bytes->push_back('?');
    size_t skip = std::min(SequenceLength(static_cast<unsigned char>(*in)), in_left);
    in += skip;
    in_left -= skip;
  }
  char* out = buffer;
  size_t out_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, &out, &out_left);  // flush any shift state
  bytes->append(buffer, static_cast<size_t>(out - buffer));
  iconv_close(cd);
  return true;
}

}  // namespace capsel
