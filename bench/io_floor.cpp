// capsel_io_floor: the file work that converting a folder cannot avoid, and nothing else.
//   capsel_io_floor IN OUT DONE
// For each *.xml in IN: read it, write an output of the same size to OUT through a temporary
// file and a rename, and rename the input into DONE.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN OUT DONE\n", argv[0]);
    return 64;
  }
  const std::string in = argv[1], out = argv[2], done = argv[3];
  std::vector<std::string> names;
  DIR* d = opendir(in.c_str());
  if (!d) return 1;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".xml") == 0) names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  std::string data;
  for (const auto& name : names) {
    const std::string src = in + "/" + name;
    int fd = open(src.c_str(), O_RDONLY);
    if (fd < 0) return 1;
    data.clear();
    char buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) data.append(buf, static_cast<size_t>(n));
    close(fd);
    const std::string tmp = out + "/.floor.tmp",
                      dst = out + "/" + name.substr(0, name.size() - 4) + ".srt";
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
      return 1;
    close(fd);
    if (rename(tmp.c_str(), dst.c_str()) != 0) return 1;
    if (rename(src.c_str(), (done + "/" + name).c_str()) != 0) return 1;
  }
  std::printf("%zu\n", names.size());
  return 0;
}
