// Which serial ports COM1..COM32 exist and which of them another program holds; the processor/memory summary.
#pragma once

#include <array>

constexpr int MaxComPort = 32;

enum PortState : signed char {
  PortAbsent = 0,  // could not be opened (normally: no such port)
  PortFree = 1,    // opened and closed again
  PortBusy = 2,    // exists, but another program holds it (system error 5 or 32)
};

// The result of a port scan. Element n: state of COMn; element 0: highest port number that a scan found in
// existence. Each program keeps the table of its last scan and hands it to what reads it.
using ComPortTable = std::array<signed char, MaxComPort + 1>;

// Probes COM1..COM<highest> and fills `table` (which has highest + 1 elements).
void ScanComPorts(int highest, signed char* table);

// True when port n is within 1..MaxComPort and not absent in the scan that filled the table.
bool ComPortExists(const ComPortTable& table, int n);

constexpr int SystemSummarySize = 120;

// "Cores=%d,Procs=%d,Speed=%d,Mem=%d\nCPU=%s\n" once a GetSystemSummary succeeded; empty until then.
extern char SystemSummary[SystemSummarySize];

// Returns SystemSummary, computing it through the management queries while it is empty.
const char* GetSystemSummary();
