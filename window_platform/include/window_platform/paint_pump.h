// The toolkit's side of the painted waits (appbase/painted_wait.h).
#pragma once

// Handles the windows' pending paint and system messages and draws what they uncovered; input (keys,
// clicks, the close box) stays queued for the event loop, which sees it once the action has ended.
void PumpPaintMessages();
