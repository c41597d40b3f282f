#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capsel {

inline constexpr char kTtmlNamespace[] = "http://www.w3.org/ns/ttml";
inline constexpr char kEbuttMetadataNamespace[] = "urn:ebu:tt:metadata";

/// Choices that change what a document gives; both are off by default.
struct ReadOptions {
  /// Subtract the document's ebuttm:documentStartOfProgramme from every time.
  bool subtract_start_of_programme = false;
  /// Wrap text in the SRT tags <font color>, <b>, <i> and <u> from its computed style.
  bool style_tags = false;
};

/// One subtitle: a paragraph of the document.
struct Paragraph {
  /// Seconds from the start of the document, with the begin times of the enclosing body and
  /// divs added; empty where the paragraph gives no readable time.
  std::optional<double> begin, end;
  /// The text lines, white space handled, empty lines left out.
  std::vector<std::string> lines;
};

/// What reading a document gave.
struct ReadResult {
  bool loaded = false;  // false: not well-formed XML, or refused (see error)
  std::string error;
  std::vector<Paragraph> paragraphs;  // in document order
};

/// Reads an EBU-TT (TTML) document from memory. It selects every `p` under `tt/body` whose
/// ancestors below `body` are all `div`s. Documents in the draft namespaces of older DFXP
/// tools (2006/10 and 2006/04 "ttaf1") are read as if they were TTML. Nothing outside the document is ever loaded: no
/// external entity, no DTD, no network. Entity expansion is bounded.
///
/// Text: a paragraph whose content is spans only gives one line per span, broken further
/// at each `br` inside a span; a paragraph with text of its own gives its whole text,
/// broken at each `br`. Blanks collapse as in TTML's default white-space handling.
ReadResult ReadEbuTt(std::string_view bytes, const ReadOptions& options = {});

/// An RGB colour (0xRRGGBB) from a TTML colour: #rrggbb, #rrggbbaa, rgb(), rgba() or a
/// named colour; the alpha is dropped. Empty for what is no colour, and for "transparent".
std::optional<unsigned> ParseTtmlColor(std::string_view text);

}  // namespace capsel
