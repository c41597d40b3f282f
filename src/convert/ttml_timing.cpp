#include "convert/ttml_timing.h"

#include <algorithm>

namespace capsel {

TimedElement RootElement() {
  TimedElement root;
  root.interval = {0, kIndefinite};
  root.cursor = 0;
  return root;
}

TimedElement OpenChild(const TimedElement& parent, const TimingAttributes& own) {
  const double sync = parent.seq ? parent.cursor : parent.interval.begin;
  TimedElement child;
  child.seq = own.seq;
  double begin = sync + own.begin.value_or(0);
  double end = kIndefinite;
  bool explicit_end = false;
  if (own.end) {
    end = sync + *own.end;
    explicit_end = true;
  }
  if (own.dur) {
    end = std::min(end, begin + *own.dur);
    explicit_end = true;
  }
  if (!explicit_end && !parent.seq) end = parent.interval.end;
  child.end_known = explicit_end || !parent.seq;
  child.interval = {begin, std::min(end, parent.interval.end)};
  child.cursor = begin;
  return child;
}

Interval CloseChild(TimedElement& parent, TimedElement& child) {
  if (!child.end_known) {
    double implicit =
        child.seq ? child.cursor : std::max(child.latest_child_end, child.interval.begin);
    child.interval.end = std::min(implicit, parent.interval.end);
    child.end_known = true;
  }
  if (parent.seq)
    parent.cursor = child.interval.end;
  else
    parent.latest_child_end = std::max(parent.latest_child_end, child.interval.end);
  return child.interval;
}

Interval AnonymousText(TimedElement& parent, bool blank) {
  if (parent.seq) return {parent.cursor, parent.cursor};
  if (!blank) parent.latest_child_end = kIndefinite;
  return parent.interval;
}

}  // namespace capsel
