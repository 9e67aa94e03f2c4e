// av-sync-report RECORDING CLOCK_LOG MUSIC.mp3 AT [CSV] [LOAD_FROM_NS LOAD_TO_NS]:
// the viewer's frames (QUORLAXEN_VIEWER_CLOCK) against what the sound
// server played (monitor-record's RECORDING.raw and .times), the music
// played from show time AT. Prints key=value lines: the music's match, the
// A/V offset of each frame's clock and picture (mean, p95, max, in ms), the
// music position the frame driver read against the sample heard, frame
// intervals, resident memory, and with a load window (CLOCK_MONOTONIC
// nanoseconds) the offsets inside it and how long after it the picture's
// offset, averaged over a second, stayed over one frame. CSV: one row per
// frame.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/av_sync.h"

namespace {

constexpr double frame_ms = 1000.0 / 60.0;

void print(const char* name, const av::summary& s) {
    std::printf("%s_mean_ms=%.2f\n%s_p95_ms=%.2f\n%s_max_ms=%.2f\n", name, s.mean, name, s.p95, name, s.max);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6 && argc != 8) {
        std::fprintf(
            stderr,
            "usage: av-sync-report RECORDING CLOCK_LOG MUSIC.mp3 AT [CSV] [LOAD_FROM_NS LOAD_TO_NS]\n");
        return 2;
    }
    std::string error;
    av::recording rec;
    av::frame_log log;
    if (!av::load_recording(argv[1], rec, error) || !av::load_frame_log(argv[2], log, error)) {
        std::fprintf(stderr, "av-sync-report: %s\n", error.c_str());
        return 1;
    }
    const std::vector<int16_t> music = av::decode_music(argv[3]);
    if (music.empty()) {
        std::fprintf(stderr, "av-sync-report: cannot decode %s\n", argv[3]);
        return 1;
    }
    const int64_t from = std::llround(std::atof(argv[4]) * av::rate);
    const av::music_match m = av::match_music(rec, music, from);
    if (!m.found) {
        std::fprintf(stderr, "av-sync-report: not this music in the recording (correlation %.3f)\n", m.peak);
        return 1;
    }
    std::printf("music_peak=%.6f\nmusic_next_peak=%.6f\nmusic_blocks=%zu\nmusic_jumps=%lld\n"
                "music_lost_blocks=%lld\nmusic_first_fault_s=%.3f\nmusic_worst_block_error=%.6f\n"
                "music_heard_s=%.3f\n",
                m.peak, m.next_peak, m.block_offsets.size(), (long long)m.jumps, (long long)m.lost_blocks,
                m.first_fault < 0 ? -1.0 : double(m.first_fault - m.start) / av::rate, m.worst_error,
                double(m.end - m.start) / av::rate);

    const std::vector<av::frame_offset> offsets = av::offsets(rec, m, log);
    std::vector<double> clock, picture;
    for (const av::frame_offset& o : offsets) {
        clock.push_back(o.clock_ms);
        picture.push_back(o.picture_ms);
    }
    std::printf("frames=%zu\nframes_with_music=%zu\n", log.frames.size(), offsets.size());
    print("clock", av::summarise(clock));
    print("picture", av::summarise(picture));
    std::vector<double> position;
    for (const av::frame_offset& o : offsets)
        if (!std::isnan(o.position_ms)) position.push_back(o.position_ms);
    print("position", av::summarise(position));

    // The picture's offset averaged over the second around each frame.
    std::vector<double> running(offsets.size());
    for (size_t k = 0, from = 0, to = 0; k < offsets.size(); ++k) {
        const int64_t t = log.frames[offsets[k].index].present_ns;
        while (log.frames[offsets[from].index].present_ns < t - 500000000)
            ++from;
        while (to < offsets.size() && log.frames[offsets[to].index].present_ns <= t + 500000000)
            ++to;
        double sum = 0.0;
        for (size_t j = from; j < to; ++j)
            sum += offsets[j].picture_ms;
        running[k] = sum / double(to - from);
    }
    print("picture_1s_mean", av::summarise(running));

