#include "render.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace forge_music {

namespace {

// The synthesizer renders in blocks of this many frames; events placed on
// block boundaries land exactly where they are put.
constexpr long block = 64;

long block_frame(double seconds) {
    return std::max(0L, std::lround(seconds * sample_rate / double(block)) * block);
}

struct event {
    long frame;
    int order; // controls first, then note-offs, then note-ons
    size_t index;
    int channel, a, b;
    control_kind kind;
};

struct synth_deleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};
struct settings_deleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};

// libfluidsynth fills its process-wide tables (the default modulators among
// them) inside the first new_fluid_synth, and a synthesizer created on
// another thread meanwhile does not wait for that: it copies modulators that
// are still blank and renders without velocity, volume, expression, pan or
// reverb send. Synthesizers are therefore created one at a time; loading the
// SoundFont and rendering still run in parallel.
std::mutex synth_creation;

} // namespace

stereo render_score(const score& s, const std::string& soundfont_path) {
    std::unique_lock<std::mutex> creating(synth_creation);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);

    std::unique_ptr<fluid_settings_t, settings_deleter> settings(new_fluid_settings());
    if (!settings) throw std::runtime_error("fluidsynth: cannot create settings");
    fluid_settings_t* st = settings.get();
    fluid_settings_setnum(st, "synth.sample-rate", sample_rate);
    fluid_settings_setint(st, "synth.cpu-cores", 1);
    fluid_settings_setint(st, "synth.polyphony", 512);
    fluid_settings_setint(st, "synth.threadsafe-api", 0);
    fluid_settings_setint(st, "synth.chorus.active", 0);
    fluid_settings_setint(st, "synth.reverb.active", 1);
    fluid_settings_setnum(st, "synth.reverb.room-size", 0.55);
    fluid_settings_setnum(st, "synth.reverb.damp", 0.35);
    fluid_settings_setnum(st, "synth.reverb.width", 0.9);
    fluid_settings_setnum(st, "synth.reverb.level", 0.6);
    fluid_settings_setnum(st, "synth.gain", 0.25);

    std::unique_ptr<fluid_synth_t, synth_deleter> synth(new_fluid_synth(st));
    if (!synth) throw std::runtime_error("fluidsynth: cannot create the synthesizer");
    fluid_synth_t* sy = synth.get();
    creating.unlock();
    int font = fluid_synth_sfload(sy, soundfont_path.c_str(), 1);
    if (font == FLUID_FAILED) throw std::runtime_error("fluidsynth: cannot load SoundFont " + soundfont_path);

    std::vector<event> events;
    events.reserve(s.controls.size() + 2 * s.notes.size());
    for (size_t i = 0; i < s.controls.size(); ++i) {
        const control& c = s.controls[i];
        events.push_back({block_frame(c.time), 0, i, c.channel, c.number, c.value, c.kind});
    }
    for (size_t i = 0; i < s.notes.size(); ++i) {
        const note& n = s.notes[i];
        long on = block_frame(n.start);
        long off = std::max(on + block, block_frame(n.start + n.length));
        events.push_back(
            {on, 2, i, n.channel, n.key, std::clamp(n.velocity, 1, 127), control_kind::controller});
        events.push_back({off, 1, i, n.channel, n.key, 0, control_kind::controller});
    }
    std::sort(events.begin(), events.end(), [](const event& x, const event& y) {
        if (x.frame != y.frame) return x.frame < y.frame;
        if (x.order != y.order) return x.order < y.order;
        return x.index < y.index;
    });

    if (!(s.length > 0) || s.length * sample_rate > double(std::numeric_limits<int>::max() - block))
        throw std::runtime_error("render: score length " + std::to_string(s.length) + " s is out of range");
    long total = std::lround(s.length * sample_rate);
    stereo out;
    out.left.assign(size_t(total), 0.0f);
    out.right.assign(size_t(total), 0.0f);
    long done = 0;
    auto render_to = [&](long frame) {
        frame = std::min(frame, total);
        while (done < frame) {
            int n = int(std::min(frame - done, 4096L));
            fluid_synth_write_float(sy, n, out.left.data(), int(done), 1, out.right.data(), int(done), 1);
            done += n;
        }
    };
    for (const event& e : events) {
        render_to(e.frame);
        if (e.order == 2) {
            fluid_synth_noteon(sy, e.channel, e.a, e.b);
        } else if (e.order == 1) {
            fluid_synth_noteoff(sy, e.channel, e.a);
        } else if (e.kind == control_kind::program) {
            if (fluid_synth_program_select(sy, e.channel, font, e.b, e.a) != FLUID_OK)
                throw std::runtime_error("fluidsynth: no preset " + std::to_string(e.b) + ":" +
                                         std::to_string(e.a) + " in " + soundfont_path);
        } else if (e.kind == control_kind::drum_channel) {
            fluid_synth_set_channel_type(sy, e.channel, CHANNEL_TYPE_DRUM);
        } else if (e.kind == control_kind::pitch_bend) {
            fluid_synth_pitch_bend(sy, e.channel, std::clamp(e.b, 0, 16383));
        } else if (e.kind == control_kind::bend_range) {
            fluid_synth_pitch_wheel_sens(sy, e.channel, e.b);
        } else {
            fluid_synth_cc(sy, e.channel, e.a, e.b);
        }
    }
    render_to(total);
    return out;
}

} // namespace forge_music
