// Plays a sound file to the end before returning, on the machine's default sound output.
#pragma once

// The suite's reward sound, on the therapist and on the game computer alike.
constexpr const char* RewardSoundPath = "c:\\Tavik\\Games\\reward.wav";

// Plays the wave file at `path` synchronously. A file that is missing or cannot be decoded, or an
// output that cannot be opened, plays nothing and reports nothing: a sound test tells by ear.
void PlaySoundFileSync(const char* path);
