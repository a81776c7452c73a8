// The game link's tests over the link library: connection by the device settings, echo request,
// reward sound command, and the local reward sound.
#include "game_communications.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "appbase/painted_wait.h"
#include "game_link.h"
#include "host_lookup.h"
#include "link/link.h"
#include "platform/tavik_path.h"
#include "probe_state.h"
#include "sound/sound_player.h"

namespace {

constexpr int EchoRounds = 40;
constexpr std::size_t ResolverErrorTextSize = 1024;
constexpr auto EchoRoundPause = std::chrono::milliseconds(250);
constexpr auto SettleAfterConnect = std::chrono::milliseconds(1000);

using MessageBuffer = std::uint8_t[GameMessageBufferSize];

void ReleaseGameLink(LinkConnection*& link, bool disconnect) {
  if (disconnect) LinkDisconnect(link);
  LinkRelease(link);
  link = nullptr;
}

// Ends a failed attempt: the link goes (disconnected first where it was opened) and the code is returned.
int Abandon(LinkConnection*& link, int code, bool disconnect) {
  ReleaseGameLink(link, disconnect);
  return code;
}

int ConnectSerial(LinkConnection*& link, OutputPane& pane, const DeviceSettings& settings, const ComPortTable& ports) {
  if (settings.gamePort == 0) {
    pane.Append("NO GAME serial port\n");
    return Abandon(link, 3, false);
  }
  if (!ComPortExists(ports, settings.gamePort)) {
    pane.AppendFormat("Game port COM%d does NOT exist\n", settings.gamePort);
    return Abandon(link, 4, false);
  }
  char portName[16];
  std::snprintf(portName, sizeof portName, "COM%d", settings.gamePort);
  int result = LinkConnect(link, "serial", portName, SerialGameBaud, 0);
  if (result != 0) {
    pane.AppendFormat("UNABLE to connect to serial port COM%d\n  : %d", settings.gamePort, result);
    return Abandon(link, 5, false);
  }
  if (LinkPeerPresent(link) == 0) {
    pane.Append("NOTHING seems to be responding on game machine\nIs the game menu not running?\n");
    return Abandon(link, 6, true);
  }
  return 0;
}

int ConnectEthernet(LinkConnection*& link, OutputPane& pane, const DeviceSettings& settings) {
  if (settings.ethernetPort != GameSocketPort) {
    pane.Append("FAILURE - test ONLY works with port 5510\n");
    return Abandon(link, 11, false);
  }
  if (!settings.ethernetAddress || settings.ethernetAddress->empty()) {
    pane.Append("INVALID ethernet buddy address format\n");
    return Abandon(link, 12, false);
  }
  const char* address = settings.ethernetAddress->c_str();
  char resolverError[ResolverErrorTextSize] = "";
  if (CheckIpv4Address(address, resolverError, sizeof resolverError) != 0) {
    pane.AppendFormat("INVALID ethernet buddy computer : %s\n==>%s\n", address, resolverError);
    return Abandon(link, 13, false);
  }
  if (LinkConnect(link, "ethernet", address, settings.ethernetPort, 0) != 0) {
    pane.AppendFormat("FAILED to connect to ethernet on %s\n", address);
    return Abandon(link, 14, false);
  }
  PauseKeepingWindowsPainted(SettleAfterConnect);
  if (LinkStatus(link) == 0) {
    pane.Append(
        "FAILURE to connect to game machine\nIs the game menu really running?\nWas there an Windows firewall "
        "blockage?\n");
    return Abandon(link, 15, true);
  }
  return 0;
}

void SendGameRequest(LinkConnection* link, MessageBuffer& buffer, int subcode) {
  LinkBuildMessage(link, buffer, static_cast<int>(GameMessageBufferSize), GameRequestCode, subcode, nullptr, 0);
  LinkSend(link, buffer, 0);
}

// The common start of both game actions: the last ports report above fresh settings.
void StartGameAction(ProbeState& state) {
  state.pane.Clear();
  state.pane.Append(state.portsReport);
  ReadDeviceSettingsInto(state.settings);
}

}  // namespace

void PlayLocalRewardSound() {
  const std::string path = TavikPath(RewardSoundPath);
  RunKeepingWindowsPainted([&path] {
    PlaySoundFileSync(path.c_str());
    return 0;
  });
}

int ConnectToGameComputer(ProbeState& state) {
  const DeviceSettings& settings = state.settings;
  if (settings.displayMode != 2) {
    state.pane.Append("\n\nGame communications use internal localhost\n");
    return 1;
  }
  state.gameLink = LinkCreate();
  if (state.gameLink == nullptr) {
    state.pane.Append("FAILURE opening comm DLL");
    return 2;
  }
  return settings.commClass == 0 ? ConnectSerial(state.gameLink, state.pane, settings, state.ports)
                                 : ConnectEthernet(state.gameLink, state.pane, settings);
}

int EchoGameComputer(LinkConnection* link) {
  MessageBuffer buffer;
  const int size = static_cast<int>(GameMessageBufferSize);
  // Both queues hold at most 2 x LinkQueueSlots messages: a peer that never stops sending cannot keep
  // the window waiting here.
  for (int waiting = 0; waiting < 2 * LinkQueueSlots && LinkReceive(link, -1, buffer, size) != 0; ++waiting) {
  }
  SendGameRequest(link, buffer, EchoSubcode);
  for (int round = 0; round < EchoRounds; ++round) {
    if (LinkReceive(link, -1, buffer, size) != 0) return 0;
    PauseKeepingWindowsPainted(EchoRoundPause);
  }
  return 1;
}

bool TestGameCommunications(ProbeState& state) {
  StartGameAction(state);
  if (ConnectToGameComputer(state) != 0) {
    state.pane.Refresh();
    return false;
  }
  const bool answered = EchoGameComputer(state.gameLink) == 0;
  if (answered) {
    state.pane.Append(state.settings.commClass != 0 ? "Ethernet game communication seems to be working\n"
                                                    : "Serial game communication seems to be working\n");
  } else {
    state.pane.Append("FAILURE to echo from game machine\nIS the game menu really running?\n");
  }
  ReleaseGameLink(state.gameLink, true);
  state.pane.Refresh();
  return answered;
}

void SendRewardSoundCommand(ProbeState& state) {
  StartGameAction(state);
  if (ConnectToGameComputer(state) == 0) {
    MessageBuffer buffer;
    SendGameRequest(state.gameLink, buffer, RewardSoundSubcode);
    ReleaseGameLink(state.gameLink, true);
    state.pane.Append("\nReward sound command sent");
  }
  state.pane.Refresh();
}
