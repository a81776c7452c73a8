// The debug stream: one text stream (usually a file the application names) that receives the library's
// printf-style debug lines; with no stream nothing is written.
#include "link/link.h"
#include "link_debug.h"

#include <cstdarg>
#include <mutex>

namespace {

// The debug-output lock: innermost of the library's locks, held while one text is written.
std::mutex& DebugLock() {
  static std::mutex lock;
  return lock;
}

std::FILE* debugStream = nullptr;  // where debug lines go; none while null
std::FILE* debugFile = nullptr;    // the file LinkSetDebugFile opened, closed when replaced
bool flushEachText = false;        // set from the log settings (WRITENOW)

void CloseOwnFile() {
  if (debugFile == nullptr) return;
  if (debugStream == debugFile) debugStream = nullptr;
  std::fclose(debugFile);
  debugFile = nullptr;
}

}  // namespace

void LinkSetDebugStream(std::FILE* stream) {
  std::lock_guard<std::mutex> lock(DebugLock());
  debugStream = stream;
}

void LinkSetDebugFlush(bool on) {
  std::lock_guard<std::mutex> lock(DebugLock());
  flushEachText = on;
}

void LinkSetDebugFile(const char* path) {
  std::lock_guard<std::mutex> lock(DebugLock());
  CloseOwnFile();
  debugStream = nullptr;
  if (path == nullptr) return;
  debugFile = std::fopen(path, "w");
  debugStream = debugFile;
}

void LinkDebugPrint(const char* format, ...) {
  std::lock_guard<std::mutex> lock(DebugLock());
  if (debugStream == nullptr || format == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(debugStream, format, args);
  va_end(args);
  // Flushed under the lock, so that a concurrent LinkSetDebugFile cannot close the stream under it.
  if (flushEachText) std::fflush(debugStream);
}
