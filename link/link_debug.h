// The debug stream's one setting that the record settings decide: whether each text is flushed at once.
#pragma once

// On: every text written to the debug stream is flushed at once (the log settings' WRITENOW).
void LinkSetDebugFlush(bool on);
