// Picture against sound, measured: a recording of what a sound server played
// (tests/sound/monitor_record.c: raw 16-bit stereo at 44100 Hz and its clock,
// the frame being played at CLOCK_MONOTONIC instants) matched against the
// decoded music, and the viewer's log of the frames it played
// (QUORLAXEN_VIEWER_CLOCK) read against it: the show time of each frame
// minus the music time being heard when its clock was read and when it was
// presented.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace av {

namespace fs = std::filesystem;

constexpr int rate = 44100; // frames a second, both channels

struct recording {
    std::vector<int16_t> pcm; // interleaved stereo
    struct clock_point {
        int64_t ns = 0;     // CLOCK_MONOTONIC
        double frame = 0.0; // frame of the recording being played then
    };
    std::vector<clock_point> clock; // in time order
    size_t frames() const { return pcm.size() / 2; }
};
// BASE.raw and BASE.times; false with the reason in `error`.
bool load_recording(const fs::path& base, recording& out, std::string& error);

// The frame of the recording being played at CLOCK_MONOTONIC `ns`: the
// median of the clock points within half a second, each carried to `ns`
// (the sink's clock may run off the system's by a few hundred parts per
// million, so one line over a whole run would not do); NaN unless the
// stream's clock kept pace with the system's on one line all that second
// (when a player connects the server changes the sink's latency and the
// stream's clock stands still for a while).
double heard_frame(const recording& r, int64_t ns);

// The music file decoded by ffmpeg to 16-bit stereo at 44100 Hz; empty when
// it could not be.
std::vector<int16_t> decode_music(const fs::path& mp3);

// Where the music lies in the recording, played from music frame `from`.
// Block by block (1024 frames) from where music frame `from` played to the
// last loud frame: the music frame each played, found again where the
// music jumps (a gap the server filled with silence, a repeated block).
struct music_match {
    bool found = false;     // the music's start correlates with the recording (peak 0.9 or more)
    int64_t offset = 0;     // at the start: recording frame k played music frame k - offset
    double peak = 0.0;      // normalised cross-correlation there (1 = the same)
    double next_peak = 0.0; // the best correlation more than 5 ms away from it
    int64_t start = 0;      // recording frame where music frame `from` played
    int64_t end = 0;        // recording frame after the last loud one
    static constexpr int64_t block = 1024;
    // Per block from `start`: its offset, or `lost` when it is not the
    // music at any offset within a second of the one before (silence
    // where music should be, a block cut short, another rate).
    static constexpr int64_t lost = INT64_MIN;
    std::vector<int64_t> block_offsets;
    int64_t jumps = 0;        // times the offset changed
    int64_t lost_blocks = 0;  // blocks that are no music
    int64_t first_fault = -1; // recording frame of the first jump or lost block
    double worst_error = 0.0; // largest mean difference of a block at its offset, full scale 1
    bool whole() const { return found && jumps == 0 && lost_blocks == 0; }
    // The music frame played at (fractional) recording frame k; false where unknown.
    bool music_frame(double k, double& out) const;
};
music_match match_music(const recording& r, const std::vector<int16_t>& music, int64_t from);

// The viewer's log.
struct frame_log {
    struct frame {
        int64_t read_ns = 0, present_ns = 0;
        double show_time = 0.0;
        long rss_kb = 0;
    };
    std::vector<frame> frames;
    int64_t start_ns = 0, end_ns = 0;
    long start_rss_kb = 0, end_rss_kb = 0;
};
bool load_frame_log(const fs::path& file, frame_log& out, std::string& error);

// One frame, where the music was heard at both of its instants.
struct frame_offset {
    size_t index = 0;        // into frame_log::frames
    double clock_ms = 0.0;   // show time minus the music heard when its clock was read
    double picture_ms = 0.0; // ... when it was presented
    // The music position the frame driver pulled the clock toward minus the
    // music heard when it read it, from the pull it made (its step less the
    // time that passed is a tenth of the gap between that position and the
    // clock); NaN without the frame before.
    double position_ms = NAN;
};
std::vector<frame_offset> offsets(const recording& r, const music_match& m, const frame_log& log);

struct summary {
    size_t count = 0;
    double mean = 0.0, p95 = 0.0, max = 0.0; // p95 and max of the magnitude
};
summary summarise(const std::vector<double>& values);

} // namespace av
