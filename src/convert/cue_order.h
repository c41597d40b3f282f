#pragma once

// Entries in the order they begin, for any document in bounded memory: cues are sorted in a
// window, which spills sorted runs to a scratch file when it is full, and the runs are merged
// at the end (an external merge sort). On that ordered stream, cues shown together are kept,
// merged or split into entries that do not overlap.

#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "os/file_system.h"

namespace capsel {

/// One cue on its way to the file: its times in milliseconds, where it stands and its text
/// lines as the file will have them, each ended by CR LF.
struct OrderedCue {
  long long begin_ms = 0, end_ms = 0;
  long long order = 0;  // its place in the document
  int group = 0;        // cues of different groups never share an entry
  int height = 0;       // lines of a lower height come first in a shared entry
  std::string text;
};

/// Puts cues in the order they begin (ties in the order they came) in bounded memory.
class CueOrder {
 public:
  /// Runs that do not fit in `window_bytes` go to a scratch file made by `make_scratch`
  /// when the first one does.
  CueOrder(std::function<int(std::unique_ptr<ScratchFile>*)> make_scratch, size_t window_bytes);
  /// Where the next cue's text goes: the caller appends it, then calls Add.
  std::string& NextText() { return texts_; }
  /// Takes the next cue, with the text appended to NextText() since the last Add. 0, or the
  /// errno of a spill that failed (then nothing more is taken).
  int Add(long long begin_ms, long long end_ms, long long order, int group, int height);
  /// Hands every cue over in order, then forgets them. 0, or the errno of a failed read.
  int Drain(const std::function<void(OrderedCue&&)>& take);

 private:
  int Spill();
  void SortWindow();

  std::function<int(std::unique_ptr<ScratchFile>*)> make_scratch_;
  size_t window_bytes_;
  // A cue of the window; its text is in `texts_`, so the window holds two blocks of memory,
  // not one for each cue.
  struct Slot {
    long long begin_ms, end_ms, order;
    int group, height;
    size_t offset, length;
  };
  std::vector<Slot> window_;
  std::string texts_;
  std::unique_ptr<ScratchFile> scratch_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> runs_;  // offset and length of each run
  std::uint64_t scratch_size_ = 0;
  // Whether each run begins where the one before it ended, and the last cue spilled.
  bool runs_in_order_ = true;
  Slot last_spilled_{};
  int error_ = 0;
};

/// How cues shown at the same time become entries.
enum class Overlaps {
  kKeep = 0,   // one entry per cue
  kMerge = 1,  // cues of one group with the same begin and end share one entry
  kSplit = 2,  // the timeline cut at every begin and end: no two entries of a group overlap
};

/// Takes cues in the order they begin and hands entries on in the order they begin.
class EntryMaker {
 public:
  using Take = std::function<void(OrderedCue&&)>;
  EntryMaker(Overlaps mode, Take take) : mode_(mode), take_(std::move(take)) {}
  void Add(OrderedCue&& cue);
  /// Hands on what is still held.
  void Finish();

 private:
  struct Group {
    std::vector<OrderedCue> shown;  // split: the cues shown now, by height and order
    OrderedCue entry;               // the entry being made
    bool making = false;
  };
  void AdvanceTo(long long t);
  void Extend(Group& g, int group, long long begin, long long end, std::string text);
  void Finalise(Group& g);
  void Release(bool all);
  void FlushSameBegin();

  Overlaps mode_;
  Take take_;
  std::vector<OrderedCue> same_begin_;  // merge: the cues that begin at one time
  Group& GroupOf(int id);
  // By id, in the order they first came: a document has a few places at most.
  std::vector<std::pair<int, Group>> groups_;
  long long now_ = 0;
  long long sequence_ = 0;
  struct Later {
    bool operator()(const OrderedCue& a, const OrderedCue& b) const {
      return a.begin_ms != b.begin_ms ? a.begin_ms > b.begin_ms : a.order > b.order;
    }
  };
  std::priority_queue<OrderedCue, std::vector<OrderedCue>, Later> done_;
};

}  // namespace capsel
