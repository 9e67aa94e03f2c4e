#include "piece.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

#include "parts/show_clock.h"
#include "scenes/scene_times.h"

// The piece, on the music clock (= show clock), tempo from each span's beats:
//
//   0.00   dawn       D minor, 2 bars ~97 bpm: a swell out of nothing while the halves open
//   4.95   title      D minor, 9 bars ~101: the theme stated slowly, the band joins, snare roll
//  26.40   machine    D minor, 8 bars ~121: sixteenth ostinato, horn call, trumpet fanfare
//  42.26   trumpets   theme A (D minor) and theme B (F major), 19 bars ~121, build to cue 1
//  80.00   cue 1      B-flat fanfare; 85.14 cue 2 crowd march (G minor); 92.85 cue 3 swell
//  98.00   greetings  a quiet solo; pick-up strokes at 104.94 and 105.01
// 105.134  groove     24 bars ~119: theme A low, razors (theme B in C), falling trombones
// 153.62   sea        F major barcarolle, 12 bars of 3/4 ~91
// 177.38   finale     D major ~130: fanfare, theme A in major, the gun's three recoils,
//                     the parade (theme B in D), stop-time cues, coda, final chord as the
//                     telos halves meet (241.87), rung out to 247 s.
//
// Hit points on the cue table are show-clock times as they are; hit points taken
// from the picture (finale, recoils, halves) are production-clock times
// converted with show_time_of_scene.

namespace forge_music {

double show_time_of_scene(double scene_time) {
    // The production clock advances by rate(T) per second of show clock, so
    // the show time of scene time T is the integral of 1 / rate over [0, T].
    auto rate = [](double t) { return shape_frame_step(t, 1.0); };
    if (scene_time <= 0) return scene_time / 1.01;
    int n = std::max(2, int(std::ceil(scene_time / 0.002)));
    if (n % 2) ++n;
    const double h = scene_time / n;
    double sum = 1.0 / rate(0) + 1.0 / rate(scene_time);
    for (int i = 1; i < n; ++i)
        sum += (i % 2 ? 4.0 : 2.0) / rate(i * h);
    return sum * h / 3.0;
}

namespace {

// --- timeline -------------------------------------------------------------

// Production-clock moments the music follows (converted with
// show_time_of_scene; the camera hand-over and the gun's shots are the
// picture's own, from scenes/scene_times.h); the cue times are show-clock
// times already.
constexpr double scene_halves_open = 5.0; // telos halves fully apart
constexpr double scene_sea = 155.0;       // glow disc rises over the sea
constexpr double scene_finale = 179.0;    // the finale backdrop fades in
constexpr double scene_halves_meet = 242.8 + 1.0 / 0.75;

enum span_id {
    s_dawn,
    s_title,
    s_machine,
    s_trumpets,
    s_cue1,
    s_cue2,
    s_cue3,
    s_breakdown,
    s_groove,
    s_sea,
    s_finale,
    s_recoil1,
    s_recoil2,
    s_parade,
    s_hit1,
    s_hit2,
    s_coda,
    s_close,
    span_count
};

struct span_plan {
    double start;
    int beats;
    int meter;
};

std::vector<span_plan> plan() {
    return {
        {0.0, 8, 4},                                    // dawn, ~97 bpm
        {show_time_of_scene(scene_halves_open), 36, 4}, // title and doodles, ~101 bpm
        {26.40, 32, 4},                                 // machine, ~121 bpm
        {show_time_of_scene(camera_hand_over_time), 76, 4},
        {show_cues[0].start, 10, 4},
        {show_cues[1].start, 15, 4},
        {show_cues[2].start, 10, 4},
        {show_cues[2].end, 14, 4}, // to cue 5's end; cues 4 and 5 are pick-up hits
        {show_cues[4].end, 96, 4},
        {show_time_of_scene(scene_sea), 36, 3},
        {show_time_of_scene(scene_finale), 48, 4},
        {show_time_of_scene(gun_shot_times[0]), 15, 4},
        {show_time_of_scene(gun_shot_times[1]), 13, 4},
        {show_time_of_scene(gun_shot_times[2]), 30, 4},
        {show_cues[6].start, 2, 4}, // the finale's cues
        {show_cues[8].start, 5, 4},
        {show_cues[8].end, 26, 4},
        {show_time_of_scene(scene_halves_meet), 8, 4},
    };
}

std::vector<int> bars_of(int beats, int meter) {
    if (meter == 4) return bar_lengths(beats);
    std::vector<int> bars(size_t(beats / meter), meter);
    if (beats % meter) bars.push_back(beats % meter);
    return bars;
}

// A stretch of bars on the global beat grid.
struct section {
    double beat = 0;
    std::vector<int> bars;
    double beats() const { return std::accumulate(bars.begin(), bars.end(), 0.0); }
    double bar_beat(size_t i) const {
        return std::accumulate(bars.begin(), bars.begin() + long(std::min(i, bars.size())), 0.0);
    }
};

// --- the band ---------------------------------------------------------------

// Channels by role; the two versions give them different instruments.
enum channel_role {
    lead = 0,  // v1 trumpet, v2 harmon-muted trumpet
    lead2 = 1, // trumpet
    horn = 2,
    bone = 3,
    bass = 4, // v1 tuba, v2 fingered bass
    flute = 5,
    high = 6, // v1 piccolo, v2 marimba
    pad = 7,  // v1 strings, v2 warm pad
    comp = 8, // v1 pizzicato strings, v2 electric piano
    kit = 9,  // v1 standard kit, v2 power kit
    timp = 10,
    bell = 11,  // v1 glockenspiel, v2 vibraphone
    brass = 12, // brass section
    extra = 13, // v1 harp, v2 tuba
    reed = 14,  // clarinet
    orch = 15,  // orchestra percussion kit
};

struct voice_setup {
    int bank, program, volume, pan, reverb;
};

// Drum keys (General MIDI).
enum drum_key {
    k_kick = 36,
    k_concert_bd = 35,
    k_rim = 37,
    k_snare = 38,
    k_clap = 39,
    k_snare2 = 40,
    k_tom_low = 45,
    k_tom_mid = 47,
    k_tom_high = 50,
    k_hat = 42,
    k_pedal_hat = 44,
    k_open_hat = 46,
    k_crash = 49,
    k_ride = 51,
    k_china = 52,
    k_crash2 = 57,
    k_tambourine = 54,
};

struct writer {
    int version = 1;
    score s;
    tempo_map map;
    std::vector<span_plan> spans;
    std::vector<note> accents; // hits, added after the clearing before them
    std::vector<double> hits;
    uint32_t rng = 0x51f15eedu;

