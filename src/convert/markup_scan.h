#pragma once

// A cheap look at a document's bytes before the parser gets them: libxml2 checks an element's
// attributes against each other, so the time one start tag costs grows with the square of its
// attributes. The scan finds a start tag too long or with too many attributes before it
// reaches the parser.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace capsel {

/// A start tag longer than this many bytes, from `<` to `>`, is refused.
inline constexpr size_t kMaxStartTag = 64 * 1024;
/// An element with more attributes than this (namespace declarations count) is refused.
inline constexpr int kMaxAttributes = 1000;

/// Follows the markup of a document that arrives in pieces: text, start and end tags with
/// their quoted values, comments, CDATA, processing instructions and the DOCTYPE with its
/// internal subset. Where a piece ends does not change what it finds.
class MarkupScan {
 public:
  enum class Limit : uint8_t { kNone, kStartTagTooLong, kTooManyAttributes };
  static constexpr size_t kNotPassed = static_cast<size_t>(-1);

  /// Takes the document's first bytes (at least four) to tell UTF-16 from ASCII-based
  /// encodings; they are not scanned here.
  void Begin(std::string_view first);
  /// Scans the next piece. The offset in it of the byte that passes a limit (see limit()),
  /// or kNotPassed. Once a limit is passed, the scan stays there.
  size_t Scan(std::string_view piece);
  Limit limit() const { return limit_; }

 private:
  enum class State : uint8_t {
    kText,         // character data, or the internal subset between declarations
    kOpen,         // after `<`
    kBang,         // after `<!`
    kCommentOpen,  // after `<!-`
    kComment,
    kCdata,
    kPi,
    kEndTag,
    kStartTag,
    kDeclaration,  // the DOCTYPE, or a declaration in its internal subset
    kQuoted,       // a quoted value in a start tag or a declaration
  };
  size_t ScanBytes(const char* begin, const char* end);
  size_t ScanUtf16(std::string_view piece);
  // Skips to the end of markup that closes with `needed` times `closer` and `>` (`-->`,
  // `]]>`, `?>`).
  const char* SkipTo(const char* p, const char* end, char closer, size_t needed);

  State state_ = State::kText;
  State quoted_from_ = State::kText;  // where a quoted value returns to
  char quote_ = 0;
  bool in_subset_ = false;
  size_t run_ = 0;         // closer characters right before the position
  size_t tag_length_ = 0;  // of the start tag in hand, so far
  int attributes_ = 0;     // of the start tag in hand, so far
  Limit limit_ = Limit::kNone;
  int utf16_ = 0;  // 0: an encoding based on ASCII; 1: UTF-16 little endian; 2: big endian
  int odd_ = -1;   // a byte of a code unit that the last piece cut in two, or -1
};

}  // namespace capsel
