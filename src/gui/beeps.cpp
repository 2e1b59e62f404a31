#include "gui/beeps.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace m84 {

namespace {

constexpr unsigned kSampleRate = 44100;
constexpr int kLatencyUs = 50000;
constexpr double kAmplitude = 0.3 * 32767;
// Draining a 200 ms sequence never takes this long unless the device hangs.
constexpr auto kDrainDeadline = std::chrono::milliseconds(1500);

void SilenceAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

std::vector<int16_t> Render(const std::vector<ToneStep>& steps) {
  std::vector<int16_t> samples;
  for (const ToneStep& step : steps) {
    const size_t count = static_cast<size_t>(kSampleRate) * static_cast<size_t>(step.durationMs) / 1000;
    const size_t fade = std::min<size_t>(count / 2, kSampleRate / 500);  // 2 ms, against clicks
    for (size_t i = 0; i < count; ++i) {
      double gain = 1.0;
      if (i < fade) gain = double(i) / double(fade);
      if (count - i <= fade) gain = double(count - i) / double(fade);
      const double phase = 2.0 * M_PI * step.frequencyHz * double(i) / kSampleRate;
      samples.push_back(step.frequencyHz ? static_cast<int16_t>(kAmplitude * gain * std::sin(phase)) : 0);
    }
  }
  return samples;
}

class AlsaTonePlayer : public TonePlayer {
 public:
  void Play(const std::vector<ToneStep>& steps) override {
    snd_lib_error_set_handler(SilenceAlsaErrors);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate, 1, kLatencyUs) <
        0) {
      snd_pcm_close(pcm);
      return;
    }
    const std::vector<int16_t> samples = Render(steps);
    const auto deadline = std::chrono::steady_clock::now() + kDrainDeadline;
    size_t done = 0;
    while (done < samples.size() && std::chrono::steady_clock::now() < deadline) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
      if (n == -EAGAIN) {
        snd_pcm_wait(pcm, 50);
        continue;
      }
      if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
      if (n < 0) break;
      done += static_cast<size_t>(n);
    }
    WaitForDrain(pcm, deadline);
    snd_pcm_close(pcm);
  }

 private:
  // Lets the queued sound play out, but never past the deadline: a stuck device is dropped.
  static void WaitForDrain(snd_pcm_t* pcm, std::chrono::steady_clock::time_point deadline) {
    while (std::chrono::steady_clock::now() < deadline) {
      snd_pcm_sframes_t delay = 0;
      if (snd_pcm_delay(pcm, &delay) < 0 || delay <= 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    snd_pcm_drop(pcm);
  }
};

}  // namespace

std::vector<ToneStep> TonesOf(Beep beep) {
  if (beep == Beep::Error) return {{2700, 100}, {0, 100}, {2700, 100}};
  return {{1350, 100}};
}

std::unique_ptr<TonePlayer> CreateAlsaTonePlayer() { return std::make_unique<AlsaTonePlayer>(); }

}  // namespace m84
