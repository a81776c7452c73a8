// What toolboard's reports share: the report output they replace, the identity box, and the last port
// scan. The program's main routine owns the one state of a run and hands it to the window and the reports.
#pragma once

#include "appbase/identity_box.h"
#include "report_output.h"
#include "sysutil/com_scan.h"

struct ToolboardState {
  ReportOutput report;
  IdentityBox identity;  // the host address line the main window shows
  ComPortTable ports{};  // the last port scan
};
