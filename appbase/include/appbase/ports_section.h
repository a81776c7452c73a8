// The pieces that the port reports of both programs share: the suite's configuration version line
// and the list of COM ports found by the last scan.
#pragma once

#include <string>

#include "sysutil/com_scan.h"

// "Version       : " and the first line of C:\Tavik\BIN\Tconfig. (at most 259 characters, its line
// break included); empty when it is not a regular file that can be opened.
std::string ConfigVersionLine();

// Thirty stars, a line break, "COMM PORTS found" with "(count)\n" or "(NONE)\n", then one row
// "   COMn " plus a blank (free) or "*" (busy) per port present in the table.
std::string ComPortSection(const ComPortTable& table);
