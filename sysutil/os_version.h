// The running operating system's version facts, as the platform reports them.
#pragma once

struct OsVersion {
  unsigned platformId = 0;  // 2: the NT family (Linux kernels are classed with it)
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;  // Windows' build number (tells 11 from 10); 0 elsewhere
};

// False when the version query fails.
bool QueryOsVersion(OsVersion& version);

// The name of the running system for a platform code (Windows: from the code; elsewhere: its own name).
const char* OwnPlatformName(int platformCode);

// Nonzero when the operating system is 64-bit.
int OsIs64Bit();
