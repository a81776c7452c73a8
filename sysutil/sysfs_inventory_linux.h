// The facts the management queries report, gathered on Linux from sysfs ($TAVIK_SYSFS, default /sys) and
// procfs ($TAVIK_PROCFS, default /proc): Plug-and-Play devices, processors and memory.
#pragma once

#include <map>
#include <string>
#include <vector>

// One result object: property name -> value as text.
using InventoryObject = std::map<std::string, std::string>;

// The objects of a class ("Win32_PNPEntity", "Win32_Processor", "CIM_OperatingSystem", any case);
// false for a class this system does not provide.
bool ListInventoryObjects(const char* className, std::vector<InventoryObject>& objects);

// USB devices under bus/usb/devices, then the built-in serial ports ("Communications Port (COMn)").
std::vector<InventoryObject> ListPnpEntities(const std::string& sysfs);

// One object per physical processor package.
std::vector<InventoryObject> ListProcessors(const std::string& sysfs, const std::string& procfs);

// The one operating system object; without MemTotal it lacks "TotalVisibleMemorySize".
std::vector<InventoryObject> ListOperatingSystems(const std::string& procfs);
