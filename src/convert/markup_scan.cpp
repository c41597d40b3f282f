#include "convert/markup_scan.h"

#include <array>
#include <cstring>

namespace capsel {
namespace {

const char* Find(const char* p, const char* end, char c) {
  return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
}

// The bytes of a start tag the scan stops at: an attribute's `=`, a quote, the tag's end.
constexpr auto kStartTagStop = [] {
  std::array<bool, 256> stop{};
  for (unsigned char c : {'=', '"', '\'', '>'}) stop[c] = true;
  return stop;
}();

}  // namespace

void MarkupScan::Begin(std::string_view first) {
  auto starts = [&](const char* bytes) { return first.starts_with(std::string_view(bytes, 4)); };
  if (first.starts_with("\xFF\xFE") || starts("<\0?\0"))
    utf16_ = 1;
  else if (first.starts_with("\xFE\xFF") || starts("\0<\0?"))
    utf16_ = 2;
}

size_t MarkupScan::Scan(std::string_view piece) {
  if (limit_ != Limit::kNone) return 0;
  return utf16_ != 0 ? ScanUtf16(piece) : ScanBytes(piece.data(), piece.data() + piece.size());
}

// UTF-16 is scanned as its code units, each as the ASCII character it is or as a letter; the
// start tag's length then counts code units.
size_t MarkupScan::ScanUtf16(std::string_view piece) {
  const bool carried = odd_ >= 0;
  size_t i = 0, units_before = 0;
  char units[4096];
  while (i < piece.size()) {
    size_t n = 0;
    while (n < sizeof units && i < piece.size()) {
      const int byte = static_cast<unsigned char>(piece[i++]);
      if (odd_ < 0) {
        odd_ = byte;
        continue;
      }
      const int low = utf16_ == 1 ? odd_ : byte, high = utf16_ == 1 ? byte : odd_;
      odd_ = -1;
      units[n++] = high == 0 && low < 0x80 ? static_cast<char>(low) : 'x';
    }
    const size_t at = ScanBytes(units, units + n);
    if (at != kNotPassed) {
      const size_t unit = units_before + at;  // its last byte is where the limit is passed
      return carried ? 2 * unit : 2 * unit + 1;
    }
    units_before += n;
  }
  return kNotPassed;
}

const char* MarkupScan::SkipTo(const char* p, const char* end, char closer, size_t needed) {
  for (;;) {
    const char* gt = Find(p, end, '>');
    const char* stop = gt ? gt : end;
    const char* q = stop;
    while (q > p && q[-1] == closer) --q;
    run_ = q == p ? run_ + static_cast<size_t>(stop - q) : static_cast<size_t>(stop - q);
    if (gt == nullptr) return end;
    p = gt + 1;
    if (run_ >= needed) {
      state_ = State::kText;
      return p;
    }
    run_ = 0;
  }
}

size_t MarkupScan::ScanBytes(const char* begin, const char* end) {
  const char* p = begin;
  auto passed = [&](Limit limit, const char* at) {
    limit_ = limit;
    return static_cast<size_t>(at - begin);
  };
  while (p < end) {
    switch (state_) {
      case State::kText:
        if (in_subset_) {  // between declarations: blanks and parameter entity references
          while (p < end && *p != '<' && *p != ']') ++p;
          if (p == end) return kNotPassed;
          if (*p == ']') {
            in_subset_ = false;
            state_ = State::kDeclaration;  // the rest of the DOCTYPE
            ++p;
            continue;
          }
        } else if ((p = Find(p, end, '<')) == nullptr) {
          return kNotPassed;
        }
        ++p;
        state_ = State::kOpen;
        break;
      case State::kOpen:
        if (*p == '!') {
          state_ = State::kBang;
        } else if (*p == '?') {
          state_ = State::kPi;
          run_ = 0;
        } else if (*p == '/') {
          state_ = State::kEndTag;
        } else if (in_subset_) {
          state_ = State::kDeclaration;  // not well-formed: the parser stops there
        } else {
          state_ = State::kStartTag;
          tag_length_ = 1;
          attributes_ = 0;
          continue;  // the character is the tag's first
        }
        ++p;
        break;
      case State::kBang:
        if (*p == '-') {
          state_ = State::kCommentOpen;
        } else if (*p == '[' && !in_subset_) {
          state_ = State::kCdata;
          run_ = 0;
        } else {
          state_ = State::kDeclaration;
        }
        ++p;
        break;
      case State::kCommentOpen:  // the second `-` of `<!--`
        state_ = State::kComment;
        run_ = 0;
        ++p;
        break;
      case State::kComment:
        p = SkipTo(p, end, '-', 2);
        break;
      case State::kCdata:
        p = SkipTo(p, end, ']', 2);
        break;
      case State::kPi:
        p = SkipTo(p, end, '?', 1);
        break;
      case State::kEndTag:
        if ((p = Find(p, end, '>')) == nullptr) return kNotPassed;
        ++p;
        state_ = State::kText;
        break;
      case State::kStartTag:
        while (p < end) {
          // The bytes up to the next that matters, and that byte, all count to the length.
          const char* q = p;
          while (q < end && !kStartTagStop[static_cast<unsigned char>(*q)]) ++q;
          const auto n = static_cast<size_t>((q < end ? q + 1 : end) - p);
          if (tag_length_ + n > kMaxStartTag)
            return passed(Limit::kStartTagTooLong, p + (kMaxStartTag - tag_length_));
          tag_length_ += n;
          p = q + (q < end);
          if (q == end) break;
          if (*q == '=') {
            if (++attributes_ > kMaxAttributes) return passed(Limit::kTooManyAttributes, q);
            continue;
          }
          state_ = *q == '>' ? State::kText : State::kQuoted;
          quote_ = *q;
          quoted_from_ = State::kStartTag;
          break;
        }
        break;
      case State::kDeclaration:
        for (; p < end; ++p) {
          const char c = *p;
          if (c == '[' && !in_subset_) {
            in_subset_ = true;
            state_ = State::kText;
          } else if (c == '>' || c == '"' || c == '\'') {
            state_ = c == '>' ? State::kText : State::kQuoted;
            quote_ = c;
            quoted_from_ = State::kDeclaration;
          } else {
            continue;
          }
          ++p;
          break;
        }
        break;
      case State::kQuoted: {
        const char* close = Find(p, end, quote_);
        const char* next = close ? close + 1 : end;
        if (quoted_from_ == State::kStartTag) {
          const auto n = static_cast<size_t>(next - p);
          if (tag_length_ + n > kMaxStartTag)
            return passed(Limit::kStartTagTooLong, p + (kMaxStartTag - tag_length_));
          tag_length_ += n;
        }
        if (close) state_ = quoted_from_;
        p = next;
        break;
      }
    }
  }
  return kNotPassed;
}

}  // namespace capsel
