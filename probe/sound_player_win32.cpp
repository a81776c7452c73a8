// Windows: the system's own synchronous wave player.
#include "sound_player.h"

#include <windows.h>
#include <mmsystem.h>

void PlaySoundFileSync(const char* path) { PlaySoundA(path, nullptr, SND_FILENAME); }
