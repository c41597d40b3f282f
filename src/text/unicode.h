#pragma once

// modUnicode: text into the bytes of a code page.

#include <string>
#include <string_view>

namespace capsel {

/// Windows code-page numbers, as the settings name them.
inline constexpr int kCodePageUtf8 = 65001;

/// iconv's name for a Windows code-page number, or empty text when iconv knows none.
std::string IconvNameForCodePage(int code_page);

/// Encodes UTF-8 text in the code page. A character the code page cannot hold becomes "?".
/// No byte-order mark and nothing else is added. False, with `error` set, when the code page
/// is unknown here.
bool EncodeText(std::string_view utf8, int code_page, std::string* bytes, std::string* error);

}  // namespace capsel
