// Windows: the system's own synchronous wave player. Without SND_NODEFAULT a missing file would play
// the system's default sound, which a technician would take for the reward sound working.
#include "sound/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

void PlaySoundFileSync(const char* path) { PlaySoundA(path, nullptr, SND_FILENAME | SND_NODEFAULT); }
