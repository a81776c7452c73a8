// One management query at a time over a class of system objects, with property values handed back as text.
// On Windows the objects come from WMI (ROOT\CIMV2); on Linux from sysfs and procfs (see sysfs_inventory.h).
// The open query is process-wide state owned by the platform file; exactly one can be open at a time.
#pragma once

#include <cstddef>

// Opens "SELECT * from <className>". 0 ok; 1 COM initialisation failed; 3 creating the locator failed;
// 4 connecting to ROOT\CIMV2 failed; 5 securing the connection failed; 6 the query failed (also: unknown class).
int WmiOpenQuery(const char* className);

// Reads `property` of result object `index` (0 = first) into `buffer` (cut to fit, always terminated).
// 0 ok; 1 no query open; 12 no result set; 8 rewind failed; 9 step failed (also: no object within the
// step's time limit); -1 fewer than index + 1 objects; 11 no current object; 10 reading the property failed.
int WmiReadProperty(const char* property, int index, char* buffer, std::size_t bufferSize);

// Steps to the next result object and reads its "DeviceID" and "Name".
// 0 ok; 1 no query open; -1 no result set or no more objects; 9 step failed; 10 reading a property failed.
int WmiNextDevice(char* deviceId, std::size_t deviceIdSize, char* name, std::size_t nameSize);

// Releases the open query; does nothing when none is open.
void WmiClose();
