// On Windows the suite's folder is C:\Tavik itself; a test makes it fresh and never takes over one that
// is already there.
#include "suite_tree.h"

#include <filesystem>
#include <stdexcept>

std::string ClaimSuiteRoot() {
  const std::string root = "C:\\Tavik";
  if (!std::filesystem::create_directory(root))
    throw std::runtime_error(root + " exists already: the tests leave an installed suite alone");
  return root;
}

void ReleaseSuiteRoot() {}
