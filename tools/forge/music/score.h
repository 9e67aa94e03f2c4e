// The music forge's score: note and control events on the music clock, the
// tempo map that places beats on it, and a small text notation for melodies,
// chord progressions and drum grooves.
//
// The music clock is the playback position of the file in seconds; the show
// clock follows it, so every time in a score is a show-clock time.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace forge_music {

// A sounding note: start and length in seconds, MIDI key and velocity 1..127.
struct note {
    double start = 0;
    double length = 0;
    int channel = 0;
    int key = 60;
    int velocity = 100;
};

enum class control_kind {
    program,    // number = program, value = bank
    controller, // number = controller, value = 0..127
    drum_channel,
    pitch_bend, // value = 0..16383, 8192 = centre
    bend_range, // value = semitones
};

struct control {
    double time = 0;
    int channel = 0;
    control_kind kind = control_kind::controller;
    int number = 0;
    int value = 0;
};

struct score {
    std::vector<note> notes;
    std::vector<control> controls;
    double length = 0; // seconds of audio to render
};

// A bad score text: the message names the token and the reason.
struct notation_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Tempo map. Anchor i places beat `beats_before[i]` at `time[i]` seconds;
// between anchors beats run evenly, so each span has a constant tempo and
// every anchor (a cue, a hit point) falls exactly on a beat.
struct tempo_map {
    std::vector<double> time;
    std::vector<double> beat;
};

// One span of the map: from `start` seconds, `beats` beats up to the next
// span's start (the last span's end is given separately).
struct span {
    double start;
    int beats;
};

// Builds the map from consecutive spans. Throws notation_error when times do
// not increase or a span holds no beats.
tempo_map make_tempo_map(const std::vector<span>& spans, double end_time);
// Seconds of a (possibly fractional) beat; beats outside the map continue at
// the tempo of the nearest span.
double seconds_at(const tempo_map& map, double beat);
// Beat at a time (inverse of seconds_at).
double beat_at(const tempo_map& map, double seconds);
// Tempo of the span that contains `beat`, in beats per minute.
double tempo_at(const tempo_map& map, double beat);

// Splits a span's beats into bars of 4 with the remainder as a short bar
// (2 or 3 beats) or, for a remainder of 1, the last two bars as 3 + 2.
std::vector<int> bar_lengths(int beats);

// --- notation ---

// MIDI key of a note name: letter, optional '#' or 'b', octave (C4 = 60).
// Throws notation_error on anything else.
int parse_pitch(const std::string& name);

// One event of a melody line, times in beats from the line's start.
struct melody_note {
    double beat = 0;
    double length = 1;
    int key = -1; // -1: rest
    int accent = 0;
    bool staccato = false;
};

// Melody notation: tokens separated by spaces; "PITCH[:LEN][!][']" or
// "r[:LEN]" where LEN is a length in beats (a decimal or a fraction such as
// 1/3; when left out the previous length holds, starting at 1), '!' accents
// the note and ''' shortens it to half its length. '|' marks a bar line and
// is checked: the beats since the previous bar line must fill a whole number
// of bars of `bar_beats` (0 disables the check).
std::vector<melody_note> parse_melody(const std::string& text, int bar_beats = 4);
// Total length of a melody in beats.
double melody_length(const std::vector<melody_note>& line);

// A chord: root pitch class 0..11, the intervals above the root and the bass
// pitch class (the root unless written as a slash chord).
struct chord {
    int root = 0;
    std::vector<int> intervals;
    int bass = 0;
};

// Chord symbol: root letter with optional '#'/'b', then one of "", "m", "7",
// "m7", "maj7", "6", "m6", "sus2", "sus4", "7sus4", "dim", "aug", "5", "add9",
// "9", "m9", optionally followed by "/BASS".
chord parse_chord(const std::string& symbol);

// A chord placed in a section, in beats from the section's start.
struct chord_at {
    double beat;
    double length;
    chord value;
};

// Progression notation: bars separated by '|', chord symbols inside a bar
// share it evenly. The bars are laid over `bars` (lengths in beats), repeating
// from the first bar when the text has fewer.
std::vector<chord_at> parse_progression(const std::string& text, const std::vector<int>& bars);

// Drum groove line: one character per sixteenth ('.' rest, 'x' normal, 'X'
// accent, 'o' soft, 'g' ghost). Returns velocities (0 for rests).
std::vector<int> parse_groove(const std::string& text);

} // namespace forge_music
