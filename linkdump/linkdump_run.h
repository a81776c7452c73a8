// linkdump's command line and run: the record files named (or the record files in the folders named)
// merged by time and printed one record a line, or followed while they are written.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Exit codes. When several files have problems, the highest code of them is returned.
constexpr int LinkDumpOk = 0;             // every record of every file was printed
constexpr int LinkDumpDamaged = 1;        // a file ends in a cut-off record or a full-traffic record that runs
                                          // past its end; the records before it were printed
constexpr int LinkDumpNotRecordFile = 2;  // a file holds something other than records (too short for one, a
                                          // record type other than 0 and 1, a length shorter than its
                                          // header); the records before it were printed
constexpr int LinkDumpUnreadable = 3;     // a file cannot be opened or read, or a folder holds no record files
constexpr int LinkDumpUsage = 4;          // the command line is wrong; nothing was read

// Runs linkdump with its arguments (without the program's name), printing records to `out` and
// messages to `err`: one of the exit codes above. With -f it reads on as the files grow, asking
// `keepFollowing` between rounds, until that says false or every file has stopped.
int RunLinkDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::function<bool()>& keepFollowing);
