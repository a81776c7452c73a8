// The new file's name is the target's with a suffix no one can have prepared for this moment; a name that
// is taken is simply passed over.
#include "appbase/whole_file.h"

#include <chrono>
#include <cstdio>

#include "file_replace.h"

namespace {

constexpr int NameAttempts = 8;

std::string NewFileName(const std::string& path, int attempt) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return path + "." + std::to_string(now) + "-" + std::to_string(attempt) + ".tmp";
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& text, FileTextMode mode) {
  for (int attempt = 0; attempt < NameAttempts; ++attempt) {
    const std::string temporary = NewFileName(path, attempt);
    std::FILE* file = CreateNewFile(temporary.c_str(), mode == FileTextMode::Text);
    if (file == nullptr) continue;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
    if (written && ReplaceFileWith(temporary.c_str(), path.c_str())) return true;
    std::remove(temporary.c_str());
    return false;
  }
  return false;
}
