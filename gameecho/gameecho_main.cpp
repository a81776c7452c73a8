// gameecho [port]: runs the stand-in game computer on the game link's port (5510 unless given) until
// interrupted.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gameecho/game_echo.h"
#include "platform/library_search.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

// The port argument: a whole number whose port and port + 1 both exist; 0 when it is not one.
int ParsePort(const char* text) {
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || port < 1 || port > 65534) return 0;
  return static_cast<int>(port);
}

}  // namespace

int main(int argc, char** argv) {
  LimitLibrarySearchToSystemFolder();  // it plays the reward sound from a library loaded on first use
  int port = 5510;
  if (argc > 2 || (argc == 2 && (port = ParsePort(argv[1])) == 0)) {
    std::fprintf(stderr, "usage: gameecho [port]   (port 1 to 65534, default 5510)\n");
    return 2;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  GameEcho echo(stdout);
  int result = echo.Start(port);
  if (result != 0) {
    std::fprintf(stderr, "gameecho: cannot listen on port %d (%d)\n", port, result);
    return 1;
  }
  std::printf("gameecho: game computer stand-in listening on port %d\n", port);
  std::fflush(stdout);
  echo.Run(stopRequested);
  std::printf("gameecho: stopped\n");
  return 0;
}