    double beat_of_span(int id) const {
        double b = 0;
        for (int i = 0; i < id; ++i)
            b += spans[size_t(i)].beats;
        return b;
    }
    section span(int id, size_t first_bar = 0, size_t count = size_t(-1)) const {
        std::vector<int> all = bars_of(spans[size_t(id)].beats, spans[size_t(id)].meter);
        section sec;
        sec.beat = beat_of_span(id);
        for (size_t i = 0; i < first_bar && i < all.size(); ++i)
            sec.beat += all[i];
        for (size_t i = first_bar; i < all.size() && sec.bars.size() < count; ++i)
            sec.bars.push_back(all[i]);
        return sec;
    }
    double time(double beat) const { return seconds_at(map, beat); }
    // Small deterministic velocity variation, as players never hit twice alike.
    int humanize(int velocity) {
        rng = rng * 1664525u + 1013904223u;
        int d = int((rng >> 24) % 9) - 4;
        return std::clamp(velocity + d, 1, 127);
    }
};

void put(writer& w, double beat, double length, int channel, int key, int velocity) {
    if (velocity <= 0 || key < 0 || key > 127) return;
    double t0 = w.time(beat), t1 = w.time(beat + length);
    w.s.notes.push_back({t0, std::max(0.02, t1 - t0), channel, key, w.humanize(velocity)});
}

void put_at(writer& w, double t, double length, int channel, int key, int velocity) {
    w.s.notes.push_back({t, length, channel, key, std::clamp(velocity, 1, 127)});
}

void cc(writer& w, double beat, int channel, int number, int value) {
    w.s.controls.push_back(
        {w.time(beat), channel, control_kind::controller, number, std::clamp(value, 0, 127)});
}

// A controller moving linearly from v0 to v1 between two beats.
void cc_ramp(writer& w, double b0, double b1, int channel, int number, int v0, int v1) {
    int steps = std::max(1, int((b1 - b0) * 8));
    for (int i = 0; i <= steps; ++i) {
        double f = double(i) / steps;
        cc(w, b0 + (b1 - b0) * f, channel, number, int(std::lround(v0 + (v1 - v0) * f)));
    }
}

// --- harmony helpers --------------------------------------------------------

bool in_chord(const chord& c, int key) {
    for (int iv : c.intervals)
        if ((c.root + iv) % 12 == ((key % 12) + 12) % 12) return true;
    return ((c.bass - key) % 12 + 12) % 12 == 0;
}

const chord& chord_at_beat(const std::vector<chord_at>& chords, double beat) {
    for (const chord_at& c : chords)
        if (beat >= c.beat - 1e-9 && beat < c.beat + c.length - 1e-9) return c.value;
    return chords.back().value;
}

// Closed voicing of `count` chord tones from just below `center` upward.
std::vector<int> voicing(const chord& c, int center, int count) {
    std::vector<int> keys;
    for (int k = center - 5; k < center + 24 && int(keys.size()) < count; ++k) {
        bool tone = false;
        for (int iv : c.intervals)
            if ((c.root + iv) % 12 == k % 12) tone = true;
        if (tone) keys.push_back(k);
    }
    return keys;
}

// The bass note of a chord in the octave from `low` up.
int bass_key(const chord& c, int low) {
    int k = low;
    while (k % 12 != c.bass)
        ++k;
    return k;
}

// The chord tone nearest below a melody note, at least a minor third under it.
int harmony_below(const chord& c, int key) {
    for (int k = key - 3; k > key - 10; --k)
        if (in_chord(c, k) && (c.bass != (k % 12) || c.intervals.size() < 3 || k % 12 == c.root)) return k;
    return key - 5;
}

// --- writing parts ----------------------------------------------------------

// Places a melody from `at` beats into the section; notes past its end are
// cut at the end. `transpose` in semitones.
void melody(writer& w, const section& sec, double at, int ch, const std::string& text, int velocity,
            int transpose = 0, double gate = 0.95) {
    double end = sec.beats();
    for (const melody_note& n : parse_melody(text)) {
        if (n.key < 0 || at + n.beat >= end - 1e-9) continue;
        double len = std::min(n.length, end - at - n.beat);
        put(w, sec.beat + at + n.beat, len * (n.staccato ? 0.45 : gate), ch, n.key + transpose,
            velocity + 14 * n.accent);
    }
}

// A second voice a third to a sixth under the melody, on chord tones.
void harmonize(writer& w, const section& sec, double at, int ch, const std::string& text,
               const std::vector<chord_at>& chords, int velocity, int transpose = 0) {
    double end = sec.beats();
    for (const melody_note& n : parse_melody(text)) {
        if (n.key < 0 || at + n.beat >= end - 1e-9) continue;
        double len = std::min(n.length, end - at - n.beat);
        const chord& c = chord_at_beat(chords, at + n.beat);
        put(w, sec.beat + at + n.beat, len * (n.staccato ? 0.45 : 0.95), ch,
            harmony_below(c, n.key + transpose), velocity + 10 * n.accent);
    }
}

void pads(writer& w, const section& sec, int ch, const std::vector<chord_at>& chords, int center,
          int velocity, int voices, double gate = 1.0) {
    for (const chord_at& c : chords)
        for (int k : voicing(c.value, center, voices))
            put(w, sec.beat + c.beat, c.length * gate, ch, k, velocity);
}

enum class bass_style { whole, halves, oompah, walk, octaves, funk, barcarolle, pulse };

void bass_line(writer& w, const section& sec, int ch, const std::vector<chord_at>& chords, bass_style style,
               int low, int velocity) {
    for (size_t i = 0; i < chords.size(); ++i) {
        const chord_at& c = chords[i];
        int root = bass_key(c.value, low);
        int fifth = root + 7 > low + 14 ? root - 5 : root + 7;
        double b = sec.beat + c.beat;
        int beats = int(std::lround(c.length));
        switch (style) {
        case bass_style::whole:
            put(w, b, c.length, ch, root, velocity);
            break;
        case bass_style::halves:
            for (int k = 0; k < beats; k += 2)
                put(w, b + k, std::min(2, beats - k) * 0.95, ch, k % 4 ? fifth : root, velocity);
            break;
        case bass_style::oompah:
            for (int k = 0; k < beats; ++k)
                if (k % 2 == 0) put(w, b + k, 0.7, ch, (k / 2) % 2 ? fifth : root, velocity);
            break;
        case bass_style::pulse:
            for (int k = 0; k < beats * 2; ++k)
                put(w, b + k * 0.5, 0.4, ch, root, velocity - (k % 2) * 14);
            break;
        case bass_style::walk: {
            int next = i + 1 < chords.size() ? bass_key(chords[i + 1].value, low) : root;
            int third = root + c.value.intervals[1 % c.value.intervals.size()];
            int line[4] = {root, third, root + 7, next + (next > root ? -1 : 1)};
            for (int k = 0; k < beats; ++k)
                put(w, b + k, 0.9, ch, line[k % 4], velocity - (k % 2) * 8);
            break;
        }
        case bass_style::octaves:
            for (int k = 0; k < beats * 2; ++k)
                put(w, b + k * 0.5, 0.42, ch, root + (k % 2) * 12, velocity - (k % 2) * 10);
            break;
        case bass_style::funk: {
            // A syncopated sixteenth figure per beat pair.
            static const double at[] = {0, 0.75, 1.5, 2.0, 2.5, 3.25, 3.5};
            static const int off[] = {0, 0, 12, 0, 7, 10, 12};
            for (size_t k = 0; k < 7; ++k)
                if (at[k] < c.length - 1e-9)
                    put(w, b + at[k], 0.22, ch, root + off[k], velocity - (k % 2) * 12);
            break;
        }
        case bass_style::barcarolle:
            put(w, b, 1.8, ch, root, velocity);
            if (beats >= 3) put(w, b + 2, 0.9, ch, fifth, velocity - 15);
            break;
        }
    }
}

// Chord stabs on a sixteenth grid written for a 4/4 bar; each stab lasts
// `length` beats.
void stabs(writer& w, const section& sec, int ch, const std::vector<chord_at>& chords,
           const std::string& rhythm, int center, int velocity, int voices, double length) {
    std::vector<int> grid = parse_groove(rhythm);
    double bar = 0;
    for (int beats : sec.bars) {
        for (int i = 0; i < beats * 4; ++i) {
            int v = grid[size_t(i) % grid.size()];
            if (!v) continue;
            double at = bar + i * 0.25;
            for (int k : voicing(chord_at_beat(chords, at), center, voices))
                put(w, sec.beat + at, length, ch, k, velocity * v / 100);
        }
        bar += beats;
    }
}

// Broken chords: `step` beats per note, up two octaves and back.
void arpeggio(writer& w, const section& sec, int ch, const std::vector<chord_at>& chords, double step,
              int center, int velocity, int notes_per_turn = 6) {
    double end = sec.beats();
    int i = 0;
    for (double at = 0; at < end - 1e-9; at += step, ++i) {
        std::vector<int> keys = voicing(chord_at_beat(chords, at), center, notes_per_turn / 2 + 1);
        int n = int(keys.size());
        int phase = i % (2 * n - 2);
        int k = phase < n ? keys[size_t(phase)] : keys[size_t(2 * n - 2 - phase)];
        put(w, sec.beat + at, step * 1.6, ch, k, velocity - (i % 2) * 10);
    }
}

struct drum_line {
    int key;
    std::string pattern;
};

// Drum grooves: each line's pattern runs over every bar (cut or wrapped to
// the bar's length); with `fill` the last two beats of the section become a
// snare and tom fill.
void groove(writer& w, const section& sec, int ch, const std::vector<drum_line>& lines, int scale = 100,
            bool fill = false, bool crash_first = false) {
    double bar = 0;
    double end = sec.beats();
    for (size_t b = 0; b < sec.bars.size(); ++b) {
        int beats = sec.bars[b];
        for (const drum_line& line : lines) {
            std::vector<int> grid = parse_groove(line.pattern);
            for (int i = 0; i < beats * 4; ++i) {
                double at = bar + i * 0.25;
                if (fill && at >= end - 2 - 1e-9) continue;
                int v = grid[size_t(i) % grid.size()];
                if (v) put(w, sec.beat + at, 0.2, ch, line.key, v * scale / 100);
            }
        }
        bar += beats;
    }
    if (crash_first) put(w, sec.beat, 1.0, ch, k_crash, 110 * scale / 100);
    if (fill) {
        static const int toms[] = {k_snare,   k_snare,   k_tom_high, k_tom_high,
                                   k_tom_mid, k_tom_mid, k_tom_low,  k_tom_low};
        for (int i = 0; i < 8; ++i) {
            int key = w.version == 1 ? (i < 6 ? k_snare : k_tom_low) : toms[i];
            put(w, sec.beat + end - 2 + i * 0.25, 0.2, ch, key, (70 + i * 7) * scale / 100);
        }
        put(w, sec.beat + end - 2, 0.2, ch, k_kick, 90 * scale / 100);
    }
}

// A roll of evenly spaced strokes with a velocity ramp, in seconds.
void roll(writer& w, int ch, int key, double t0, double t1, int v0, int v1, double strokes_per_second = 24) {
    int n = std::max(1, int((t1 - t0) * strokes_per_second));
    for (int i = 0; i < n; ++i) {
        double f = double(i) / n;
        put_at(w, t0 + (t1 - t0) * f, 0.08, ch, key, int(v0 + (v1 - v0) * f));
    }
}

// A tutti accent at an absolute time: cymbals, bass drums, timpani, a short
// brass chord and low brass. Everything leading into it is cleared first
// (see clear_before_hits) so that the accent starts from a breath.
void hit(writer& w, double t, double strength, const std::string& symbol, double length) {
    chord c = parse_chord(symbol);
    auto v = [strength](int base) { return std::clamp(int(base * strength), 1, 127); };
    w.hits.push_back(t);
    auto add = [&](int ch, int key, int vel, double len) { w.accents.push_back({t, len, ch, key, vel}); };
    add(orch, k_crash, v(120), 2.0);
    add(orch, k_concert_bd, v(120), 1.5);
    add(kit, k_kick, v(118), 0.3);
    add(kit, w.version == 1 ? k_crash2 : k_china, v(112), 1.5);
    // The heaviest accents get a second, brighter cymbal.
    if (strength >= 1.15 && w.version == 1) add(kit, k_china, v(100), 1.5);
    add(kit, k_snare, v(100), 0.2);
    add(timp, bass_key(c, 38), v(120), 1.2);
    for (int k : voicing(c, 72, 4))
        add(brass, k, v(118), length);
    for (int k : voicing(c, 60, 3))
        add(lead2, k + 12 * (k < 66), v(112), length);
    add(bone, bass_key(c, 46), v(118), length);
    add(horn, bass_key(c, 55) + 7, v(110), length);
    add(bass, bass_key(c, 34), v(118), length);
    if (w.version == 2) add(extra, bass_key(c, 34), v(110), length);
}

// Quiets every part just before each hit: short strokes that would start in
// the last 250 ms are dropped (a drum keeps ringing after its note ends) and
// held notes end 50 ms early.
void clear_before_hits(writer& w) {
    std::vector<note> kept;
    kept.reserve(w.s.notes.size());
    for (note n : w.s.notes) {
        bool drop = false;
        for (double h : w.hits) {
            if (n.start >= h - 0.25 && n.start < h - 0.004) {
                if (n.length < 0.5)
                    drop = true;
                else
                    n.length = std::max(0.03, h - 0.05 - n.start);
            }
            if (n.start < h - 0.25 && n.start + n.length > h - 0.05)
                n.length = std::max(0.03, h - 0.05 - n.start);
        }
        if (!drop) kept.push_back(n);
    }
    w.s.notes = std::move(kept);
    w.s.notes.insert(w.s.notes.end(), w.accents.begin(), w.accents.end());
}

// --- the tunes --------------------------------------------------------------

// Theme A, D minor: the march the trumpets play.
const char* theme_a = "D5:1.5 A4:0.5 D5:0.5 E5 F5 G5 | A5:2 F5:1 D5 | Bb5:1.5 A5:0.5 G5:1 F5 | E5:3 r:1 |"
                      "D5:1.5 A4:0.5 D5:0.5 E5 F5 G5 | A5:1 C6 Bb5 A5 | G5:1 E5:0.5 F5 G5:1 C#5 | D5:3 r:1";
const char* chords_a = "Dm | Dm | Gm7 | A | Dm | F C | Gm A7 | Dm";
// Theme A in D major, for the finale.
const char* theme_a_major =
    "D5:1.5 A4:0.5 D5:0.5 E5 F#5 G5 | A5:2 F#5:1 D5 | B5:1.5 A5:0.5 G5:1 F#5 | E5:3 r:1 |"
    "D5:1.5 A4:0.5 D5:0.5 E5 F#5 G5 | A5:1 C#6 B5 A5 | G5:1 E5:0.5 F#5 G5:1 C#5 | D5:3 r:1";
const char* chords_a_major = "D | D | G | A | D | A | G A7 | D";
// Theme B, F major: the song the flutes answer with.
const char* theme_b = "C5:1 F5 A5:1.5 G5:0.5 | F5:1 E5 D5:2 | Bb4:1 D5 F5:1.5 E5:0.5 | D5:1 C5 A4:2 |"
                      "C5:1 F5 A5:1.5 Bb5:0.5 | C6:1.5 Bb5:0.5 A5:1 G5 | F5:1 D5 G5 E5 | F5:3 r:1";
const char* chords_b = "F | C/E Dm | Bb | F | F | Am7 C | Bb C7 | F";

// --- sections ---------------------------------------------------------------

void setup(writer& w) {
    // bank, program, volume, pan, reverb send
    static const voice_setup v1[16] = {
        {0, 56, 108, 70, 40}, {0, 56, 92, 50, 40},   {0, 60, 104, 44, 60}, {0, 57, 98, 84, 45},
        {0, 58, 112, 64, 30}, {0, 73, 104, 80, 55},  {0, 72, 80, 90, 55},  {0, 48, 88, 60, 70},
        {0, 45, 92, 40, 45},  {128, 0, 100, 64, 30}, {0, 47, 104, 60, 50}, {0, 9, 78, 96, 60},
        {0, 61, 92, 64, 45},  {0, 46, 90, 34, 60},   {0, 71, 92, 76, 50},  {128, 48, 104, 64, 55},
    };
    static const voice_setup v2[16] = {
        {0, 59, 110, 54, 45}, {0, 56, 94, 76, 40},    {0, 60, 100, 40, 55}, {0, 57, 100, 88, 40},
        {0, 33, 112, 64, 15}, {0, 73, 100, 84, 50},   {0, 12, 96, 30, 40},  {0, 89, 84, 64, 70},
        {0, 4, 94, 90, 40},   {128, 16, 104, 64, 25}, {0, 47, 100, 64, 45}, {0, 11, 84, 100, 55},
        {0, 61, 96, 64, 40},  {0, 58, 96, 60, 30},    {0, 71, 96, 36, 45},  {128, 48, 100, 64, 50},
    };
    const voice_setup* table = w.version == 1 ? v1 : v2;
    w.s.controls.push_back({0, orch, control_kind::drum_channel, 0, 0});
    for (int ch = 0; ch < 16; ++ch) {
        const voice_setup& v = table[ch];
        w.s.controls.push_back({0, ch, control_kind::program, v.program, v.bank});
        w.s.controls.push_back({0, ch, control_kind::controller, 7, v.volume});
        w.s.controls.push_back({0, ch, control_kind::controller, 10, v.pan});
        w.s.controls.push_back({0, ch, control_kind::controller, 91, v.reverb});
        w.s.controls.push_back({0, ch, control_kind::controller, 93, 0});
        w.s.controls.push_back({0, ch, control_kind::controller, 11, 127});
    }
    w.s.controls.push_back({0, bone, control_kind::bend_range, 0, 12});
}

// 0 s to the halves' opening: a D minor swell out of nothing.
void dawn(writer& w) {
    section sec = w.span(s_dawn);
    auto ch = parse_progression("Dm | Dm", sec.bars);
    cc_ramp(w, sec.beat, sec.beat + 8, pad, 11, 50, 127);
    cc(w, sec.beat + 8, pad, 11, 127);
    pads(w, sec, pad, ch, 57, 70, 4);
    put(w, sec.beat, 8, pad, 38, 64);
    put(w, sec.beat, 8, w.version == 1 ? bass : extra, 38, 70);
    roll(w, timp, 38, w.time(sec.beat), w.time(sec.beat + 8) - 0.06, 30, 100, 16);
    roll(w, orch, k_ride, w.time(sec.beat + 2), w.time(sec.beat + 8) - 0.06, 20, 90, 14);
    put(w, sec.beat + 4, 3.8, horn, 57, 62);
    put(w, sec.beat + 6, 1.8, flute, 81, 50);
    if (w.version == 2) arpeggio(w, sec, bell, ch, 0.5, 74, 50);
}

// The title lines and the first doodles: the horn states the theme slowly,
// the band joins bar by bar and a snare roll hands over to the machine.
void title(writer& w) {
    section sec = w.span(s_title);
    const char* prog = "Dm | Bb | F/A | A | Dm | Gm | Bb | C | A";
    auto ch = parse_progression(prog, sec.bars);
    pads(w, sec, pad, ch, 57, 72, 4);
    const char* horn_line = "D4:3 A3:1 | D4:1 E4 F4 G4 | A4:3 F4:1 | E4:4 |";
    const char* flute_line = "r:16 | D5:2 C5:1 Bb4:1 | Bb4:2 A4:1 G4:1 | F4:2 D5:2 | E5:2 G5:2 | A5:4";
    const char* tpt_line = "r:16 | D5:1.5 A4:0.5 D5:0.5 E5 F5 G5 | Bb5:2 A5:1 G5 | F5:1.5 D5:0.5 Bb4:2 |"
                           " C5:1 E5 G5 C6 | C#6:4";
    melody(w, sec, 0, w.version == 1 ? horn : reed, horn_line, 92, w.version == 1 ? 0 : 12);
    if (w.version == 1) {
        melody(w, sec, 0, flute, "r:16 | F5:4 | G5:4 | F5:4 | G5:2 E5:2 | E5:4", 70);
        melody(w, sec, 0, lead, tpt_line, 96);
        harmonize(w, sec, 0, lead2, tpt_line, ch, 80);
        bass_line(w, sec, bass, ch, bass_style::halves, 38, 84);
        arpeggio(w, sec, extra, ch, 0.5, 62, 70);
        section late = w.span(s_title, 4);
        groove(w, late, kit, {{k_snare, "x..g..g.x..g..g."}, {k_kick, "x.......x......."}}, 70, true);
    } else {
        melody(w, sec, 0, horn, flute_line, 88, -12);
        melody(w, sec, 0, lead, tpt_line, 96);
        bass_line(w, sec, bass, ch, bass_style::whole, 38, 92);
        arpeggio(w, sec, high, ch, 0.25, 62, 70, 8);
        section late = w.span(s_title, 4);
        groove(w, late, kit,
               {{k_kick, "x.....x...x....."}, {k_hat, "x.x.x.x.x.x.x.x."}, {k_rim, "....x.......x..."}}, 75,
               true);
    }
    // The whole band grows from the title to the machine.
    for (int channel : {lead, lead2, horn, bass, flute, high, pad, comp, extra, reed})
        cc_ramp(w, sec.beat, sec.beat + sec.beats(), channel, 11, w.version == 1 ? 82 : 96, 127);
    // The timpani mark each bar of the build.
    for (size_t b = 0; b < sec.bars.size(); ++b)
        put(w, sec.beat + sec.bar_beat(b), 1, timp, bass_key(chord_at_beat(ch, sec.bar_beat(b)), 38),
            60 + 5 * int(b));
    double end = w.time(sec.beat + sec.beats());
    roll(w, orch, k_snare, end - 2.4, end - 0.06, 30, 110);
}

// The machine spins up: a sixteenth ostinato, horn call at the hourglass,
// trumpet fanfare as the wheels fall.
void machine(writer& w) {
    section sec = w.span(s_machine);
    const char* prog = "Dm | Dm | Bb | A | Dm | Dm | Gm | A7";
    auto ch = parse_progression(prog, sec.bars);
    const char* ostinato = "D5:0.25 A4 F5 A4 E5 A4 F5 A4 D5 A4 F5 A4 G5 A4 F5 A4 |"
                           "D5:0.25 A4 F5 A4 E5 A4 F5 A4 D5 A4 F5 A4 G5 A4 F5 A4 |"
                           "D5:0.25 Bb4 F5 Bb4 E5 Bb4 F5 Bb4 D5 Bb4 F5 Bb4 G5 Bb4 F5 Bb4 |"
                           "C#5:0.25 A4 E5 A4 C#5 A4 E5 A4 C#5 A4 E5 A4 G5 A4 E5 A4";
    melody(w, sec, 0, high, ostinato, w.version == 1 ? 70 : 84, w.version == 1 ? 0 : -12, 0.8);
    melody(w, sec, 16, high, ostinato, w.version == 1 ? 76 : 88, w.version == 1 ? 0 : -12, 0.8);
    melody(w, sec, 16, horn, "A4:1.5 D5:0.5 F5:1 E5 | D5:1 C5:0.5 Bb4 A4:2 | G4:1.5 Bb4:0.5 D5:1 C5 | C#5:4",
           100);
    melody(w, sec, 24, lead, "G5:0.5' G5:0.5' G5:1 Bb5 A5 | A5:0.5' A5:0.5' A5:1 C#6 E6", 104);
    harmonize(w, sec, 24, lead2, "G5:0.5' G5:0.5' G5:1 Bb5 A5 | A5:0.5' A5:0.5' A5:1 C#6 E6", ch, 94);
    pads(w, sec, pad, ch, 60, 64, 3);
    if (w.version == 1) {
        bass_line(w, sec, comp, ch, bass_style::pulse, 38, 88);
        bass_line(w, sec, bass, ch, bass_style::halves, 38, 92);
        groove(w, sec, kit,
               {{k_kick, "x.......x......."}, {k_snare, "....x.......x..."}, {k_hat, "x.x.x.x.x.x.x.x."}}, 85,
               true, true);
    } else {
        bass_line(w, sec, bass, ch, bass_style::octaves, 38, 96);
        stabs(w, sec, comp, ch, "..x...x...x..x..", 64, 80, 3, 0.2);
        groove(w, sec, kit,
               {{k_kick, "x..x..x...x....."}, {k_snare, "....x.......x..."}, {k_hat, "xxxxxxxxxxxxxxxx"}}, 85,
               true, true);
    }
    put(w, sec.beat + 24, 4, timp, 43, 90);
}

// The trumpets and the walkers: theme A, theme B, a build to cue 1.
void trumpets(writer& w) {
    section a = w.span(s_trumpets, 0, 8), b = w.span(s_trumpets, 8, 8), build = w.span(s_trumpets, 16);
    auto ca = parse_progression(chords_a, a.bars);
    auto cb = parse_progression(chords_b, b.bars);
    auto cbuild = parse_progression("Gm | Bb/C | A7", build.bars);
    if (w.version == 1) {
        melody(w, a, 0, lead, theme_a, 108);
        harmonize(w, a, 0, lead2, theme_a, ca, 94);
        melody(w, a, 0, bell, theme_a, 62, 12);
        pads(w, a, horn, ca, 60, 70, 2, 0.9);
        bass_line(w, a, bass, ca, bass_style::oompah, 38, 100);
        stabs(w, a, comp, ca, "....x.......x...", 62, 84, 3, 0.3);
        groove(w, a, kit,
               {{k_kick, "x.......x......."}, {k_snare, "x..g..x.x..g.xx."}, {k_crash2, "x..............."}},
               90, false, true);
        melody(w, b, 0, flute, theme_b, 104);
        melody(w, b, 0, reed, theme_b, 84, -12);
        melody(w, b, 0, lead, "r:4 | A4:4 | F4:2 A4:2 | F4:4 | r:4 | E5:2 F5:2 | D5:2 E5:2 | C5:4", 84);
        pads(w, b, pad, cb, 60, 74, 4);
        bass_line(w, b, bass, cb, bass_style::walk, 38, 94);
        groove(w, b, kit,
               {{k_kick, "x.......x.x....."}, {k_snare, "....x.......x..."}, {k_ride, "x.x.x.x.x.x.x.x."}},
               85, false, true);
    } else {
        melody(w, a, 0, lead, theme_a, 106);
        melody(w, a, 0, horn, theme_a, 92, -12);
        melody(w, a, 16, bone, "r:4 | A3:2 D4:2 | D4:2 Bb3:2 | C#4:4 | r:4 | C4:2 F4:2 | Bb3:2 A3:2 | A3:4",
               90);
        stabs(w, a, comp, ca, "..x...x...x...x.", 60, 88, 4, 0.22);
        bass_line(w, a, bass, ca, bass_style::octaves, 38, 100);
        groove(w, a, kit,
               {{k_kick, "x...x...x...x..."},
                {k_snare, "....x.......x..."},
                {k_hat, ".x.x.x.x.x.x.x.x"},
                {k_open_hat, "..x...x...x...x."}},
               88, false, true);
        melody(w, b, 0, reed, theme_b, 100);
        melody(w, b, 0, flute, theme_b, 88, 12);
        arpeggio(w, b, high, cb, 0.5, 64, 72);
        pads(w, b, pad, cb, 60, 72, 4);
        stabs(w, b, brass, cb, "......x.......x.", 66, 80, 3, 0.3);
        bass_line(w, b, bass, cb, bass_style::funk, 38, 96);
        groove(w, b, kit,
               {{k_kick, "x..x..x...x..x.."}, {k_snare, "....x..g.g..x..g"}, {k_hat, "x.xxx.xxx.xxx.xx"}}, 88,
               false, true);
    }
    // Build: the brass climb over a snare roll.
    pads(w, build, brass, cbuild, 66, 96, 4);
    pads(w, build, pad, cbuild, 60, 84, 4);
    melody(w, build, 0, lead, "G5:2 A5:2 | Bb5:2 C6:2 | C#6:4", 110);
    bass_line(w, build, bass, cbuild, bass_style::pulse, 38, 96);
    cc_ramp(w, build.beat, build.beat + build.beats(), pad, 11, 90, 127);
    roll(w, orch, k_snare, w.time(build.beat + 4), w.time(build.beat + build.beats()) - 0.06, 40, 118);
    roll(w, timp, 45, w.time(build.beat + 8), w.time(build.beat + build.beats()) - 0.06, 50, 115, 14);
}

// Cue 1 fanfare (Bb), cue 2 the crowd march (G minor), cue 3 the pull-out,
// then the greetings drift by over a quiet flute until the three pick-up hits.
void cues(writer& w) {
    section c1 = w.span(s_cue1);
    auto ch1 = parse_progression("Bb | Gm Eb | F", c1.bars);
    const char* fanfare = "F5:0.5 F5:0.25 F5:0.25 Bb5:1 D6:1 C6:1 | Bb5:1.5 A5:0.5 G5:1 F5:1 | G5:1 A5:1";
    melody(w, c1, 0, lead, fanfare, 110);
    harmonize(w, c1, 0, lead2, fanfare, ch1, 98);
    pads(w, c1, bone, ch1, 50, 96, 2, 0.9);
    pads(w, c1, pad, ch1, 62, 80, 4);
    bass_line(w, c1, bass, ch1, w.version == 1 ? bass_style::halves : bass_style::octaves, 34, 100);
    groove(w, c1, kit,
           {{k_kick, "x.......x......."}, {k_snare, "....x.......xxxx"}, {k_hat, "x.x.x.x.x.x.x.x."}}, 90,
           false);
    if (w.version == 2)
        arpeggio(w, c1, high, ch1, 0.25, 70, 70, 8);
    else
        melody(w, c1, 0, bell, fanfare, 64, 12);

    section c2 = w.span(s_cue2);
    auto ch2 = parse_progression("Gm | Gm | Cm7 | D", c2.bars);
    // Theme A a fourth up, for the crowd marching by.
    if (w.version == 1) {
        melody(w, c2, 0, horn, theme_a, 104, -7);
        melody(w, c2, 0, bone, theme_a, 96, -19);
        bass_line(w, c2, bass, ch2, bass_style::oompah, 31, 104);
        stabs(w, c2, comp, ch2, "....x.......x...", 60, 86, 3, 0.3);
        groove(w, c2, kit, {{k_kick, "x.......x......."}, {k_snare, "x..x..x.x..x.xx."}}, 92, true);
        groove(w, c2, orch, {{k_crash, "x...............x..............."}}, 60);
    } else {
        melody(w, c2, 0, lead, theme_a, 104, -7);
        melody(w, c2, 0, reed, theme_a, 90, -19);
        bass_line(w, c2, bass, ch2, bass_style::funk, 31, 100);
        stabs(w, c2, comp, ch2, "..x..x....x..x..", 62, 86, 4, 0.2);
        groove(w, c2, kit,
               {{k_kick, "x...x...x...x..."}, {k_clap, "....x.......x..."}, {k_hat, "xxxxxxxxxxxxxxxx"}}, 90,
               true);
    }
    pads(w, c2, pad, ch2, 62, 70, 3);

    section c3 = w.span(s_cue3);
    auto ch3 = parse_progression("Ebmaj7 | F | Dsus4 D", c3.bars);
    pads(w, c3, pad, ch3, 64, 92, 4);
    pads(w, c3, brass, ch3, 64, 92, 4);
    pads(w, c3, horn, ch3, 55, 88, 2);
    cc_ramp(w, c3.beat, c3.beat + 8, pad, 11, 80, 127);
    melody(w, c3, 0, lead, "G5:4 | A5:4 | G5:1 F#5:1", 106);
    melody(w, c3, 0, flute, "Bb5:0.5 G5 D5 G5 Bb5 D6 Bb5 G5 | C6:0.5 A5 F5 A5 C6 F6 C6 A5 | A5:0.5 D6 F#6 A6",
           80);
    bass_line(w, c3, bass, ch3, bass_style::whole, 38, 100);
    put(w, c3.beat, 4, timp, 39, 100);
    put(w, c3.beat + 4, 4, timp, 41, 104);
    groove(w, c3, orch, {{k_concert_bd, "x.......x......."}}, 90);
    roll(w, orch, k_snare, w.time(c3.beat + 8), w.time(c3.beat + 10) - 0.06, 50, 112);

    // Greetings: the band drops away; flute and plucked strings, a breath
    // before the pick-up hits at 104.94 and 105.01.
    section br = w.span(s_breakdown);
    auto chb = parse_progression("Dm | Bb | Gm | A", br.bars);
    const char* greet =
        "F5:1 E5:0.5 D5:0.5 A4:2 | Bb4:1 C5:0.5 D5:0.5 F5:2 | G5:1 F5:0.5 E5:0.5 D5:1 Bb4:1 | A4:1.5";
    melody(w, br, 0, w.version == 1 ? flute : lead, greet, 92);
    if (w.version == 1) {
        arpeggio(w, br, extra, chb, 0.5, 60, 66);
        bass_line(w, br, comp, chb, bass_style::halves, 38, 78);
    } else {
        arpeggio(w, br, bell, chb, 0.5, 62, 62);
        bass_line(w, br, bass, chb, bass_style::whole, 38, 80);
        groove(w, br, kit, {{k_hat, "x.x.x.x.x.x.x.x."}, {k_rim, "....x.......x..."}}, 55);
    }
    pads(w, br, pad, chb, 60, 58, 3);
    // The pick-ups: a soft snare, then a bright splash with snare and tom,
    // each stroke brighter than the ringing of the one before.
    double pick1 = 104.94, pick2 = 105.01;
    w.hits.push_back(pick1);
    w.hits.push_back(pick2);
    w.accents.push_back({pick1, 0.06, kit, k_snare, 70});
    w.accents.push_back({pick1, 0.06, brass, 69, 70});
    w.accents.push_back({pick2, 0.06, kit, k_tom_high, 127});
    w.accents.push_back({pick2, 0.06, kit, k_snare2, 120});
    w.accents.push_back({pick2, 0.06, orch, k_snare, 127});
    w.accents.push_back({pick2, 0.06, brass, 74, 110});
}

// 105.134 to the sea: the groove (D minor), the razors (C major), the
// falling trombones over a descending bass (D minor).
void groove_part(writer& w) {
    section g1 = w.span(s_groove, 0, 8), g2 = w.span(s_groove, 8, 8), g3 = w.span(s_groove, 16, 8);
    auto c1 = parse_progression(chords_a, g1.bars);
    if (w.version == 1) {
        melody(w, g1, 0, horn, theme_a, 104, -12);
        melody(w, g1, 0, bone, theme_a, 98, -24);
        melody(w, g1, 0, lead,
               "r:4 | r:2 D6:0.5' D6:0.5' D6:1 | r:4 | r:2 C#6:0.5' C#6:0.5' C#6:1 |"
               "r:4 | r:2 E6:0.5' E6:0.5' E6:1 | r:4 | r:2 D6:0.5' D6:0.5' D6:1",
               100);
        bass_line(w, g1, bass, c1, bass_style::halves, 38, 104);
        bass_line(w, g1, comp, c1, bass_style::pulse, 50, 76);
        groove(w, g1, kit,
               {{k_kick, "x.....x.x......."}, {k_snare, "....x.......x..."}, {k_hat, "x.x.x.x.x.x.x.x."}}, 95,
               true, true);
    } else {
        melody(w, g1, 0, lead2, theme_a, 100);
        melody(w, g1, 0, reed, theme_a, 86);
        stabs(w, g1, brass, c1, "..x..x.......x..", 66, 92, 4, 0.18);
        bass_line(w, g1, bass, c1, bass_style::funk, 38, 104);
        stabs(w, g1, comp, c1, "x..x..x...x..x..", 60, 80, 3, 0.2);
        groove(w, g1, kit,
               {{k_kick, "x..x..x...x..x.."}, {k_snare, "....x..g.g..x..g"}, {k_hat, "xxxxxxxxxxxxxxxx"}}, 95,
               true, true);
    }
    pads(w, g1, pad, c1, 62, 64, 3);

    // Razors: theme B a fourth down in C major, bright and clipped.
    auto c2 = parse_progression("C | G/B Am | F | C | C | Em7 G | F G7 | C", g2.bars);
    melody(w, g2, 0, w.version == 1 ? lead : flute, theme_b, 106, -5);
    harmonize(w, g2, 0, w.version == 1 ? lead2 : reed, theme_b, c2, 90, -5);
    arpeggio(w, g2, w.version == 1 ? extra : high, c2, 0.25, 72, 60, 8);
    pads(w, g2, pad, c2, 60, 66, 4);
    if (w.version == 1) {
        bass_line(w, g2, bass, c2, bass_style::octaves, 36, 96);
        stabs(w, g2, brass, c2, "....x.......x.x.", 64, 88, 4, 0.25);
        groove(w, g2, kit,
               {{k_kick, "x.......x.x....."}, {k_snare, "....x.......x..."}, {k_ride, "x.x.x.x.x.x.x.x."}},
               95, true, true);
    } else {
        bass_line(w, g2, bass, c2, bass_style::octaves, 36, 100);
        stabs(w, g2, comp, c2, ".x..x..x.x..x..x", 62, 84, 4, 0.18);
        groove(w, g2, kit,
               {{k_kick, "x...x...x...x..."},
                {k_clap, "....x.......x..."},
                {k_hat, ".xxx.xxx.xxx.xxx"},
                {k_tambourine, "....x.......x..."}},
               95, true, true);
    }

    // The trombones fall: a lament bass walking down, trombone glissandi at
    // the end of every other bar.
    auto c3 = parse_progression("Dm | Dm/C | Bb | A | Gm | Dm/F | Gm A7 | A7", g3.bars);
    const char* lament =
        "A5:2 G5:2 | G5:2 F5:2 | F5:2 E5:2 | E5:2 C#5:2 | D5:2 Bb4:2 | C5:2 A4:2 | Bb4:1 A4 G4 E5 | C#5:4";
    melody(w, g3, 0, w.version == 1 ? pad : horn, lament, 96, w.version == 1 ? 0 : -12);
    melody(w, g3, 0, w.version == 1 ? horn : reed, lament, 92, w.version == 1 ? -12 : 0);
    pads(w, g3, w.version == 1 ? pad : comp, c3, 57, 70, 3, w.version == 1 ? 1.0 : 0.5);
    bass_line(w, g3, bass, c3, w.version == 1 ? bass_style::halves : bass_style::pulse, 34, 98);
    groove(w, g3, kit,
           w.version == 1 ? std::vector<drum_line>{{k_kick, "x.........x....."},
                                                   {k_snare, "........X......."},
                                                   {k_hat, "x.x.x.x.x.x.x.x."}}
                          : std::vector<drum_line>{{k_kick, "x......x..x....."},
                                                   {k_snare, "....x.......x..."},
                                                   {k_hat, "x.xxx.xxx.xxx.xx"}},
           92, true);
    for (size_t b = 1; b < g3.bars.size(); b += 2) {
        double start = g3.beat + g3.bar_beat(b) + 2;
        chord c = chord_at_beat(c3, g3.bar_beat(b) + 2);
        int top = bass_key(c, 58) + 7;
        put(w, start, 1.9, bone, top, 108);
        double t0 = w.time(start + 0.6), t1 = w.time(start + 1.8);
        for (int i = 0; i <= 12; ++i) {
            double f = i / 12.0;
            w.s.controls.push_back(
                {t0 + (t1 - t0) * f, bone, control_kind::pitch_bend, 0, int(8192 - 8192 * f * f)});
        }
        w.s.controls.push_back({w.time(start + 1.95), bone, control_kind::pitch_bend, 0, 8192});
    }
    roll(w, orch, k_crash, w.time(g3.beat + g3.beats() - 2), w.time(g3.beat + g3.beats()) - 0.05, 20, 90, 12);
}

// The sea, a barcarolle in 3/4, F major: the boats rock, flute and horn sing.
void sea(writer& w) {
    section sec = w.span(s_sea);
    auto ch = parse_progression("F | F | Bb | F | Dm | Gm | C | C7 | F | Bb | C | A7", sec.bars);
    const char* song = "C5:2 A4:1 | F5:2 E5:1 | D5:1.5 E5:0.5 F5:1 | C5:3 | A5:2 F5:1 | G5:2 Bb5:1 |"
                       " A5:1 G5 F5 | E5:2 G5:1 | F5:2 A5:1 | D6:2 C6:1 | Bb5:1 A5 G5 | C#5:2 E5:1";
    auto line = [&](int channel, int velocity, int transpose) {
        for (const melody_note& n : parse_melody(song, 3))
            if (n.key >= 0) put(w, sec.beat + n.beat, n.length * 0.95, channel, n.key + transpose, velocity);
    };
    if (w.version == 1) {
        line(flute, 96, 0);
        arpeggio(w, sec, extra, ch, 0.5, 60, 70);
        bass_line(w, sec, bass, ch, bass_style::barcarolle, 34, 84);
        groove(w, sec, kit, {{k_ride, "x.x.x.x.x.x."}, {k_rim, "....x......."}}, 60);
    } else {
        line(lead, 94, 0);
        line(reed, 78, -12);
        arpeggio(w, sec, comp, ch, 0.5, 60, 70);
        bass_line(w, sec, bass, ch, bass_style::barcarolle, 34, 90);
        groove(w, sec, kit, {{k_kick, "x..........."}, {k_rim, "....x...x..."}, {k_hat, "x.x.x.x.x.x."}}, 60);
    }
    pads(w, sec, pad, ch, 60, 62, 3);
    // The horn answers in the second half.
    section second = w.span(s_sea, 4);
    const char* answer = "F4:3 | D4:3 | E4:3 | G4:3 | A4:3 | F4:3 | E4:3 | E4:3";
    for (const melody_note& n : parse_melody(answer, 3))
        put(w, second.beat + n.beat, n.length * 0.95, horn, n.key, 80);
    // Swell into the finale.
    double end = w.time(sec.beat + sec.beats());
    roll(w, timp, 45, end - 2.0, end - 0.06, 40, 115, 16);
    roll(w, orch, k_crash, end - 2.0, end - 0.06, 30, 100, 12);
}

// The finale in D major: brass fanfare over a pedal, then theme A in major
// with the whole band as the gun rises.
void finale(writer& w) {
    section intro = w.span(s_finale, 0, 4), theme = w.span(s_finale, 4);
    auto ci = parse_progression("D | G/D D | A/D | D", intro.bars);
    const char* fanfare =
        "D5:1 A4:0.5 D5:0.5 F#5:1 A5:1 | B5:1.5 A5:0.5 G5:1 F#5:1 | E5:1 F#5:0.5 G5:0.5 A5:1 E5:1 | F#5:4";
    melody(w, intro, 0, lead2, fanfare, 110);
    harmonize(w, intro, 0, w.version == 1 ? lead : brass, fanfare, ci, 98);
    pads(w, intro, horn, ci, 57, 90, 2);
    pads(w, intro, pad, ci, 62, 80, 4);
    put(w, intro.beat, intro.beats(), bone, 50, 96);
    bass_line(w, intro, bass, ci, bass_style::pulse, 38, 100);
    groove(w, intro, kit,
           w.version == 1
               ? std::vector<drum_line>{{k_kick, "x.......x......."}, {k_snare, "x..x..x.x..x.xxx"}}
               : std::vector<drum_line>{{k_kick, "x...x...x...x..."},
                                        {k_snare, "....x.......x..."},
                                        {k_open_hat, "..x...x...x...x."}},
           95, true);

    auto ct = parse_progression(chords_a_major, theme.bars);
    melody(w, theme, 0, lead, theme_a_major, 112);
    melody(w, theme, 0, w.version == 1 ? lead2 : horn, theme_a_major, 100, w.version == 1 ? 0 : -12);
    harmonize(w, theme, 0, w.version == 1 ? horn : lead2, theme_a_major, ct, 96);
    melody(w, theme, 0, w.version == 1 ? high : bell, theme_a_major, 70, 12);
    pads(w, theme, pad, ct, 62, 78, 4);
    if (w.version == 1) {
        bass_line(w, theme, bass, ct, bass_style::oompah, 38, 106);
        stabs(w, theme, brass, ct, "....x.......x...", 64, 90, 4, 0.3);
        groove(w, theme, kit,
               {{k_kick, "x.......x......."}, {k_snare, "....x.......x..."}, {k_crash2, "x.x.x.x.x.x.x.x."}},
               92, true, true);
    } else {
        bass_line(w, theme, bass, ct, bass_style::octaves, 38, 104);
        put(w, theme.beat, theme.beats(), extra, 38, 70);
        stabs(w, theme, comp, ct, "..x...x...x...x.", 62, 84, 4, 0.2);
        groove(w, theme, kit,
               {{k_kick, "x...x...x...x..."},
                {k_snare, "....x.......x..."},
                {k_ride, "x.x.x.x.x.x.x.x."},
                {k_open_hat, "..x...x...x...x."}},
               95, true, true);
    }
    double end = w.time(theme.beat + theme.beats());
    roll(w, orch, k_snare, end - 1.8, end - 0.06, 40, 120);
}

// The gun: a riff section between the recoils, then the parade of
// instruments plays theme B in D major.
void recoils(writer& w) {
    const char* riff = "D3:0.75 D3:0.25 r:0.5 D3:0.5 F#3:0.5 G3:0.5 A3:1";
    for (int id : {s_recoil1, s_recoil2}) {
        section sec = w.span(id);
        auto ch = parse_progression("D5 | C5 | G5 | A5", sec.bars);
        for (size_t b = 0; b < sec.bars.size(); ++b) {
            section bar{sec.beat + sec.bar_beat(b), {sec.bars[b]}};
            int shift = ((chord_at_beat(ch, sec.bar_beat(b)).root - 2) % 12 + 12) % 12;
            if (shift > 6) shift -= 12;
            melody(w, bar, 0, bone, riff, 108, shift);
            melody(w, bar, 0, bass, riff, 104, shift - 12);
            if (w.version == 2) melody(w, bar, 0, extra, riff, 96, shift - 12);
        }
        stabs(w, sec, brass, ch, "..x...x...x.x...", 70, 96, 3, 0.2);
        melody(w, sec, 0, lead, "A5:2 F#5:1 G5:1 | E5:2 C5:1 D5:1 | D5:2 B4:1 D5:1 | E5:4", 104);
        melody(w, sec, 0, lead2, "F#5:2 D5:1 E5:1 | C5:2 G4:1 B4:1 | B4:2 G4:1 B4:1 | C#5:4", 96);
        pads(w, sec, pad, ch, 62, 74, 3);
        groove(w, sec, kit,
               w.version == 1 ? std::vector<drum_line>{{k_kick, "x.x.....x.x....."},
                                                       {k_snare, "....X.......X..."},
                                                       {k_hat, "x.x.x.x.x.x.x.x."}}
                              : std::vector<drum_line>{{k_kick, "x.x...x...x....."},
                                                       {k_snare, "....X.......X..."},
                                                       {k_hat, "xxxxxxxxxxxxxxxx"}},
               100, true);
    }

    section parade = w.span(s_parade);
    auto cp = parse_progression("D | A/C# Bm | G | D | D | F#m7 A | G A7 | D", parade.bars);
    // The flutes lead, the trumpet and horn join as they come into view.
    melody(w, parade, 0, flute, theme_b, 104, -3);
    melody(w, parade, 0, w.version == 1 ? high : reed, theme_b, 80, w.version == 1 ? 9 : -3);
    melody(w, parade, 0, lead, "r:16 | F#5:4 | A5:2 C#6:2 | B5:2 A5:2 | A5:4", 100);
    harmonize(w, parade, 0, horn, theme_b, cp, 90, -3);
    pads(w, parade, pad, cp, 62, 76, 4);
    if (w.version == 1) {
        bass_line(w, parade, bass, cp, bass_style::oompah, 38, 104);
        stabs(w, parade, comp, cp, "....x.......x...", 62, 84, 3, 0.3);
        melody(w, parade, 0, bell, theme_b, 64, 9);
        groove(w, parade, kit,
               {{k_kick, "x.......x......."}, {k_snare, "x..x..x.x..x.xx."}, {k_crash2, "x..............."}},
               95, true, true);
    } else {
        bass_line(w, parade, bass, cp, bass_style::walk, 38, 102);
        stabs(w, parade, comp, cp, "..x...x...x...x.", 62, 84, 4, 0.2);
        arpeggio(w, parade, high, cp, 0.25, 74, 64, 8);
        groove(w, parade, kit,
               {{k_kick, "x...x...x...x..."},
                {k_snare, "....x.......x..."},
                {k_hat, ".x.x.x.x.x.x.x.x"},
                {k_open_hat, "..x...x...x...x."}},
               95, true, true);
    }
}

// Stop-time hits at 226.281 and 227.281, a roll to 229.715, the last
// statement of theme A and the final chord as the halves meet.
void close(writer& w) {
    section h1 = w.span(s_hit1), h2 = w.span(s_hit2);
    pads(w, h1, pad, parse_progression("Bm", h1.bars), 62, 84, 4);
    pads(w, h2, pad, parse_progression("G A7sus4 | A7", h2.bars), 62, 80, 4);
    put(w, h2.beat + 1, 4, bass, 33, 90);
    put(w, h2.beat + 1, 4, horn, 57, 86);
    double h2_end = w.time(h2.beat + h2.beats());
    roll(w, orch, k_snare, w.time(h2.beat + 1), h2_end - 0.06, 40, 124);
    roll(w, timp, 45, w.time(h2.beat + 2), h2_end - 0.06, 50, 120, 16);
    cc_ramp(w, h2.beat + 1, h2.beat + 5, pad, 11, 70, 127);

    section coda = w.span(s_coda);
    auto cc_ = parse_progression("D | D | G | A | D | A | G A7", coda.bars);
    const char* last = "D5:1.5 A4:0.5 D5:0.5 E5 F#5 G5 | A5:2 F#5:1 D5 | B5:1.5 A5:0.5 G5:1 F#5 | E5:3 A4:1 |"
                       "D5:1.5 A4:0.5 D5:0.5 E5 F#5 G5 | A5:1 C#6 B5 A5 | G5:1 C#6:1";
    melody(w, coda, 0, lead, last, 114);
    melody(w, coda, 0, lead2, last, 104, w.version == 1 ? 0 : -12);
    harmonize(w, coda, 0, horn, last, cc_, 100);
    melody(w, coda, 0, flute, last, 90, 12);
    pads(w, coda, pad, cc_, 62, 84, 4);
    pads(w, coda, bone, cc_, 50, 90, 2);
    if (w.version == 1) {
        bass_line(w, coda, bass, cc_, bass_style::oompah, 38, 108);
        groove(w, coda, kit,
               {{k_kick, "x.......x......."}, {k_snare, "x..x..x.x..x.xxx"}, {k_ride, "x.x.x.x.x.x.x.x."}},
               100, false, true);
    } else {
        bass_line(w, coda, bass, cc_, bass_style::octaves, 38, 106);
        put(w, coda.beat, coda.beats(), extra, 38, 80);
        groove(w, coda, kit,
               {{k_kick, "x...x...x...x..."},
                {k_snare, "....x.......x..."},
                {k_ride, "x.x.x.x.x.x.x.x."},
                {k_open_hat, "..x...x...x...x."}},
               100, false, true);
    }
    // The halves close: a last roll from the start of their slide.
    double meet = w.time(w.beat_of_span(s_close));
    double slide = show_time_of_scene(242.8);
    roll(w, orch, k_snare, slide, meet - 0.3, 50, 118, 28);
    roll(w, timp, 38, slide, meet - 0.3, 50, 118, 18);

    // The final chord rings out over a long timpani roll.
    section end = w.span(s_close);
    double t = w.time(end.beat);
    double hold = 3.6;
    for (int k : voicing(parse_chord("D"), 62, 5)) {
        put_at(w, t, hold, pad, k, 96);
        put_at(w, t, hold, brass, k, 100);
    }
    put_at(w, t, hold, lead, 74, 110);
    put_at(w, t, hold, lead2, 78, 104);
    put_at(w, t, hold, horn, 62, 100);
    put_at(w, t, hold, flute, 86, 90);
    put_at(w, t, hold, bone, 50, 100);
    put_at(w, t, hold, bass, 38, 106);
    put_at(w, t, hold, extra, 26, 96);
    roll(w, timp, 38, t + 0.3, t + hold, 90, 40, 16);
    roll(w, orch, k_crash, t + 0.5, t + hold, 50, 20, 8);
}

} // namespace

std::vector<hit_point> hit_points() {
    std::vector<hit_point> h = {
        {show_time_of_scene(camera_hand_over_time), "the camera switch, trumpets enter"},
        {show_cues[0].start, "cue 1"},
        {show_cues[1].start, "cue 2"},
        {show_cues[2].start, "cue 3"},
        {show_cues[2].end, "cue 3 ends"},
        {show_cues[3].start, "cue 4 (pick-up)"},
        {show_cues[4].start, "cue 5 (pick-up)"},
        {show_cues[4].end, "cue 5 ends: the groove"},
        {show_time_of_scene(scene_finale), "scene 179: the finale"},
        {show_time_of_scene(gun_shot_times[0]), "first recoil"},
        {show_time_of_scene(gun_shot_times[1]), "second recoil"},
        {show_time_of_scene(gun_shot_times[2]), "third recoil"},
        {show_cues[6].start, "cue 1 of the finale"},
        {show_cues[8].start, "cue 3 of the finale"},
        {show_cues[8].end, "cue 3 ends: the coda"},
        {show_time_of_scene(scene_halves_meet), "scene 244.13: the telos halves meet"},
    };
    return h;
}

score compose(int version) {
    if (version != 1 && version != 2) throw std::invalid_argument("compose: version must be 1 or 2");
    writer w;
    w.version = version;
    w.spans = plan();
    std::vector<span> spans;
    for (const span_plan& p : w.spans)
        spans.push_back({p.start, p.beats});
    w.map = make_tempo_map(spans, piece_length);
    w.s.length = piece_length;

    setup(w);
    dawn(w);
    title(w);
    machine(w);
    trumpets(w);
    cues(w);
    groove_part(w);
    sea(w);
    finale(w);
    recoils(w);
    close(w);

    // The accents: the strength follows the weight of the moment.
    hit(w, w.time(w.beat_of_span(s_title)), 0.7, "Dm", 0.6);
    hit(w, w.time(w.beat_of_span(s_machine)), 0.85, "Dm", 0.4);
    hit(w, w.time(w.beat_of_span(s_trumpets)), 1.0, "Dm", 0.5);
    hit(w, 80.0, 1.0, "Bb", 0.5);
    hit(w, 85.14, 1.0, "Gm", 0.4);
    hit(w, 92.85, 1.0, "Eb", 0.6);
    hit(w, 98.0, 1.0, "Dm", 0.5);
    hit(w, 105.134, 1.2, "Dm", 0.5);
    hit(w, w.time(w.beat_of_span(s_sea)), 0.6, "F", 0.8);
    hit(w, w.time(w.beat_of_span(s_finale)), 1.05, "D", 0.8);
    hit(w, w.time(w.beat_of_span(s_recoil1)), 1.1, "D5", 0.35);
    hit(w, w.time(w.beat_of_span(s_recoil2)), 1.1, "D5", 0.35);
    hit(w, w.time(w.beat_of_span(s_parade)), 1.1, "D", 0.5);
    hit(w, 226.281, 1.1, "Bm", 0.5);
    hit(w, 227.281, 1.1, "G", 0.5);
    hit(w, 229.715, 1.1, "D", 0.6);
    hit(w, w.time(w.beat_of_span(s_close)), 1.2, "D", 3.6);
    clear_before_hits(w);
    return w.s;
}

} // namespace forge_music
