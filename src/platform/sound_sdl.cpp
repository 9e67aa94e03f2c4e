// Sound: an SDL2 audio device mixing one whole decoded MP3 (mpg123) on
// channel 0, with a 512-bin magnitude spectrum of the mixed output (FFTW3).
#include <SDL.h>
#include <fftw3.h>
#include <mpg123.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/native_sound.h"

namespace platform::native_sound {
namespace {

constexpr int fft_size = 1024; // 512 magnitude bins
constexpr double pi = 3.14159265358979323846;
constexpr size_t chunk = 32768; // 16-bit values decoded per read

struct sample_record {
    std::vector<int16_t> pcm; // interleaved
    int channels = 2;
    int rate = 44100;
    uint32_t frames = 0;
    bool loop = false;
};

struct channel_record {
    int sample = 0;        // handle, 0 = none
    double position = 0.0; // in frames of the sample, fractional while resampling
    bool playing = false;
};

struct sound_state {
    SDL_AudioDeviceID device = 0;
    int device_rate = 44100;
    std::vector<sample_record> samples; // handle = index + 1
    channel_record channel;
    int volume = 255;
    bool spectrum_on = false;

    // The last fft_size mixed mono values, written by the mixing thread.
    float history[fft_size] = {};
    int history_next = 0;

