// Windows: the system's own synchronous wave player. Without SND_NODEFAULT a missing file would play
// the system's default sound, which a technician would take for the reward sound working.
#include "sound/sound_player.h"

// WINMM.dll is delay-loaded. Declared as a DLL import, PlaySoundA would be called straight through its
// import slot, which the 32-bit linker leaves holding no address when nothing names the delay-load stub:
// the first sound jumped to 0. Declared plainly, the call goes through the stub, which loads the library.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

void PlaySoundFileSync(const char* path) { PlaySoundA(path, nullptr, SND_FILENAME | SND_NODEFAULT); }
