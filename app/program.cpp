// Program entry: command-line handling and the start of the player.
#include "app/program.h"

#include <cstdio>
#include <string_view>

namespace vantora::app {

int RunProgram(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--version") {
      std::printf("vantora %s\n", VANTORA_VERSION);
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf("Usage: vantora [--help] [--version]\n");
      return 0;
    }
    std::fprintf(stderr, "vantora: unknown argument '%s' (try --help)\n", argv[i]);
    return 1;
  }
  std::printf("vantora %s: the player window is not built yet.\n", VANTORA_VERSION);
  return 0;
}

}  // namespace vantora::app
