#pragma once

// When TTML content is active: the intervals of body, div, p and span as TTML's timing model
// (after SMIL) computes them, in the form a reader that sees each element once, from its
// start tag to its end tag, can use.

#include <limits>
#include <optional>

namespace capsel {

/// The end of what nothing ends.
inline constexpr double kIndefinite = std::numeric_limits<double>::infinity();

/// A stretch of time in seconds: [begin, end). Empty when end is not after begin.
struct Interval {
  double begin = 0;
  double end = kIndefinite;
  bool Empty() const { return !(end > begin); }
  bool operator==(const Interval&) const = default;
};

/// The timing attributes of an element, each as far as it could be read.
struct TimingAttributes {
  std::optional<double> begin, end, dur;
  bool seq = false;  // timeContainer="seq"
};

/// A timed element while it is open: its interval, and what its children did so far.
struct TimedElement {
  Interval interval;
  bool seq = false;
  /// The end comes from its own end or dur, or from a parallel parent; otherwise it is
  /// implicit and known only once the element closes (until then `interval.end` is
  /// indefinite, which cuts none of its children).
  bool end_known = true;
  double cursor = 0;  // seq: where the next child begins (the end of the previous one)
  double latest_child_end = -kIndefinite;  // par: the latest end of a child so far
};

/// The document's root: the whole time line.
TimedElement RootElement();

/// Opens a child of `parent`. In a parallel parent its times count from the parent's begin
/// and, without end or dur, it ends with the parent; in a sequential parent they count from
/// the end of the previous sibling and, without end or dur, its end is implicit. Its
/// interval is always cut to the parent's.
TimedElement OpenChild(const TimedElement& parent, const TimingAttributes& own);

/// Closes `child` and tells its parent: an implicit end becomes known here (a parallel
/// element ends with its latest child, a sequential one with its last). Returns the child's
/// final interval.
Interval CloseChild(TimedElement& parent, TimedElement& child);

/// Text directly in `parent`, as TTML's anonymous spans: visible for the parent's whole
/// interval in a parallel parent, never (zero duration) in a sequential one. Text that is
/// only blanks does not make its parent's duration indefinite.
Interval AnonymousText(TimedElement& parent, bool blank);

}  // namespace capsel
