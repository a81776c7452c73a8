// The game link as the suite uses it: the requests the therapist computer sends the game computer, and
// the port and speed of the link the game computer serves.
#pragma once

constexpr int GameRequestCode = 224;    // the code of every request to the game computer
constexpr int EchoSubcode = 4;          // echo request: the game computer answers with a message
constexpr int RewardSoundSubcode = 9;   // the game computer plays its reward sound
constexpr int GameSocketPort = 5510;    // the T port the game computer listens on
constexpr int SerialGameBaud = 115200;  // the baud rate of a serial game link
