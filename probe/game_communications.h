// The game computer's buttons: the reward sound here and on the game computer, and the echo test of
// the configured game link. Each action creates its link, uses it and releases it before it ends.
#pragma once

#include <cstddef>

struct LinkConnection;
struct ProbeState;

constexpr std::size_t GameMessageBufferSize = 1600;

// The button that runs TestGameCommunications, as the window and the windowless report name it.
constexpr const char* GameTestLabel = "Test  Game Communications";

// "Sound Test (this computer)": plays the suite's reward sound to its end; writes nothing.
void PlayLocalRewardSound();
// "Sound Test (game computer)": asks the game computer to play its reward sound.
void SendRewardSoundCommand(ProbeState& state);
// "Test  Game Communications": connects, sends an echo request and waits up to 10 seconds for any answer.
// True when the game computer answered, the pane then saying that game communication seems to be working.
bool TestGameCommunications(ProbeState& state);

// Opens state.gameLink as the state's device settings say, on a port the last scan found. 0: connected, and the caller
// releases it. Otherwise the failure code, with its text in the pane and the link already released: 1 not a
// two-computer set-up, 2 no link object, 3 no serial game port, 4 port not found by the last scan, 5 serial open
// failed, 6 no DSR from the game computer, 11 port other than 5510, 12 no address, 13 address does not resolve, 14
// ethernet open failed, 15 not connected one second later.
int ConnectToGameComputer(ProbeState& state);

// Discards what is already waiting, sends an echo request and waits for any message: 0 when one came
// within 40 rounds of 250 ms, 1 when none did.
int EchoGameComputer(LinkConnection* link);
