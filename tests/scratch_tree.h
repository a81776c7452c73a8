// A scratch directory tree for tests: files, folders and symbolic links under a fresh temporary root,
// removed again when the tree goes out of scope.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchTree {
 public:
  explicit ScratchTree(const std::string& tag) {
    root_ = std::filesystem::temp_directory_path() / (tag + "_" + std::to_string(getpid()) + "_" + std::to_string(++count_));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~ScratchTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  std::string Root() const { return root_.string(); }
  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  void Dir(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }

  void File(const std::string& relative, const std::string& content) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << content;
  }

  void Link(const std::string& relative, const std::string& target) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::filesystem::remove(root_ / relative);
    std::filesystem::create_symlink(target, root_ / relative);
  }

 private:
  std::filesystem::path root_;
  static inline int count_ = 0;
};
