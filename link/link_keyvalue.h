// The two process-wide key/value lists the library keeps for the application: LinkSettingsList
// (key=value entries) and LinkChangedKeys (keys of the last settings message). Not locked.
#pragma once

#include <string>
#include <vector>

// Empties both lists.
void LinkClearKeyValueLists();
// The entries of each list in order.
std::vector<std::string> LinkSettingsEntries();
std::vector<std::string> LinkChangedKeyEntries();