    float* fft_in = nullptr;
    fftwf_complex* fft_out = nullptr;
    fftwf_plan plan = nullptr;
    float window[fft_size] = {};
    float window_sum = 1.0f;
    float spectrum[fft_size / 2] = {};
};

// Never destroyed: the mixing thread may still run while the process exits.
sound_state& sound = *new sound_state;

// Tens of megabytes are written once in order: large pages where the system
// offers them on request make that a few hundred page faults, not thousands.
void advise_huge_pages(void* data, size_t bytes) {
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // only a hint
}

const sample_record* sample_of(int handle) {
    if (handle <= 0 || handle > int(sound.samples.size())) return nullptr;
    return &sound.samples[size_t(handle - 1)];
}

// Runs on SDL's audio thread with the device lock held.
void mix(void*, Uint8* stream, int bytes) {
    float* out = reinterpret_cast<float*>(stream);
    const int frames = bytes / int(2 * sizeof(float));
    channel_record& ch = sound.channel;
    const sample_record* s = ch.playing ? sample_of(ch.sample) : nullptr;
    const float gain = float(sound.volume) / 255.0f;
    const double advance = s ? double(s->rate) / double(sound.device_rate) : 0.0;
    for (int i = 0; i < frames; ++i) {
        float left = 0.0f, right = 0.0f;
        if (s && ch.playing) {
            if (ch.position >= double(s->frames)) {
                if (s->loop && s->frames > 0) {
                    ch.position = std::fmod(ch.position, double(s->frames));
                } else {
                    ch.position = double(s->frames);
                    ch.playing = false;
                }
            }
            if (ch.playing) {
                const uint32_t a = uint32_t(ch.position);
                const uint32_t b = a + 1 < s->frames ? a + 1 : a;
                const float t = float(ch.position - double(a));
                const int16_t* pa = &s->pcm[size_t(a) * s->channels];
                const int16_t* pb = &s->pcm[size_t(b) * s->channels];
                const float la = pa[0] / 32768.0f, lb = pb[0] / 32768.0f;
                const float ra = s->channels > 1 ? pa[1] / 32768.0f : la;
                const float rb = s->channels > 1 ? pb[1] / 32768.0f : lb;
                left = (la + (lb - la) * t) * gain;
                right = (ra + (rb - ra) * t) * gain;
                ch.position += advance;
            }
        }
        out[2 * i] = left;
        out[2 * i + 1] = right;
        sound.history[sound.history_next] = 0.5f * (left + right);
        sound.history_next = (sound.history_next + 1) % fft_size;
    }
}

} // namespace

bool init(int mix_rate, int) {
    if (sound.device) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        SDL_Log("sound: %s", SDL_GetError());
        return false;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = mix_rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = mix;
    sound.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!sound.device) {
        SDL_Log("sound: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sound.device_rate = have.freq;
    sound.volume = 255;
    sound.channel = channel_record{};
    std::memset(sound.history, 0, sizeof sound.history);
    sound.history_next = 0;

    sound.fft_in = fftwf_alloc_real(fft_size);
    sound.fft_out = fftwf_alloc_complex(fft_size / 2 + 1);
    sound.plan = fftwf_plan_dft_r2c_1d(fft_size, sound.fft_in, sound.fft_out, FFTW_ESTIMATE);
    float sum = 0.0f;
    for (int i = 0; i < fft_size; ++i) {
        sound.window[i] = float(0.5 - 0.5 * std::cos(2.0 * pi * i / (fft_size - 1)));
        sum += sound.window[i];
    }
    sound.window_sum = sum;
    return true;
}

int load(const char* file_name) {
    mpg123_init(); // a no-op on current libraries, required on old ones
    int error = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) return 0;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0); // failures are reported by the caller
    sample_record s;
    long rate = 0;
    int channels = 0, encoding = 0;
    bool ok = mpg123_open(mh, file_name) == MPG123_OK &&
              mpg123_getformat(mh, &rate, &channels, &encoding) == MPG123_OK && rate > 0 && channels > 0;
    if (ok) {
        // Fix the output format: 16-bit signed at the file's own rate and channel count.
        mpg123_format_none(mh);
        ok = mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    if (ok) {
        s.channels = channels;
        s.rate = int(rate);
        // Reading every frame header first gives the decoded length, so the
        // whole sample is allocated once instead of growing (and being
        // copied) by doubling. The length is only a hint: the decode below
        // still runs to the end and keeps exactly what it produced.
        if (mpg123_scan(mh) == MPG123_OK) {
            const off_t length = mpg123_length(mh);
            if (length > 0 && length < off_t(1) << 31) {
                s.pcm.reserve(size_t(length) * size_t(channels) + chunk);
                advise_huge_pages(s.pcm.data(), s.pcm.capacity() * sizeof(int16_t));
            }
        }
        // Decoded straight into the sample, a chunk at a time.
        for (;;) {
            const size_t old = s.pcm.size();
            s.pcm.resize(old + chunk);
            size_t done = 0;
            const int r = mpg123_read(mh, reinterpret_cast<unsigned char*>(&s.pcm[old]),
                                      chunk * sizeof(int16_t), &done);
            s.pcm.resize(old + done / sizeof(int16_t));
            if (r == MPG123_OK || r == MPG123_NEW_FORMAT) continue;
            break; // MPG123_DONE, or an error: keep what decoded
        }
        s.frames = uint32_t(s.pcm.size() / size_t(s.channels));
        s.pcm.resize(size_t(s.frames) * s.channels);
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    if (!ok || s.frames == 0) return 0;

    if (sound.device) SDL_LockAudioDevice(sound.device);
    sound.samples.push_back(std::move(s));
    const int handle = int(sound.samples.size());
    if (sound.device) SDL_UnlockAudioDevice(sound.device);
    return handle;
}

void set_loop(int sample, bool loop) {
    if (!sample_of(sample)) return;
    if (sound.device) SDL_LockAudioDevice(sound.device);
    sound.samples[size_t(sample - 1)].loop = loop;
    if (sound.device) SDL_UnlockAudioDevice(sound.device);
}

void enable_spectrum(bool on) { sound.spectrum_on = on; }

void play(int sample) {
    if (!sound.device || !sample_of(sample)) return;
    SDL_LockAudioDevice(sound.device);
    sound.channel = channel_record{sample, 0.0, true};
    SDL_UnlockAudioDevice(sound.device);
    SDL_PauseAudioDevice(sound.device, 0);
}

void set_position(int channel, uint32_t sample_pos) {
    if (channel != 0 || !sound.device) return;
    SDL_LockAudioDevice(sound.device);
    if (const sample_record* s = sample_of(sound.channel.sample))
        sound.channel.position = double(std::min(sample_pos, s->frames));
    SDL_UnlockAudioDevice(sound.device);
}

void set_paused(int channel, bool paused) {
    if (channel != 0 || !sound.device) return;
    SDL_LockAudioDevice(sound.device);
    if (const sample_record* s = sample_of(sound.channel.sample))
        sound.channel.playing = !paused && sound.channel.position < double(s->frames);
    SDL_UnlockAudioDevice(sound.device);
}

uint32_t position(int channel) {
    if (channel != 0 || !sound.device) return 0;
    SDL_LockAudioDevice(sound.device);
    const uint32_t pos = uint32_t(sound.channel.position);
    SDL_UnlockAudioDevice(sound.device);
    return pos;
}

int frequency(int channel) {
    if (channel == 0)
        if (const sample_record* s = sample_of(sound.channel.sample)) return s->rate;
    return sound.device_rate;
}

uint32_t sample_length(int sample) {
    const sample_record* s = sample_of(sample);
    return s ? s->frames : 0;
}

const float* spectrum() {
    if (!sound.spectrum_on || !sound.device || !sound.plan) {
        std::memset(sound.spectrum, 0, sizeof sound.spectrum);
        return sound.spectrum;
    }
    SDL_LockAudioDevice(sound.device);
    for (int i = 0; i < fft_size; ++i)
        sound.fft_in[i] = sound.history[(sound.history_next + i) % fft_size];
    SDL_UnlockAudioDevice(sound.device);
    for (int i = 0; i < fft_size; ++i)
        sound.fft_in[i] *= sound.window[i];
    fftwf_execute(sound.plan);
    // A full-scale sine in the middle of a bin reads about 1.
    const float norm = 2.0f / sound.window_sum;
    for (int k = 0; k < fft_size / 2; ++k) {
        const float re = sound.fft_out[k][0], im = sound.fft_out[k][1];
        sound.spectrum[k] = std::min(1.0f, std::sqrt(re * re + im * im) * norm);
    }
    return sound.spectrum;
}

void set_volume(int volume) {
    volume = std::clamp(volume, 0, 255);
    if (!sound.device) {
        sound.volume = volume;
        return;
    }
    SDL_LockAudioDevice(sound.device);
    sound.volume = volume;
    SDL_UnlockAudioDevice(sound.device);
}

void close() {
    if (!sound.device) return;
    SDL_CloseAudioDevice(sound.device);
    sound.device = 0;
    sound.samples.clear();
    sound.channel = channel_record{};
    if (sound.plan) fftwf_destroy_plan(sound.plan);
    fftwf_free(sound.fft_in);
    fftwf_free(sound.fft_out);
    sound.plan = nullptr;
    sound.fft_in = nullptr;
    sound.fft_out = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace platform::native_sound
