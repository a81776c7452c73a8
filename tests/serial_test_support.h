// Test support for serial ports: pseudo-terminal pairs published as COM ports through a private
// $TAVIK_ROOT/dosdevices directory, and byte transfer with time limits on the master side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scratch_tree.h"
#include "serial_pair.h"
#include "test_environment.h"

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  int master() const { return master_; }
  const std::string& slavePath() const { return slave_; }
  // Writes all bytes to the master side.
  void send(const std::vector<uint8_t>& bytes) const;
  // Reads from the master side until count bytes arrived or timeoutMs passed.
  std::vector<uint8_t> receive(size_t count, int timeoutMs = 2000) const;

 private:
  int master_ = -1;
  std::string slave_;
};

// A temporary $TAVIK_ROOT whose dosdevices/comN links the test points at devices.
class ComRoot {
 public:
  ComRoot() { tree_.Dir("dosdevices"); }
  void link(int comNumber, const std::string& device) const {
    tree_.Link("dosdevices/com" + std::to_string(comNumber), device);
  }
  const std::string& path() const { return tree_.Root(); }

 private:
  ScratchTree tree_{"tavik-serial"};
  ScopedEnv root_{"TAVIK_ROOT", tree_.Root()};
};
