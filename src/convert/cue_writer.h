#pragma once

// Cues into subtitle files: the SRT and WebVTT text of one cue, and a writer that streams
// cues into a file in a code page, in large pieces.

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "convert/cue_order.h"
#include "convert/reading.h"
#include "os/file_system.h"

namespace capsel {

enum class CueFormat { kSrt, kVtt };

/// Appends one cue: its number, the timing line ("HH:MM:SS,mmm --> HH:MM:SS,mmm" in SRT, with
/// a full stop in WebVTT), its lines and an empty line, each ended by CR LF. With `styles`,
/// runs of style become tags: SRT's <font color>, <b>, <i>, <u>; WebVTT's <b>, <i>, <u> and its
/// colour classes. WebVTT text has &, < and > escaped; in SRT, a text line that readers would
/// take for a timing line (a time, "-->", a time) has its arrow written "-- >".
void AppendCue(CueFormat format, std::string& out, long long number, Interval time,
               const CueLines& lines, const StyleTable* styles);

/// The same without the number line.
void AppendCueBody(CueFormat format, std::string& out, Interval time, const CueLines& lines,
                   const StyleTable* styles);

/// The same without the timing line and the empty line: the text lines alone.
void AppendCueLines(CueFormat format, std::string& out, const CueLines& lines,
                    const StyleTable* styles);

/// Appends where a cue stands, as `tags` says (0: nowhere, 1: the top only, 2: every anchor):
/// SRT's tag {\anN} (N as the numeric keypad places it), or WebVTT's cue settings, each led
/// by a space: line for top and middle, align with the area's position and size for left and
/// right. Nothing for bottom centre, where players put a cue anyway.
void AppendPlacement(CueFormat format, int tags, const Placement& place, std::string& out);

/// The first line and empty line every WebVTT file begins with.
inline constexpr char kVttHeader[] = "WEBVTT\r\n\r\n";

/// Streams cues into a file: numbered as written, encoded in the code page, written in large
/// pieces, so memory does not grow with the document. Nothing is visible under the file's
/// name until Commit. An SRT file whose overlaps are kept takes its cues in the document's
/// order, as they come. Otherwise (WebVTT wants its cues in the order they begin) cues are
/// put in that order (cues of one begin in the document's order) in bounded memory, through
/// a scratch file for a document disordered beyond the window, made into entries as
/// `overlaps` says, and written at Commit. `position_tags` says which places are written
/// (see AppendPlacement); cues written in different places never share an entry.
class CueFileWriter final : public CueSink {
 public:
  using MakeScratch = std::function<int(std::unique_ptr<ScratchFile>*)>;
  /// `file` may be null (it could not be created): the cues are then only counted, and
  /// Commit reports `open_error`.
  CueFileWriter(CueFormat format, int code_page, bool styled, std::unique_ptr<OutputFile> file,
                int open_error, Overlaps overlaps = Overlaps::kKeep, MakeScratch scratch = {},
                int position_tags = 0);
  void OnCue(Interval time, const CueLines& lines, const StyleTable& styles,
             const Placement& place) override;
  /// Writes what is left and gives the file its name. 0, or the first errno of the writing.
  int Commit();
  /// The cues numbered so far: after a Commit that succeeded, all the file holds.
  long long cues() const { return number_; }

 private:
  void Flush();
  void WriteEntry(const OrderedCue& entry);
  int PlacementGroup(const Placement& place);
  bool Ordered() const { return format_ == CueFormat::kVtt || overlaps_ != Overlaps::kKeep; }

  Overlaps overlaps_;
  CueOrder order_;
  long long received_ = 0;
  int position_tags_;
  // Each place as written (tag or cue settings) once, numbered as a group; group 0 is none.
  std::vector<std::string> placements_{""};
  std::unordered_map<std::string, int> placement_groups_{{"", 0}};

  CueFormat format_;
  int code_page_;
  bool styled_;
  std::unique_ptr<OutputFile> file_;
  int error_;
  long long number_ = 0;
  std::string text_, encoded_;
};

}  // namespace capsel
