// A scratch directory tree for tests: files, folders and symbolic links under a fresh temporary root,
// removed again with everything in it when the tree goes out of scope.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

// Creates "<temp>/<tag>-<random>" and returns its path; creating the directory is what claims the name,
// so two tests never share one. Throws when none can be made.
inline std::string MakeScratchDirectory(const std::string& tag) {
  std::random_device entropy;
  constexpr int NameAttempts = 100;  // random names clash so rarely that this many never all do
  for (int attempt = 0; attempt < NameAttempts; ++attempt) {
    std::filesystem::path path = std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(entropy()));
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) return path.string();
  }
  throw std::runtime_error("no scratch folder for " + tag);
}

class ScratchTree {
 public:
  // A root that cannot be made throws: the test fails instead of writing outside its own tree.
  explicit ScratchTree(const std::string& tag = "tavik-test") : root_(MakeScratchDirectory(tag)) {}
  ~ScratchTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  void Dir(const std::string& relative) const { std::filesystem::create_directories(Path(relative)); }

  // Writes `content` byte for byte to `relative`, creating its folders.
  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  }

  void Link(const std::string& relative, const std::string& target) const {
    std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    std::filesystem::create_symlink(target, path);
  }

  void Remove(const std::string& relative) const { std::filesystem::remove(Path(relative)); }

 protected:
  // A tree over a root that the caller has just made.
  struct AtRoot {
    std::string root;
  };
  explicit ScratchTree(AtRoot at) : root_(std::move(at.root)) {}

 private:
  std::string root_;
};
