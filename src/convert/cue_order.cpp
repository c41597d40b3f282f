#include "convert/cue_order.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace capsel {
namespace {

constexpr size_t kSpillPiece = 1 << 16;

template <typename Cue>
bool Earlier(const Cue& a, const Cue& b) {
  return a.begin_ms != b.begin_ms ? a.begin_ms < b.begin_ms : a.order < b.order;
}

// A cue in a run: five numbers and the text's length, then the text.
struct RecordHead {
  std::int64_t begin_ms, end_ms, order;
  std::int32_t group, height;
  std::uint64_t length;
};

// What is left of one run in the scratch file, read through a buffer of its own.
class RunReader {
 public:
  RunReader(ScratchFile& file, std::uint64_t offset, std::uint64_t length, size_t buffer)
      : file_(file), next_(offset), end_(offset + length), buffer_size_(buffer) {}

  // The next cue, into `cue` (whose text keeps its memory); false at the end of the run.
  // `error` gets the errno of a failed read.
  bool Next(OrderedCue* cue, int* error) {
    RecordHead head;
    if (!Take(reinterpret_cast<char*>(&head), sizeof head, error)) return false;
    cue->begin_ms = head.begin_ms, cue->end_ms = head.end_ms, cue->order = head.order;
    cue->group = head.group, cue->height = head.height;
    cue->text.resize(head.length);
    return Take(cue->text.data(), head.length, error);
  }

 private:
  bool Take(char* out, size_t n, int* error) {
    while (n > 0) {
      if (pos_ == buffer_.size()) {
        if (next_ >= end_) return false;
        buffer_.resize(static_cast<size_t>(std::min<std::uint64_t>(buffer_size_, end_ - next_)));
        long got = file_.ReadAt(next_, buffer_.data(), buffer_.size());
        if (got <= 0) {
          *error = got < 0 ? static_cast<int>(-got) : EIO;
          return false;
        }
        buffer_.resize(static_cast<size_t>(got));
        next_ += static_cast<std::uint64_t>(got);
        pos_ = 0;
      }
      size_t part = std::min(n, buffer_.size() - pos_);
      std::memcpy(out, buffer_.data() + pos_, part);
      pos_ += part, out += part, n -= part;
    }
    return true;
  }

  ScratchFile& file_;
  std::uint64_t next_, end_;
  size_t buffer_size_;
  std::string buffer_;
  size_t pos_ = 0;
};

}  // namespace

CueOrder::CueOrder(std::function<int(std::unique_ptr<ScratchFile>*)> make_scratch,
                   size_t window_bytes)
    : make_scratch_(std::move(make_scratch)), window_bytes_(window_bytes) {}

int CueOrder::Add(const OrderedCue& cue) {
  if (error_ != 0) return error_;
  window_.push_back(
      {cue.begin_ms, cue.end_ms, cue.order, cue.group, cue.height, texts_.size(), cue.text.size()});
  texts_ += cue.text;
  if (texts_.size() + window_.size() * sizeof(Slot) > window_bytes_) error_ = Spill();
  return error_;
}

// Writes the window, sorted, as one run at the end of the scratch file.
int CueOrder::Spill() {
  if (scratch_ == nullptr) {
    if (!make_scratch_) return ENOSPC;  // nowhere to put what does not fit
    if (int rc = make_scratch_(&scratch_)) return rc;
  }
  // Most documents come in order, and then so does the window.
  if (!std::is_sorted(window_.begin(), window_.end(), Earlier<Slot>))
    std::sort(window_.begin(), window_.end(), Earlier<Slot>);
  // Written in pieces, so a spill never needs a second copy of the window.
  std::string bytes;
  std::uint64_t length = 0;
  for (size_t i = 0; i < window_.size(); ++i) {
    const Slot& c = window_[i];
    const RecordHead head{c.begin_ms, c.end_ms, c.order, c.group, c.height, c.length};
    bytes.append(reinterpret_cast<const char*>(&head), sizeof head);
    bytes.append(texts_, c.offset, c.length);
    if (bytes.size() < kSpillPiece && i + 1 < window_.size()) continue;
    if (int rc = scratch_->Append(bytes)) return rc;
    length += bytes.size();
    bytes.clear();
  }
  runs_.emplace_back(scratch_size_, length);
  scratch_size_ += length;
  window_.clear();
  texts_.clear();
  return 0;
}

int CueOrder::Drain(const std::function<void(OrderedCue&&)>& take) {
  if (error_ != 0) return error_;
  if (runs_.empty()) {
    std::sort(window_.begin(), window_.end(), Earlier<Slot>);
    OrderedCue cue;
    for (const Slot& c : window_) {
      cue.begin_ms = c.begin_ms, cue.end_ms = c.end_ms, cue.order = c.order;
      cue.group = c.group, cue.height = c.height;
      cue.text.assign(texts_, c.offset, c.length);
      take(std::move(cue));
    }
    window_.clear();
    texts_.clear();
    return 0;
  }
  if (!window_.empty())
    if (int rc = Spill()) return error_ = rc;
  // The runs share the window's memory as read buffers, at least a few kB each.
  const size_t buffer = std::max<size_t>(4096, window_bytes_ / runs_.size());
  std::vector<RunReader> readers;
  for (const auto& [offset, length] : runs_)
    readers.emplace_back(*scratch_, offset, length, buffer);
  // The head of each run, and a heap of the runs by their heads, earliest on top: the heap
  // moves numbers, never cues.
  std::vector<OrderedCue> heads(readers.size());
  std::vector<size_t> heap;
  auto later = [&heads](size_t a, size_t b) { return Earlier<OrderedCue>(heads[b], heads[a]); };
  int error = 0;
  for (size_t i = 0; i < readers.size(); ++i)
    if (readers[i].Next(&heads[i], &error)) heap.push_back(i);
  std::make_heap(heap.begin(), heap.end(), later);
  OrderedCue next;
  while (!heap.empty() && error == 0) {
    std::pop_heap(heap.begin(), heap.end(), later);
    const size_t run = heap.back();
    std::swap(next, heads[run]);  // the run reads its next cue into what was taken before
    if (readers[run].Next(&heads[run], &error))
      std::push_heap(heap.begin(), heap.end(), later);
    else
      heap.pop_back();
    take(std::move(next));
  }
  runs_.clear();
  return error_ = error;
}

