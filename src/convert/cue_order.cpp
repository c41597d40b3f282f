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

// A cue in a run: begin (the difference from the cue before it in the run), duration, order
// (the difference again), group, height and the text's length, each a variable-length number,
// then the text. A sorted run's differences are small: most heads take eight bytes, not forty.
constexpr size_t kMaxHead = 6 * 10;  // six numbers of at most ten bytes

char* PutNumber(char* out, std::int64_t n) {
  std::uint64_t z = (static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63);
  for (; z >= 0x80; z >>= 7) *out++ = static_cast<char>(z | 0x80);
  *out++ = static_cast<char>(z);
  return out;
}

// Reads a number PutNumber wrote from `p`, which holds `left` bytes; null when they end first.
const unsigned char* GetNumber(const unsigned char* p, size_t left, std::int64_t* n) {
  std::uint64_t z = 0;
  for (int shift = 0; left > 0 && shift < 64; shift += 7, --left) {
    const unsigned char byte = *p++;
    z |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) {
      *n = static_cast<std::int64_t>(z >> 1) ^ -static_cast<std::int64_t>(z & 1);
      return p;
    }
  }
  return nullptr;
}

// What is left of one run in the scratch file, read through a buffer of its own.
class RunReader {
 public:
  RunReader(ScratchFile& file, std::uint64_t offset, std::uint64_t length, size_t buffer)
      : file_(file), next_(offset), end_(offset + length), buffer_size_(buffer) {}

  // The next cue, into `cue` (whose text keeps its memory); false at the end of the run.
  // `error` gets the errno of a failed read.
  bool Next(OrderedCue* cue, int* error) {
    // The head whole in the buffer, which it nearly always is; else read again with it first.
    if (buffer_.size() - pos_ < kMaxHead && !Refill(error)) {
      if (*error != 0 || pos_ == buffer_.size()) return false;
    }
    std::int64_t n[6];
    const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data()) + pos_;
    const auto* end = reinterpret_cast<const unsigned char*>(buffer_.data()) + buffer_.size();
    for (std::int64_t& number : n)
      if ((p = GetNumber(p, static_cast<size_t>(end - p), &number)) == nullptr)
        return Truncated(error);
    pos_ = static_cast<size_t>(p - reinterpret_cast<const unsigned char*>(buffer_.data()));
    cue->begin_ms = begin_ += n[0], cue->end_ms = begin_ + n[1];
    cue->order = order_ += n[2];
    cue->group = static_cast<int>(n[3]), cue->height = static_cast<int>(n[4]);
    cue->text.resize(static_cast<size_t>(n[5]));
    return Take(cue->text.data(), cue->text.size(), error) || Truncated(error);
  }

 private:
  // A run that ends within a cue was cut short: the scratch file lost part of it.
  static bool Truncated(int* error) {
    if (*error == 0) *error = EIO;
    return false;
  }
  // Reads on, keeping what is left unread at the front of the buffer; false at the end of the
  // run or on an error.
  bool Refill(int* error) {
    if (next_ >= end_) return false;
    const size_t kept = buffer_.size() - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(buffer_size_, end_ - next_));
    buffer_.resize(kept + want);
    long got = file_.ReadAt(next_, buffer_.data() + kept, want);
    if (got <= 0) {
      *error = got < 0 ? static_cast<int>(-got) : EIO;
      return false;
    }
    buffer_.resize(kept + static_cast<size_t>(got));
    next_ += static_cast<std::uint64_t>(got);
    pos_ = 0;
    return true;
  }
  bool Take(char* out, size_t n, int* error) {
    while (n > 0) {
      if (pos_ == buffer_.size() && !Refill(error)) return false;
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
  std::int64_t begin_ = 0, order_ = 0;  // of the cue read last
};

}  // namespace

CueOrder::CueOrder(std::function<int(std::unique_ptr<ScratchFile>*)> make_scratch,
                   size_t window_bytes)
    : make_scratch_(std::move(make_scratch)), window_bytes_(window_bytes) {}

int CueOrder::Add(long long begin_ms, long long end_ms, long long order, int group, int height) {
  if (error_ != 0) return error_;
  const size_t offset = window_.empty() ? 0 : window_.back().offset + window_.back().length;
  window_.push_back({begin_ms, end_ms, order, group, height, offset, texts_.size() - offset});
  if (texts_.size() + window_.size() * sizeof(Slot) > window_bytes_) error_ = Spill();
  return error_;
}

// Writes the window, sorted, as one run at the end of the scratch file.
int CueOrder::Spill() {
  if (scratch_ == nullptr) {
    if (!make_scratch_) return ENOSPC;  // nowhere to put what does not fit
    if (int rc = make_scratch_(&scratch_)) return rc;
  }
  SortWindow();
  if (!runs_.empty() && Earlier(window_.front(), last_spilled_)) runs_in_order_ = false;
  last_spilled_ = window_.back();
  // Written in pieces, so a spill never needs a second copy of the window.
  std::string bytes;
  std::uint64_t length = 0;
  long long begin = 0, order = 0;
  for (size_t i = 0; i < window_.size(); ++i) {
    const Slot& c = window_[i];
    char head[kMaxHead];
    char* end = PutNumber(head, c.begin_ms - begin);
    end = PutNumber(end, c.end_ms - c.begin_ms);
    end = PutNumber(end, c.order - order);
    end = PutNumber(end, c.group);
    end = PutNumber(end, c.height);
    end = PutNumber(end, static_cast<std::int64_t>(c.length));
    bytes.append(head, end);
    bytes.append(texts_, c.offset, c.length);
    begin = c.begin_ms, order = c.order;
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

// Most documents come in order, and then so does the window.
void CueOrder::SortWindow() {
  if (!std::is_sorted(window_.begin(), window_.end(), Earlier<Slot>))
    std::sort(window_.begin(), window_.end(), Earlier<Slot>);
}

int CueOrder::Drain(const std::function<void(OrderedCue&&)>& take) {
  if (error_ != 0) return error_;
  SortWindow();
  // A document in order beyond the window: its runs, then the window, one after another.
  if (runs_in_order_ &&
      (runs_.empty() || window_.empty() || !Earlier(window_.front(), last_spilled_))) {
    OrderedCue cue;
    int error = 0;
    for (const auto& [offset, length] : runs_) {
      RunReader reader(*scratch_, offset, length, window_bytes_ / 4);
      while (reader.Next(&cue, &error)) take(std::move(cue));
      if (error != 0) return error_ = error;
    }
    runs_.clear();
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
