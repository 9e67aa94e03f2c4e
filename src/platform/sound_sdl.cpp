// Sound: an SDL2 audio device mixing one whole decoded MP3 (mpg123) on
// channel 0, with a 512-bin magnitude spectrum of the mixed output (FFTW3).
//
// What is heard lags what has been mixed by what the device still holds: the
// buffer being mixed, and with a sound server the buffer it keeps of its own.
// The position and the spectrum are taken at the heard sample, which the
// high-resolution counter carries forward between mixing calls.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mp3_decode.h"
#include "platform/native_sound.h"
#include "platform/platform.h"
#include "platform/sound_spectrum.h"

namespace platform::native_sound {
namespace {

constexpr int fft_size = spectrum_analyser::size;

struct channel_record {
    int sample = 0;        // handle, 0 = none
    double position = 0.0; // in frames of the sample, fractional while resampling
    bool playing = false;
};

// The latest mixing call: when it ran and what it handed the device.
struct mix_record {
    bool seen = false;         // a call since the position was last set
    uint64_t counter = 0;      // SDL's performance counter when it ran
    uint64_t mixed_end = 0;    // device frames mixed in all, after it
    int frames = 0;            // device frames it wrote: what the device still holds then
    double start = 0.0;        // channel position at its first frame
    double end = 0.0;          // channel position after its last frame
    double advance = 0.0;      // sample frames per device frame
    bool playing_after = true; // the channel still played at its end
};

struct sound_state {
    SDL_AudioDeviceID device = 0;
    int device_rate = 44100;
    // Device frames still to be heard, beyond the buffer being mixed, when
    // a mixing call runs.
    int held_beyond = 0;
    std::vector<sample_record> samples; // handle = index + 1
    channel_record channel;
    int volume = 255;
    bool spectrum_on = false;

    // Mixed mono values by device frame (frame f at f % history_size),
    // enough for what the device holds and one analysis window behind it.
    std::vector<float> history;
    uint64_t mixed = 0; // device frames mixed since the device opened
    mix_record last_mix;
    double heard_floor = 0.0; // the position never reads lower than this until it is set

    spectrum_analyser analyser;
};

// Never destroyed: the mixing thread may still run while the process exits.
sound_state& sound = *new sound_state;

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
    mix_record& m = sound.last_mix;
    m.counter = SDL_GetPerformanceCounter();
    m.start = ch.position;
    m.advance = advance;
    const size_t history_size = sound.history.size();
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
        sound.history[size_t((sound.mixed + uint64_t(i)) % history_size)] = 0.5f * (left + right);
    }
    sound.mixed += uint64_t(frames);
    m.mixed_end = sound.mixed;
    m.frames = frames;
    m.end = ch.position;
    m.playing_after = ch.playing;
    m.seen = true;
}

// Device frames the device holds after the latest mixing call at first.
int frames_held_at_mix(const mix_record& m) { return m.frames + sound.held_beyond; }

// Device frames played since the latest mixing call, up to all it held.
double frames_heard_since_mix(const mix_record& m) {
    const double seconds =
        double(SDL_GetPerformanceCounter() - m.counter) / double(SDL_GetPerformanceFrequency());
    return std::clamp(seconds * double(sound.device_rate), 0.0, double(frames_held_at_mix(m)));
}

