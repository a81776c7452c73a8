// Linux: the file is decoded with libsndfile and played on ALSA's "default" device; the drain at the end
// makes the call return only when the last frame has been heard.
#include "sound/sound_player.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <vector>

namespace {

constexpr unsigned int OutputLatencyUs = 200000;
constexpr sf_count_t FramesPerChunk = 4096;

// ALSA prints its complaints on stderr by default; a sound test must stay silent.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

class SoundFile {
 public:
  explicit SoundFile(const char* path) { file_ = sf_open(path, SFM_READ, &info_); }
  ~SoundFile() {
    if (file_ != nullptr) sf_close(file_);
  }
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;
  bool Usable() const { return file_ != nullptr && info_.channels > 0 && info_.samplerate > 0; }
  int Channels() const { return info_.channels; }
  int Rate() const { return info_.samplerate; }
  sf_count_t Read(short* frames, sf_count_t count) { return sf_readf_short(file_, frames, count); }

 private:
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
};

snd_pcm_t* OpenOutput(const SoundFile& sound) {
  snd_lib_error_set_handler(QuietAlsa);
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                         static_cast<unsigned int>(sound.Channels()), static_cast<unsigned int>(sound.Rate()), 1,
                         OutputLatencyUs) < 0) {
    snd_pcm_close(pcm);
    return nullptr;
  }
  return pcm;
}

// Writes all `count` frames, recovering from an underrun; false when the device gave up.
bool WriteFrames(snd_pcm_t* pcm, const short* frames, snd_pcm_uframes_t count, int channels) {
  while (count > 0) {
    snd_pcm_sframes_t written = snd_pcm_writei(pcm, frames, count);
    if (written < 0) {
      if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) return false;
      continue;
    }
    frames += written * channels;
    count -= static_cast<snd_pcm_uframes_t>(written);
  }
  return true;
}

}  // namespace

void PlaySoundFileSync(const char* path) {
  if (path == nullptr) return;
  SoundFile sound(path);
  if (!sound.Usable()) return;
  snd_pcm_t* pcm = OpenOutput(sound);
  if (pcm == nullptr) return;
  std::vector<short> chunk(static_cast<size_t>(FramesPerChunk * sound.Channels()));
  bool playing = true;
  sf_count_t got;
  while (playing && (got = sound.Read(chunk.data(), FramesPerChunk)) > 0)
    playing = WriteFrames(pcm, chunk.data(), static_cast<snd_pcm_uframes_t>(got), sound.Channels());
  if (playing) snd_pcm_drain(pcm);
  snd_pcm_close(pcm);
  // ALSA keeps the parsed configuration until told otherwise; nothing here plays often enough to keep it.
  snd_config_update_free_global();
}
