// The suite's own folder for one test: a scratch tree that the suite's paths ("C:\Tavik\...") lead to
// while it lives, removed with everything in it afterwards.
#pragma once

#include <string>

#include "scratch_tree.h"

// Makes the folder that "C:\Tavik" names for the test and returns it: on Linux a scratch folder that
// TAVIK_ROOT points at; on Windows C:\Tavik itself, which must not exist yet (a real installation is
// never touched: the claim throws instead).
std::string ClaimSuiteRoot();
// Undoes what the claim pointed (the folder itself goes with the tree).
void ReleaseSuiteRoot();

class SuiteTree : public ScratchTree {
 public:
  SuiteTree() : ScratchTree(AtRoot{ClaimSuiteRoot()}) {}
  ~SuiteTree() { ReleaseSuiteRoot(); }
};
