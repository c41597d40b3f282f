// capsel_generate: writes benchmark documents.
//   capsel_generate DIR COUNT CUES [d|smpte] [VARIANT]
// writes COUNT documents of CUES subtitles each into DIR as doc000001.xml, ...

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "doc_generator.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s DIR COUNT CUES [d|smpte] [VARIANT]\n", argv[0]);
    return 64;
  }
  const std::string dir = argv[1];
  const int count = std::atoi(argv[2]);
  const int cues = std::atoi(argv[3]);
  const auto profile = argc > 4 && std::string(argv[4]) == "smpte"
                           ? capsel::bench::Profile::kEbuTtSmpte
                           : capsel::bench::Profile::kEbuTtD;
  const unsigned long long variant = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 1;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/doc%06d.xml", i + 1);
    std::ofstream out(dir + name, std::ios::binary);
    out << capsel::bench::GenerateDocument(profile, cues,
                                           variant + static_cast<unsigned long long>(i));
    if (!out) {
      std::fprintf(stderr, "cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
