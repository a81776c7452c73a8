// Which operating system runs this program, and the build text or version number of a program file.
#pragma once

// The integer class of the running system: NT-family codes are above 100 (110 + minor from major 6 on).
// 0 means the version query failed.
int GetPlatformCode();

// The platform code for a version triple; platformId 2 is the NT family. Exposed for the platform layer.
int PlatformCodeForVersion(unsigned platformId, unsigned major, unsigned minor);

// A constant text naming the running system ("XP", "Windows 7", ... on Windows; "Linux 6.1" on Linux).
// The first call fills the platform-code cache.
const char* GetPlatformName();

// The Windows name for a platform code: "XP", "Vista", "Windows 7", "Windows 8" or "???".
const char* WindowsVersionName(int platformCode);

// The name of the running Windows: as WindowsVersionName, except for Windows 10 and 11 (major 10, told
// apart by the build), which share Vista's code 110 and must not be called Vista.
const char* WindowsSystemName(int platformCode, unsigned major, unsigned build);

// Nonzero when the operating system is 64-bit.
int Is64BitOs();

enum VersionTextKind {
  BuildStringsWithDate = 0,  // "PB=..", "SB=.." or "Unk", then two blanks and the file's ctime date line
  FileVersionNumber = 3,     // "a.b.c.d" of the fixed file version, or "Unk"
};

// Size of VersionText, terminator included.
constexpr int VersionTextSize = 300;

// Describes the program file at `path` (a Windows path under C:\Tavik or a native path) in the
// process-wide VersionText, which only this writes, and returns it; the next call overwrites it.
const char* GetFileVersionText(VersionTextKind kind, const char* path);
