#pragma once

// What reading a document takes and gives, shared by the reader and its users.

#include <string>

#include "convert/paragraph_lines.h"
#include "convert/ttml_style.h"

namespace capsel {

inline constexpr char kTtmlNamespace[] = "http://www.w3.org/ns/ttml";
inline constexpr char kEbuttMetadataNamespace[] = "urn:ebu:tt:metadata";

/// Choices that change what a document gives; both are off by default.
struct ReadOptions {
  /// Subtract the document's ebuttm:documentStartOfProgramme from every time.
  bool subtract_start_of_programme = false;
  /// Keep the runs of style (colour, bold, italic, underline) in the cues' lines.
  bool style_tags = false;
};

/// Receives the cues of a document in the order they are to be written.
class CueSink {
 public:
  virtual ~CueSink() = default;
  /// One cue: seconds from the start, and its lines (styles refer to `styles`).
  virtual void OnCue(Interval time, const CueLines& lines, const StyleTable& styles) = 0;
  /// A cue whose lines the reader writes itself, as plain text without styles: the sink
  /// writes what comes before the lines and gives the text to append them to, each line ended
  /// by CR LF, then EndPlainCue finishes the cue. Null: the sink takes its cues by OnCue.
  virtual std::string* BeginPlainCue(Interval /*time*/) { return nullptr; }
  virtual void EndPlainCue() {}
};

/// What reading a document gave, besides its cues.
struct ReadReport {
  bool loaded = false;             // false: not well-formed XML, or refused (see error)
  std::string error;               // the parser's reason, for the log
  int line = 0, column = 0;        // where the parser stopped, when it knows
  int paragraphs = 0;              // paragraphs found
  int never_shown = 0;             // paragraphs that give no cue
  int file_errors = 0;             // times that are there but do not read, and ends left open
  bool external_entities = false;  // text refers to an external entity, never loaded
};

}  // namespace capsel
