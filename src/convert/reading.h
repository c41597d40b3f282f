#pragma once

// What reading a document takes and gives, shared by the reader and its users.

#include <cstdint>
#include <string>

#include "convert/paragraph_lines.h"
#include "convert/ttml_layout.h"
#include "convert/ttml_style.h"

namespace capsel {

inline constexpr char kTtmlNamespace[] = "http://www.w3.org/ns/ttml";
inline constexpr char kEbuttMetadataNamespace[] = "urn:ebu:tt:metadata";

/// Choices that change what a document gives; all are off by default.
struct ReadOptions {
  /// Subtract the document's ebuttm:documentStartOfProgramme from every time.
  bool subtract_start_of_programme = false;
  /// A signed time added to every time after that ("-10:00:00:00", "500ms"); its frames count
  /// at the document's frame rate. Empty: none.
  std::string time_offset;
  /// Keep the runs of style (colour, bold, italic, underline) in the cues' lines.
  bool style_tags = false;
  /// Work out where each paragraph stands (otherwise every cue is placed at the bottom centre).
  bool placement = false;
};

/// Receives the cues of a document in the order they are to be written.
class CueSink {
 public:
  virtual ~CueSink() = default;
  /// One cue: seconds from the start, its lines (styles refer to `styles`) and where it stands.
  virtual void OnCue(Interval time, const CueLines& lines, const StyleTable& styles,
                     const Placement& place) = 0;
};

/// The limits that keep reading a document cheap in time and memory; a document that passes
/// one is refused, whatever else it holds. The log line for each names the document.
enum class Refusal : uint8_t {
  kNone,
  kStartTagTooLong,    // a start tag longer than 64 kB
  kTooManyAttributes,  // an element with more than 1000 attributes
  kTooManyNamespaces,  // an element with more than 256 namespace declarations in scope
  kTooManyDefaults,    // a DOCTYPE that gives more than 50 attributes a default value
  kSubtitleTooLarge,   // a paragraph with more than 1 MB of text
};

/// What reading a document gave, besides its cues.
struct ReadReport {
  bool loaded = false;               // false: not well-formed XML, or refused (see error)
  Refusal refusal = Refusal::kNone;  // a limit passed; then error is empty
  std::string error;                 // the parser's reason, for the log
  int line = 0, column = 0;          // where the parser stopped, when it knows
  int paragraphs = 0;                // paragraphs found
  int never_shown = 0;               // paragraphs that give no cue
  int file_errors = 0;               // times that are there but do not read, and ends left open
  bool external_entities = false;    // text refers to an external entity, never loaded
  bool no_programme_start = false;   // asked to subtract it, but the document gives none usable
};

}  // namespace capsel
