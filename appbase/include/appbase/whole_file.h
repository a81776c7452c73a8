// Writing a file whole in a folder that others may write to (the programs' current folder): the text goes
// to a new file beside the target, made under a name that nothing may hold yet, and is renamed over the
// target once complete. A link or file planted under the target's name is replaced, never followed, and
// no reader sees half a file.
#pragma once

#include <string>

enum class FileTextMode { Binary, Text };  // Text: line feeds become the platform's line ends

// True when `path` now holds `text`; false, with the target as it was and no new file left, otherwise.
bool WriteWholeFile(const std::string& path, const std::string& text, FileTextMode mode);
