#pragma once

#include <cstdint>
#include <string>

namespace capsel::bench {

enum class Profile {
  kEbuTtD,      // EBU-TT-D: media time base, HH:MM:SS.mmm
  kEbuTtSmpte,  // EBU-TT Part 1: smpte time base at 25 fps, HH:MM:SS:FF from 10:00:00:00
};

/// A realistic document of `cues` subtitles, each two spans parted by a br, with German text
/// and accents. The same variant number gives the same bytes.
std::string GenerateDocument(Profile profile, int cues, std::uint64_t variant);

}  // namespace capsel::bench
