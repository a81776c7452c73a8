// On Linux the suite's folder is wherever TAVIK_ROOT says: a scratch folder per test.
#include "suite_tree.h"

#include <cstdlib>
#include <optional>

#include "scratch_tree.h"
#include "test_environment.h"

namespace {
std::optional<std::string> previousRoot;
}

std::string ClaimSuiteRoot() {
  std::string root = MakeScratchDirectory("tavik-suite");
  const char* old = std::getenv("TAVIK_ROOT");
  previousRoot = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
  SetEnvironmentValue("TAVIK_ROOT", root);
  return root;
}

void ReleaseSuiteRoot() {
  if (previousRoot) {
    SetEnvironmentValue("TAVIK_ROOT", *previousRoot);
  } else {
    ClearEnvironmentValue("TAVIK_ROOT");
  }
}
