// The long waits of the programs' actions (the serial listen, the game link's settle and echo waits, the
// reward sound, a started program) keep the windows painted: a window that reads no messages for five
// seconds is marked "Not Responding" by Windows, and one that is uncovered meanwhile stays blank on
// every system. A windowed program installs its toolkit's pump at start-up; the logic only asks for it.
// The waits themselves are unchanged: same lengths, same order, input left for the action's end.
#pragma once

#include <chrono>
#include <functional>

// Processes the windows' paint and system messages and leaves input queued. Runs on the UI thread.
using PaintPump = void (*)();

// Installs the pump for the rest of the run; null (the default, and the windowless mode) pumps nothing.
void SetPaintPump(PaintPump pump);

// Returns after `pause`, having run the pump at least every PaintPumpInterval meanwhile.
void PauseKeepingWindowsPainted(std::chrono::milliseconds pause);

// Runs `work` to its end and returns its result. With a pump installed it runs on a helper thread while
// this thread pumps; `work` must then not touch the windows. When no thread can be started it runs here,
// unpumped, as without a pump.
int RunKeepingWindowsPainted(const std::function<int()>& work);

constexpr std::chrono::milliseconds PaintPumpInterval{50};
