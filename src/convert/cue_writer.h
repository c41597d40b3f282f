#pragma once

// Cues into subtitle files: the SRT and WebVTT text of one cue, and a writer that streams
// cues into a file in a code page, in large pieces.

#include <memory>
#include <queue>
#include <string>
#include <vector>

#include "convert/reading.h"
#include "os/file_system.h"

namespace capsel {

enum class CueFormat { kSrt, kVtt };

/// Appends one cue: its number, the timing line ("HH:MM:SS,mmm --> HH:MM:SS,mmm" in SRT, with
/// a full stop in WebVTT), its lines and an empty line, each ended by CR LF. With `styles`,
/// runs of style become tags: SRT's <font color>, <b>, <i>, <u>; WebVTT's <b>, <i>, <u> and its
/// colour classes. WebVTT text has &, < and > escaped.
void AppendCue(CueFormat format, std::string& out, long long number, Interval time,
               const CueLines& lines, const StyleTable* styles);

/// The same without the number line.
void AppendCueBody(CueFormat format, std::string& out, Interval time, const CueLines& lines,
                   const StyleTable* styles);

/// The first line and empty line every WebVTT file begins with.
inline constexpr char kVttHeader[] = "WEBVTT\r\n\r\n";

/// Streams cues into a file: numbered as written, encoded in the code page, written in large
/// pieces, so memory does not grow with the document. Nothing is visible under the file's
/// name until Commit. WebVTT wants its cues in the order they begin: they pass through a
/// window of the latest cues that puts them in that order (cues of one begin stay in the
/// document's order); a document disordered beyond the window is written as it comes.
class CueFileWriter final : public CueSink {
 public:
  /// `file` may be null (it could not be created): the cues are then only counted, and
  /// Commit reports `open_error`.
  CueFileWriter(CueFormat format, int code_page, bool styled, std::unique_ptr<OutputFile> file,
                int open_error);
  void OnCue(Interval time, const CueLines& lines, const StyleTable& styles) override;
  /// An SRT file without styles takes its cues' lines straight into its buffer.
  std::string* BeginPlainCue(Interval time) override;
  void EndPlainCue() override;
  /// Writes what is left and gives the file its name. 0, or the first errno of the writing.
  int Commit();
  /// The cues numbered so far: after a Commit that succeeded, all the file holds.
  long long cues() const { return number_; }

 private:
  void Flush();
  void WriteHeld(size_t keep);

  // A WebVTT cue waiting in the window.
  struct Held {
    long long begin_ms;
    long long order;
    std::string body;
    bool operator>(const Held& other) const {
      return begin_ms != other.begin_ms ? begin_ms > other.begin_ms : order > other.order;
    }
  };
  std::priority_queue<Held, std::vector<Held>, std::greater<Held>> held_;
  size_t held_bytes_ = 0;
  long long received_ = 0;

  CueFormat format_;
  int code_page_;
  bool styled_;
  std::unique_ptr<OutputFile> file_;
  int error_;
  long long number_ = 0;
  std::string text_, encoded_;
};

}  // namespace capsel
