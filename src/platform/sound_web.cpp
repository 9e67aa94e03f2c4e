// Sound in the browser: one whole MP3 decoded by the same mpg123 code as on
// the desktop, played from a Web Audio buffer through a gain node (the
// volume and the fade), with a 512-bin magnitude spectrum (FFTW3) of what is
// being heard.
//
// The heard sample comes from the audio context's output timestamp: the
// context time at the device's output now, so what the device still holds
// is already taken off; the position never runs back.
//
// The music file is fetched when it is loaded, so only the version chosen
// crosses the network; a file the server does not have is a load that fails.
// The bodies of EM_JS below are JavaScript, which the C++ formatter mangles.
// clang-format off
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/mp3_decode.h"
#include "platform/native_sound.h"
#include "platform/sound_spectrum.h"
#include "platform/platform.h"

namespace platform::native_sound {
namespace {

constexpr int fft_size = spectrum_analyser::size;

struct sound_state {
    bool ready = false;
    std::vector<sample_record> samples; // handle = index + 1
    int playing_sample = 0;
    bool playing = false;
    double start_position = 0.0; // frames of the sample where the buffer started playing
    double heard_floor = 0.0;
    int volume = 255;
    bool spectrum_on = false;

    spectrum_analyser analyser;
};
sound_state sound;

const sample_record* sample_of(int handle) {
    if (handle <= 0 || handle > int(sound.samples.size())) return nullptr;
    return &sound.samples[size_t(handle - 1)];
}

// The page's audio context (made by the dialog's press, where the browser
// lets sound start) and a gain node in front of its output.
EM_JS(int, audio_open, (), {
    const q = (window.quorlaxen = window.quorlaxen || {});
    const Context = window.AudioContext || window.webkitAudioContext;
    try {
        if (!q.audio_context) {
            if (!Context) return 0;
            q.audio_context = new Context();
        }
        const context = q.audio_context;
        context.resume().catch(() => {});
        q.audio = {
            context,
            gain : context.createGain(),
            buffers : [],
            source : null,
            started_at_context_time : 0,
            start_offset_seconds : 0,
            playing : false
        };
        q.audio.gain.connect(context.destination);
        return 1;
    } catch (e) {
        console.error('audio: ' + e.message);
        return 0;
    }
});

// Fetches `url` into the file system at `path`; false when the server does
// not have it.
EM_ASYNC_JS(int, audio_fetch, (const char* url_pointer, const char* path_pointer), {
    const url = UTF8ToString(url_pointer).replace(new RegExp('/+', 'g'), '/');
    try {
        const response = await fetch(url);
        if (!response.ok) {
            console.error(url + ': ' + response.status + ' ' + response.statusText);
            return 0;
        }
        const bytes = new Uint8Array(await response.arrayBuffer());
        const path = UTF8ToString(path_pointer);
        const folder = path.substring(0, path.lastIndexOf('/'));
        if (folder) FS.mkdirTree(folder);
        FS.writeFile(path, bytes);
        return 1;
    } catch (e) {
        console.error(url + ': ' + e.message);
        return 0;
    }
});

// The decoded 16-bit frames as a Web Audio buffer at the file's own rate
// (the browser resamples to the device).
EM_JS(void, audio_buffer, (int handle, const int16_t* pcm, int frames, int channels, int rate), {
    const a = window.quorlaxen.audio;
    const buffer = a.context.createBuffer(channels, frames, rate);
    const values = HEAP16.subarray(pcm >> 1, (pcm >> 1) + frames * channels);
    for (let c = 0; c < channels; ++c) {
        const out = buffer.getChannelData(c);
        for (let i = 0, j = c; i < frames; ++i, j += channels)
            out[i] = values[j] / 32768;
    }
    a.buffers[handle] = buffer;
});

EM_JS(void, audio_start, (int handle, double offset_seconds), {
    const a = window.quorlaxen.audio;
    if (a.source) {
        a.source.onended = null;
        a.source.stop();
        a.source.disconnect();
    }
    const source = a.context.createBufferSource();
    source.buffer = a.buffers[handle];
    source.connect(a.gain);
    // Starts at the next render quantum; its first sample reaches the output
    // at this context time.
    a.started_at_context_time = a.context.currentTime;
    a.start_offset_seconds = offset_seconds;
    source.start(a.started_at_context_time, offset_seconds);
    source.onended = () => { a.playing = false; };
    a.source = source;
    a.playing = true;
});

EM_JS(void, audio_stop, (), {
    const a = window.quorlaxen && window.quorlaxen.audio;
    if (!a || !a.source) return;
    a.source.onended = null;
    a.source.stop();
    a.source.disconnect();
    a.source = null;
    a.playing = false;
});

// Seconds of the buffer heard now: the output timestamp's context time,
// carried forward to this instant on the page's clock.
EM_JS(double, audio_heard_seconds, (), {
    const a = window.quorlaxen.audio;
    const c = a.context;
    let now = c.currentTime - (c.outputLatency || c.baseLatency || 0);
    if (c.getOutputTimestamp) {
        const t = c.getOutputTimestamp();
        if (t.contextTime > 0 && t.performanceTime > 0)
            now = t.contextTime + Math.max(0, performance.now() - t.performanceTime) / 1000;
    }
    return a.start_offset_seconds + Math.max(0, now - a.started_at_context_time);
});

EM_JS(void, audio_volume, (double gain), {
    const a = window.quorlaxen.audio;
    a.gain.gain.setValueAtTime(gain, a.context.currentTime);
});

EM_JS(void, audio_close, (), {
    const q = window.quorlaxen;
    if (!q || !q.audio) return;
    q.audio.gain.disconnect();
    q.audio = null;
    if (q.audio_context) q.audio_context.suspend().catch(() => {});
});

// The channel position heard now, in frames of the sample.
double heard_position() {
    const sample_record* s = sample_of(sound.playing_sample);
    if (!s) return 0.0;
    if (!sound.playing) return sound.start_position;
    const double heard = audio_heard_seconds() * double(s->rate);
    return std::min(heard, double(s->frames));
}

} // namespace

bool init(int, int) {
    if (sound.ready) return true;
    if (!audio_open()) return false;
    open_spectrum(sound.analyser);
    sound.volume = 255;
    sound.ready = true;
    return true;
}

// Nothing is fetched ahead: only the version that plays crosses the network.
void preload(const char*) {}

int load(const char* file_name) {
    struct stat st;
    if (stat(file_name, &st) != 0 && !audio_fetch(file_name, file_name)) return 0;
    sample_record s;
    const bool ok = decode_whole(file_name, s);
    // The encoded file is not needed once decoded.
    unlink(file_name);
    if (!ok) return 0;
    sound.samples.push_back(std::move(s));
    const int handle = int(sound.samples.size());
    if (sound.ready) {
        const sample_record& r = sound.samples.back();
        audio_buffer(handle, r.pcm.data(), int(r.frames), r.channels, r.rate);
    }
    return handle;
}

void set_loop(int sample, bool loop) {
    if (sample_of(sample)) sound.samples[size_t(sample - 1)].loop = loop;
}

void enable_spectrum(bool on) { sound.spectrum_on = on; }

void play(int sample) {
    if (!sound.ready || !sample_of(sample)) return;
    sound.playing_sample = sample;
    sound.start_position = 0.0;
    sound.heard_floor = 0.0;
    sound.playing = true;
    audio_start(sample, 0.0);
}

void set_position(int channel, uint32_t sample_pos) {
    const sample_record* s = sample_of(sound.playing_sample);
    if (channel != 0 || !sound.ready || !s) return;
    sound.start_position = double(std::min(sample_pos, s->frames));
    sound.heard_floor = sound.start_position;
    if (sound.playing) audio_start(sound.playing_sample, sound.start_position / s->rate);
}

void set_paused(int channel, bool paused) {
    const sample_record* s = sample_of(sound.playing_sample);
    if (channel != 0 || !sound.ready || !s) return;
    if (paused && sound.playing) {
        sound.start_position = heard_position();
        sound.playing = false;
        audio_stop();
    } else if (!paused && !sound.playing && sound.start_position < double(s->frames)) {
        sound.playing = true;
        audio_start(sound.playing_sample, sound.start_position / s->rate);
    }
}

uint32_t position(int channel) {
    if (channel != 0 || !sound.ready) return 0;
    // Output timestamps jitter a little: the position only moves forward.
    sound.heard_floor = std::max(sound.heard_floor, heard_position());
    return uint32_t(sound.heard_floor);
}

int frequency(int channel) {
    if (channel == 0)
        if (const sample_record* s = sample_of(sound.playing_sample)) return s->rate;
    return 44100;
}

uint32_t sample_length(int sample) {
    const sample_record* s = sample_of(sample);
    return s ? s->frames : 0;
}

const float* spectrum() {
    const sample_record* s = sample_of(sound.playing_sample);
    if (!sound.spectrum_on || !sound.ready || !s) return silent_spectrum(sound.analyser);
    // The window ends at the frame being heard, at the volume it is heard.
    const int64_t heard_end = int64_t(heard_position());
    const float gain = float(sound.volume) / 255.0f;
    for (int i = 0; i < fft_size; ++i) {
        const int64_t f = heard_end - fft_size + i;
        float value = 0.0f;
        if (f >= 0 && f < int64_t(s->frames)) {
            const int16_t* p = &s->pcm[size_t(f) * s->channels];
            const float left = p[0] / 32768.0f, right = s->channels > 1 ? p[1] / 32768.0f : left;
            value = 0.5f * (left + right) * gain;
        }
        sound.analyser.in[i] = value;
    }
    return analyse(sound.analyser);
}

void set_volume(int volume) {
    sound.volume = std::clamp(volume, 0, 255);
    if (sound.ready) audio_volume(sound.volume / 255.0);
}

void close() {
    if (!sound.ready) return;
    audio_stop();
    audio_close();
    sound.samples.clear();
    sound.playing_sample = 0;
    sound.playing = false;
    close_spectrum(sound.analyser);
    sound.ready = false;
}

} // namespace platform::native_sound