void EntryMaker::Add(OrderedCue&& cue) {
  switch (mode_) {
    case Overlaps::kKeep:
      take_(std::move(cue));
      return;
    case Overlaps::kMerge:
      if (!same_begin_.empty() && same_begin_.front().begin_ms != cue.begin_ms) FlushSameBegin();
      same_begin_.push_back(std::move(cue));
      return;
    case Overlaps::kSplit: {
      AdvanceTo(cue.begin_ms);
      std::vector<OrderedCue>& shown = GroupOf(cue.group).shown;
      auto at = std::upper_bound(shown.begin(), shown.end(), cue, [](const auto& a, const auto& b) {
        return a.height != b.height ? a.height < b.height : a.order < b.order;
      });
      shown.insert(at, std::move(cue));
      return;
    }
  }
}

// Merge: the cues of one begin, as entries of equal end and group, each in the order of its
// first cue; lines of lower height first.
void EntryMaker::FlushSameBegin() {
  std::vector<bool> used(same_begin_.size());
  for (size_t i = 0; i < same_begin_.size(); ++i) {
    if (used[i]) continue;
    std::vector<OrderedCue*> parts;
    for (size_t j = i; j < same_begin_.size(); ++j) {
      if (used[j] || same_begin_[j].end_ms != same_begin_[i].end_ms ||
          same_begin_[j].group != same_begin_[i].group)
        continue;
      used[j] = true;
      parts.push_back(&same_begin_[j]);
    }
    std::stable_sort(parts.begin(), parts.end(), [](const OrderedCue* a, const OrderedCue* b) {
      return a->height < b->height;
    });
    OrderedCue entry = std::move(*parts[0]);
    for (size_t k = 1; k < parts.size(); ++k) entry.text += parts[k]->text;
    take_(std::move(entry));
  }
  same_begin_.clear();
}

EntryMaker::Group& EntryMaker::GroupOf(int id) {
  for (auto& [group, g] : groups_)
    if (group == id) return g;
  return groups_.emplace_back(id, Group()).second;
}

// Split: every stretch up to `t` in which the shown cues stay the same.
void EntryMaker::AdvanceTo(long long t) {
  for (;;) {
    long long next = t;
    bool any = false;
    for (auto& [id, g] : groups_)
      for (const OrderedCue& c : g.shown) next = std::min(next, c.end_ms), any = true;
    if (!any) break;
    if (next > now_) {
      for (auto& [id, g] : groups_) {
        if (g.shown.empty()) continue;
        std::string text;
        if (g.shown.size() == 1 && g.shown[0].end_ms == next)
          text = std::move(g.shown[0].text);  // it ends here and is dropped below
        else
          for (const OrderedCue& c : g.shown) text += c.text;
        Extend(g, id, now_, next, std::move(text));
      }
      now_ = next;
    }
    for (auto& [id, g] : groups_)
      std::erase_if(g.shown, [this](const OrderedCue& c) { return c.end_ms <= now_; });
    if (next == t) break;
  }
  now_ = std::max(now_, t);
  // An entry that ended before now can grow no more.
  for (auto& [id, g] : groups_)
    if (g.making && g.entry.end_ms < now_) Finalise(g);
  Release(false);
}

void EntryMaker::Extend(Group& g, int group, long long begin, long long end, std::string text) {
  if (g.making && g.entry.end_ms == begin && g.entry.text == text) {
    g.entry.end_ms = end;  // the text stays the same: one entry
    return;
  }
  if (g.making) Finalise(g);
  g.entry = OrderedCue{begin, end, sequence_++, group, 0, std::move(text)};
  g.making = true;
}

void EntryMaker::Finalise(Group& g) {
  g.making = false;
  // With one place, entries are finished in the order they begin: nothing need wait.
  if (groups_.size() == 1 && done_.empty())
    take_(std::move(g.entry));
  else
    done_.push(std::move(g.entry));
}

// Hands on the finished entries that no entry still being made can come before.
void EntryMaker::Release(bool all) {
  long long first_open = std::numeric_limits<long long>::max();
  if (!all)
    for (const auto& [id, g] : groups_)
      if (g.making) first_open = std::min(first_open, g.entry.begin_ms);
  while (!done_.empty() && done_.top().begin_ms <= first_open) {
    OrderedCue entry = std::move(const_cast<OrderedCue&>(done_.top()));
    done_.pop();
    take_(std::move(entry));
  }
}

void EntryMaker::Finish() {
  if (mode_ == Overlaps::kMerge && !same_begin_.empty()) FlushSameBegin();
  if (mode_ != Overlaps::kSplit) return;
  AdvanceTo(std::numeric_limits<long long>::max());
  for (auto& [id, g] : groups_)
    if (g.making) Finalise(g);
  Release(true);
}

}  // namespace capsel
