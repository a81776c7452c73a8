// A fresh, empty temporary directory for a test, made the same way on every platform.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

// Creates "<temp>/<tag>-<random>" and returns its path; creating the directory is what claims the name,
// so two tests never share one. Throws when none can be made.
inline std::string MakeScratchDirectory(const std::string& tag) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(entropy()));
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) return path.string();
  }
  throw std::runtime_error("no scratch folder for " + tag);
}