    // Intervals between presented frames.
    std::vector<double> intervals;
    for (size_t i = 1; i < log.frames.size(); ++i)
        intervals.push_back(double(log.frames[i].present_ns - log.frames[i - 1].present_ns) / 1e6);
    std::sort(intervals.begin(), intervals.end());
    if (!intervals.empty()) {
        const auto at = [&](double q) {
            return intervals[std::min(intervals.size() - 1, size_t(q * intervals.size()))];
        };
        std::printf("interval_p50_ms=%.1f\ninterval_p95_ms=%.1f\ninterval_max_ms=%.1f\n", at(0.5), at(0.95),
                    intervals.back());
        std::printf(
            "frames_over_2_periods=%zu\n",
            size_t(intervals.end() - std::upper_bound(intervals.begin(), intervals.end(), 2 * frame_ms)));
    }
    long rss_max = 0;
    for (const auto& f : log.frames)
        rss_max = std::max(rss_max, f.rss_kb);
    for (double t : {60.0, 120.0, 180.0, 240.0})
        for (const auto& f : log.frames)
            if (f.show_time >= t) {
                std::printf("rss_at_%.0f_s_mb=%.1f\n", t, f.rss_kb / 1024.0);
                break;
            }
    std::printf("rss_start_mb=%.1f\nrss_first_frame_mb=%.1f\nrss_max_mb=%.1f\nrss_end_mb=%.1f\n",
                log.start_rss_kb / 1024.0, log.frames.front().rss_kb / 1024.0, rss_max / 1024.0,
                (log.end_rss_kb ? log.end_rss_kb : log.frames.back().rss_kb) / 1024.0);

    if (argc == 8) {
        const int64_t load_from = std::atoll(argv[6]), load_to = std::atoll(argv[7]);
        std::vector<double> clock_in, picture_in;
        // Seconds after the load until the picture's offset, averaged over a
        // second, is within a frame for good.
        double back = 0.0;
        for (size_t k = 0; k < offsets.size(); ++k) {
            const int64_t t = log.frames[offsets[k].index].present_ns;
            if (t >= load_from && t <= load_to)
                clock_in.push_back(offsets[k].clock_ms), picture_in.push_back(offsets[k].picture_ms);
            if (t > load_to && std::fabs(running[k]) > frame_ms) back = double(t - load_to) / 1e9;
        }
        auto show_time_at = [&](int64_t ns) {
            for (const auto& f : log.frames)
                if (f.present_ns >= ns) return f.show_time;
            return log.frames.back().show_time;
        };
        std::printf("load_from_show_s=%.2f\nload_to_show_s=%.2f\n", show_time_at(load_from),
                    show_time_at(load_to));
        print("load_clock", av::summarise(clock_in));
        print("load_picture", av::summarise(picture_in));
        std::printf("load_picture_1s_mean_back_within_frame_s=%.2f\n", back);
    }

    if (argc >= 6) {
        FILE* csv = std::fopen(argv[5], "w");
        if (!csv) {
            std::fprintf(stderr, "av-sync-report: cannot write %s\n", argv[5]);
            return 1;
        }
        std::fprintf(
            csv, "wall_s,show_time,clock_ms,picture_ms,interval_ms,rss_mb,position_ms,picture_1s_mean_ms\n");
        const int64_t t0 = log.frames.front().present_ns;
        for (size_t k = 0; k < offsets.size(); ++k) {
            const av::frame_offset& o = offsets[k];
            const auto& f = log.frames[o.index];
            const double interval =
                o.index ? double(f.present_ns - log.frames[o.index - 1].present_ns) / 1e6 : 0.0;
            std::fprintf(csv, "%.4f,%.4f,%.3f,%.3f,%.2f,%.1f,%.3f,%.3f\n", double(f.present_ns - t0) / 1e9,
                         f.show_time, o.clock_ms, o.picture_ms, interval, f.rss_kb / 1024.0,
                         std::isnan(o.position_ms) ? 0.0 : o.position_ms, running[k]);
        }
        std::fclose(csv);
    }
    return 0;
}
