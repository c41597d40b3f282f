#pragma once

// Reading EBU-TT (TTML) documents: libxml2's push parser, set up so that nothing outside the
// document is ever loaded, feeding the reader's state machine.

#include <cstdint>
#include <memory>
#include <string_view>

#include "convert/reading.h"

namespace capsel {

/// Reads one document that arrives in pieces through libxml2's push parser, whose events a
/// TtmlMachine turns into cues; they reach the sink as soon as they are complete. It selects every
/// `p` under `tt/body` whose ancestors below `body` are all `div`s, and times it as TTML does.
/// Documents in the draft namespaces of older DFXP tools (2006/10 and 2006/04 "ttaf1") are read as
/// if they were TTML. No external entity, DTD or network is ever loaded; entity expansion and
/// nesting are bounded.
class LibxmlReader {
 public:
  /// `size_hint` is the document's size, which bounds the text its entities may expand to.
  LibxmlReader(const ReadOptions& options, CueSink& sink, uint64_t size_hint);
  ~LibxmlReader();
  LibxmlReader(const LibxmlReader&) = delete;
  LibxmlReader& operator=(const LibxmlReader&) = delete;

  /// Reads the next piece. False once the document is known to be unreadable: feed no more.
  bool Feed(std::string_view piece);
  /// Ends the document and tells what it gave. Cues held back are handed over first.
  ReadReport Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Reads a whole document from memory.
ReadReport ReadEbuTt(std::string_view bytes, const ReadOptions& options, CueSink& sink);

}  // namespace capsel