// The channel position being heard now, in sample frames: behind the
// latest mixing call's first frame by what the device held beyond it, less
// what has played since. Caller holds the device lock.
double heard_position() {
    const mix_record& m = sound.last_mix;
    const channel_record& ch = sound.channel;
    if (!m.seen) return ch.position; // nothing of it has reached the device yet
    double heard = m.start + (frames_heard_since_mix(m) - sound.held_beyond) * m.advance;
    const sample_record* s = sample_of(ch.sample);
    if (!m.playing_after)
        heard = std::min(heard, m.end);
    else if (s && s->loop && s->frames > 0 && heard >= double(s->frames))
        heard = std::fmod(heard, double(s->frames));
    return heard;
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
    // SDL's WASAPI driver hands the device one period at a time. A mixing
    // call of another size would go through SDL's re-buffering stream, whose
    // leftover (up to a period) changes from call to call: the call takes
    // the period's size instead, so what is held is the same at every call.
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool wasapi = driver && std::strcmp(driver, "wasapi") == 0;
    sound.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, wasapi ? SDL_AUDIO_ALLOW_SAMPLES_CHANGE : 0);
    if (!sound.device) {
        SDL_Log("sound: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sound.device_rate = have.freq;
    // SDL's PulseAudio driver asks the server to keep one device buffer
    // (its target length) and writes the next one as the server takes it
    // in, so at a mixing call a whole buffer is still ahead of the sample
    // being heard (measured through a null sink: 1020 of 1024 frames, the
    // server's own latency inside it). SDL's WASAPI driver mixes a period
    // once the device holds no more than one (anywhere from nothing to a
    // period, half on average), and the device plays what it holds after
    // the stream latency WASAPI reports (under Wine into a null sink the
    // stream latency alone left the position 3 to 5 ms ahead of the sample
    // heard, half a period 5 ms). The other drivers take a buffer as they
    // play it.
    sound.held_beyond = driver && std::strcmp(driver, "pulseaudio") == 0 ? int(have.samples) : 0;
#if defined(_WIN32)
    if (wasapi) sound.held_beyond = device_latency_frames(have.freq) + int(have.samples) / 2;
#endif
    sound.volume = 255;
    sound.channel = channel_record{};
    sound.last_mix = mix_record{};
    sound.heard_floor = 0.0;
    sound.mixed = 0;
    sound.history.assign(size_t(2 * std::max(int(have.samples), fft_size) + sound.held_beyond + fft_size),
                         0.0f);

    open_spectrum(sound.analyser);
    return true;
}

namespace {

// A file decoded ahead on the sound system's own thread.
struct preload_job {
    std::string file_name;
    mp3_decode decode;
    bool started = false;
    bool done = false;
    bool ok = false;
    bool dropped = false; // nobody will take it: the worker frees it
};

struct preload_state {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<preload_job>> jobs; // in the order asked
    preload_job* wanted = nullptr;                  // a load waits for this one
    std::thread worker;
    bool stop = false;
};

// Never destroyed, like the sound state: the worker may run while the process exits.
preload_state& preloads = *new preload_state;

// Decodes the jobs a chunk at a time, in turn, so every file gets on at
// the same pace; a job that a load waits for goes alone.
void preload_worker() {
    std::unique_lock<std::mutex> held(preloads.lock);
    size_t turn = 0;
    for (;;) {
        auto& jobs = preloads.jobs;
        // Dropped jobs are freed here, away from the caller.
        for (size_t i = 0; i < jobs.size();)
            if (jobs[i]->dropped && jobs[i].get() != preloads.wanted)
                jobs.erase(jobs.begin() + long(i));
            else
                ++i;
        preload_job* job = preloads.wanted && !preloads.wanted->done ? preloads.wanted : nullptr;
        for (size_t k = 0; !job && k < jobs.size(); ++k) {
            preload_job* candidate = jobs[(turn + k) % jobs.size()].get();
            if (!candidate->done && !candidate->dropped) job = candidate;
        }
        if (!job) {
            if (preloads.stop) return;
            preloads.changed.wait(held);
            continue;
        }
        if (preloads.stop) return;
        ++turn;
        held.unlock();
        bool more = true;
        if (!job->started) {
            job->started = true;
            more = job->decode.begin(job->file_name.c_str());
        }
        if (more) more = job->decode.step();
        bool ok = false;
        if (!more) ok = job->decode.finish();
        held.lock();
        if (!more) {
            job->done = true;
            job->ok = ok;
            preloads.changed.notify_all();
        }
    }
}

// Ends the worker and forgets every preloaded file.
void stop_preloads() {
    {
        std::lock_guard<std::mutex> held(preloads.lock);
        preloads.stop = true;
    }
    preloads.changed.notify_all();
    if (preloads.worker.joinable()) preloads.worker.join();
    preloads.jobs.clear();
    preloads.wanted = nullptr;
    preloads.stop = false;
}

// The preloaded sample of `file_name`, waiting for its decode to end. False
// when the file was never preloaded; *ok tells whether it decoded.
bool take_preloaded(const char* file_name, sample_record* out, bool* ok) {
    std::unique_lock<std::mutex> held(preloads.lock);
    preload_job* job = nullptr;
    for (auto& j : preloads.jobs)
        if (!j->dropped && j->file_name == file_name) job = j.get();
    if (!job) return false;
    preloads.wanted = job;
    preloads.changed.notify_all();
    preloads.changed.wait(held, [&] { return job->done; });
    preloads.wanted = nullptr;
    *ok = job->ok;
    job->dropped = true;
    if (job->ok) {
        *out = std::move(job->decode.sample);
        // The show plays one sample: the other files will not be asked for.
        for (auto& j : preloads.jobs)
            j->dropped = true;
    }
    preloads.changed.notify_all();
    return true;
}

} // namespace

void preload(const char* file_name) {
    if (!file_name) return;
    std::lock_guard<std::mutex> held(preloads.lock);
    for (auto& j : preloads.jobs)
        if (!j->dropped && j->file_name == file_name) return;
    auto job = std::make_unique<preload_job>();
    job->file_name = file_name;
    preloads.jobs.push_back(std::move(job));
    if (!preloads.worker.joinable()) preloads.worker = std::thread(preload_worker);
    preloads.changed.notify_all();
}

int load(const char* file_name) {
    sample_record s;
    bool ok = false;
    if (!take_preloaded(file_name, &s, &ok)) ok = decode_whole(file_name, s);
    if (!ok) return 0;

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
    sound.last_mix.seen = false;
    sound.heard_floor = 0.0;
    SDL_UnlockAudioDevice(sound.device);
    SDL_PauseAudioDevice(sound.device, 0);
}

void set_position(int channel, uint32_t sample_pos) {
    if (channel != 0 || !sound.device) return;
    SDL_LockAudioDevice(sound.device);
    if (const sample_record* s = sample_of(sound.channel.sample)) {
        sound.channel.position = double(std::min(sample_pos, s->frames));
        sound.last_mix.seen = false;
        sound.heard_floor = sound.channel.position;
    }
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
    const double heard = heard_position();
    const sample_record* s = sample_of(sound.channel.sample);
    // Counter and mixing calls jitter a little: a looping sample may start
    // over, anything else only moves forward.
    if (!(s && s->loop) && heard < sound.heard_floor) {
        SDL_UnlockAudioDevice(sound.device);
        return uint32_t(sound.heard_floor);
    }
    sound.heard_floor = heard;
    SDL_UnlockAudioDevice(sound.device);
    return uint32_t(heard);
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
    if (!sound.spectrum_on || !sound.device) return silent_spectrum(sound.analyser);
    SDL_LockAudioDevice(sound.device);
    // The window ends at the device frame being heard now.
    const mix_record& m = sound.last_mix;
    const uint64_t held =
        m.frames > 0 ? uint64_t(frames_held_at_mix(m)) - uint64_t(frames_heard_since_mix(m)) : 0;
    const int64_t heard_end = int64_t(sound.mixed) - int64_t(held);
    const size_t history_size = sound.history.size();
    for (int i = 0; i < fft_size; ++i) {
        const int64_t f = heard_end - fft_size + i;
        sound.analyser.in[i] = f < 0 ? 0.0f : sound.history[size_t(uint64_t(f) % history_size)];
    }
    SDL_UnlockAudioDevice(sound.device);
    return analyse(sound.analyser);
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
    stop_preloads();
    if (!sound.device) return;
    SDL_CloseAudioDevice(sound.device);
    sound.device = 0;
    sound.samples.clear();
    sound.channel = channel_record{};
    close_spectrum(sound.analyser);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace platform::native_sound
