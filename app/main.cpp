#include <cstdio>
#include <string>
#include <string_view>

#include "platform/file_system.h"

// Entry point: parses the run mode and starts the program.
int main(int argc, char** argv) {
  std::string home = ds::ExeDirectory();
  bool demo = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--demo") {
      demo = true;
    } else if (arg == "--home" && i + 1 < argc) {
      home = argv[++i];
      if (home.empty() || home.back() != '/') home += '/';
    } else {
      std::fprintf(stderr, "drivesentinel: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  std::printf("Norvik DriveSentinel V1.1 (%s, program folder %s)\n", demo ? "demo" : "real disks",
              home.c_str());
  return 0;
}
