// What linkprobe's actions share: the pane they write, the settings they re-read, the last port scan and
// ports report, the identity box, the devices the amplifier check looks among and the running game action's link. The
// program's main routine owns the one state of a run and hands it to the window and to each action; the windowless
// start-up test uses it alone.
#pragma once

#include "amplifier_check.h"
#include "appbase/identity_box.h"
#include "device_settings.h"
#include "output_pane.h"
#include "ports_report.h"
#include "sysutil/com_scan.h"

struct LinkConnection;

struct ProbeState {
  OutputPane pane;
  DeviceSettings settings;
  ComPortTable ports{};                    // the last port scan
  char portsReport[PortsReportSize] = "";  // the last ports report: the head of every game test
  IdentityBox identity;                    // the host address line the main window shows
  PnpDeviceList pnpDevices;                // the amplifier check's devices, empty between checks
  LinkConnection* gameLink = nullptr;      // the link of the game action running now; none between actions
};
