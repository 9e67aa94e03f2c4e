#include "support/av_sync.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace av {

namespace {

std::vector<int16_t> read_pcm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<int16_t> pcm;
    if (!in) return pcm;
    in.seekg(0, std::ios::end);
    const auto bytes = size_t(in.tellg());
    in.seekg(0);
    pcm.resize(bytes / 4 * 2);
    in.read(reinterpret_cast<char*>(pcm.data()), std::streamsize(pcm.size() * 2));
    return pcm;
}

// A frame is silent when both channels are within a few steps of zero.
bool loud(const int16_t* frame) { return std::abs(int(frame[0])) + std::abs(int(frame[1])) > 64; }

double median(std::vector<double>& v) {
    const size_t half = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + long(half), v.end());
    return v[half];
}

} // namespace

bool load_recording(const fs::path& base, recording& out, std::string& error) {
    out.pcm = read_pcm(base.string() + ".raw");
    std::ifstream times(base.string() + ".times");
    if (!times) return error = "no " + base.string() + ".times", false;
    recording::clock_point p;
    out.clock.clear();
    std::vector<recording::clock_point> all;
    while (times >> p.ns >> p.frame)
        all.push_back(p);
    // Points where the stream's clock keeps pace with the system's on both
    // sides (within half a millisecond): while the server changes the sink's
    // latency (a player connects) it stands still for a while.
    auto lead = [&](size_t i) { return double(all[i].ns) / 1e9 - all[i].frame / rate; };
    out.clock.clear();
    for (size_t i = 1; i + 1 < all.size(); ++i)
        if (std::fabs(lead(i) - lead(i - 1)) < 0.0005 && std::fabs(lead(i + 1) - lead(i)) < 0.0005)
            out.clock.push_back(all[i]);
    if (out.clock.size() < 10 || out.pcm.empty()) return error = "the recording is empty", false;
    return true;
}

double heard_frame(const recording& r, int64_t ns) {
    constexpr int64_t half_window = 500000000, gap = 50000000;
    auto lead = [](const recording::clock_point& p) { return double(p.ns) / 1e9 - p.frame / rate; };
    auto at = [](const recording::clock_point& p, int64_t t) { return p.ns < t; };
    // Known only where the stream's clock kept pace for half a second on
    // both sides: points no further apart than 50 ms, all on one line.
    const auto from = std::lower_bound(r.clock.begin(), r.clock.end(), ns - half_window, at);
    const auto to = std::lower_bound(r.clock.begin(), r.clock.end(), ns + half_window, at);
    if (from == to || from->ns - (ns - half_window) > gap || (ns + half_window) - (to - 1)->ns > gap)
        return NAN;
    const double line = lead(*from);
    std::vector<double> carried;
    for (auto p = from; p != to; ++p) {
        if ((p != from && p->ns - (p - 1)->ns > gap) || std::fabs(lead(*p) - line) > 0.001) return NAN;
        carried.push_back(p->frame + double(ns - p->ns) * rate / 1e9);
    }
    return median(carried);
}

std::vector<int16_t> decode_music(const fs::path& mp3) {
    std::vector<int16_t> pcm;
    const std::string command = "ffmpeg -loglevel error -i '" + mp3.string() + "' -f s16le -ac 2 -ar 44100 -";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        int16_t buffer[32768];
        size_t n;
        while ((n = std::fread(buffer, sizeof(int16_t), 32768, pipe)) > 0)
            pcm.insert(pcm.end(), buffer, buffer + n);
        if (pclose(pipe) != 0) pcm.clear();
    }
    pcm.resize(pcm.size() & ~size_t(1));
    return pcm;
}

music_match match_music(const recording& r, const std::vector<int16_t>& music, int64_t from) {
    music_match m;
    const int64_t frames = int64_t(r.frames()), music_frames = int64_t(music.size() / 2);
    auto rec = [&](int64_t k, int c) { return k >= 0 && k < frames ? r.pcm[size_t(2 * k + c)] : int16_t(0); };
    auto mus = [&](int64_t f, int c) {
        return f >= 0 && f < music_frames ? music[size_t(2 * f + c)] : int16_t(0);
    };

    // The first loud frame of each gives the offset roughly; the
    // correlation of the next 8192 frames, within 50 ms of it, exactly.
    int64_t first_heard = 0, first_played = from;
    while (first_heard < frames && !loud(&r.pcm[size_t(2 * first_heard)]))
        ++first_heard;
    while (first_played < music_frames && !loud(&music[size_t(2 * first_played)]))
        ++first_played;
    if (first_heard == frames || first_played == music_frames) return m;
    constexpr int64_t window = 8192, search = 2205;
    const int64_t rough = first_heard - first_played;
    double rec_energy = 0.0;
    for (int64_t k = first_heard; k < first_heard + window; ++k)
        for (int c = 0; c < 2; ++c)
            rec_energy += double(rec(k, c)) * rec(k, c);
    std::vector<double> correlation(size_t(2 * search + 1));
    for (int64_t o = rough - search; o <= rough + search; ++o) {
        double cross = 0.0, music_energy = 0.0;
        for (int64_t k = first_heard; k < first_heard + window; ++k)
            for (int c = 0; c < 2; ++c) {
                const double a = rec(k, c), b = mus(k - o, c);
                cross += a * b;
                music_energy += b * b;
            }
        const double norm = std::sqrt(rec_energy * music_energy);
        correlation[size_t(o - rough + search)] = norm > 0.0 ? cross / norm : 0.0;
    }
    const auto best = std::max_element(correlation.begin(), correlation.end());
    m.peak = *best;
    m.offset = rough - search + (best - correlation.begin());
    for (size_t i = 0; i < correlation.size(); ++i)
        if (std::abs(long(i) - long(best - correlation.begin())) > rate / 200)
            m.next_peak = std::max(m.next_peak, correlation[i]);
    // Another piece of music: its blocks would each be searched for in vain.
    if (m.peak < 0.9) return m;
    m.found = true;
    m.start = from + m.offset;
    m.end = frames;
    while (m.end > m.start && !loud(&r.pcm[size_t(2 * (m.end - 1))]))
        --m.end;

    // Every whole block from the music's start to its last loud frame, at
    // the offset of the block before, else found again within a second.
    constexpr int64_t block = music_match::block;
    auto block_error = [&](int64_t b, int64_t o, int64_t count, double limit) {
        double error = 0.0;
        for (int64_t k = b; k < b + count && error < limit; ++k)
            for (int c = 0; c < 2; ++c)
                error += std::abs(double(rec(k, c)) - mus(k - o, c));
        return error / (2.0 * double(count) * 32768.0);
    };
    constexpr double same = 0.002; // mean difference of a block that is the music, full scale 1
    int64_t current = m.offset;
    for (int64_t b = m.start; b + block <= m.end; b += block) {
        double error = block_error(b, current, block, 1e30);
        if (error > same) {
            int64_t best = current;
            double best_error = 1e30;
            for (int64_t o = current - rate; o <= current + rate; ++o) {
                const double e = block_error(b, o, 64, best_error); // a first look, then the block
                if (e < best_error && block_error(b, o, block, 1e30) <= same) best = o, best_error = e;
            }
            if (best_error <= same) {
                ++m.jumps;
                current = best;
                error = block_error(b, current, block, 1e30);
            }
        }
        const bool ok = error <= same;
        if (ok) m.worst_error = std::max(m.worst_error, error);
        m.block_offsets.push_back(ok ? current : music_match::lost);
        if (!ok) ++m.lost_blocks;
        if ((!ok || current != m.offset) && m.first_fault < 0) m.first_fault = b;
    }
    return m;
}

bool music_match::music_frame(double k, double& out) const {
    if (!std::isfinite(k)) return false;
    const int64_t i = int64_t(std::floor((k - double(start)) / double(block)));
    if (k < double(start) || i >= int64_t(block_offsets.size()) || block_offsets[size_t(i)] == lost)
        return false;
    out = k - double(block_offsets[size_t(i)]);
    return true;
}

bool load_frame_log(const fs::path& file, frame_log& out, std::string& error) {
    std::ifstream in(file);
    if (!in) return error = "no " + file.string(), false;
    out = frame_log{};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "frame") {
            frame_log::frame f;
            if (words >> f.read_ns >> f.present_ns >> f.show_time >> f.rss_kb) out.frames.push_back(f);
        } else if (kind == "start") {
            words >> out.start_ns >> out.start_rss_kb;
        } else if (kind == "end") {
            words >> out.end_ns >> out.end_rss_kb;
        }
    }
    if (out.frames.empty()) return error = "no frames in " + file.string(), false;
    return true;
}

std::vector<frame_offset> offsets(const recording& r, const music_match& m, const frame_log& log) {
    std::vector<frame_offset> out;
    for (size_t i = 0; i < log.frames.size(); ++i) {
        const frame_log::frame& f = log.frames[i];
        double read = 0.0, presented = 0.0;
        if (!m.music_frame(heard_frame(r, f.read_ns), read) ||
            !m.music_frame(heard_frame(r, f.present_ns), presented))
            continue;
        frame_offset o;
        o.index = i;
        o.clock_ms = (f.show_time - read / rate) * 1000.0;
        o.picture_ms = (f.show_time - presented / rate) * 1000.0;
        if (!out.empty() && out.back().index == i - 1) {
            const frame_log::frame& before = log.frames[i - 1];
            const double step = f.show_time - before.show_time;
            const double passed = double(f.read_ns - before.read_ns) / 1e9;
            const double pulled_toward = before.show_time + (step - passed) / double(0.1f);
            o.position_ms = (pulled_toward - read / rate) * 1000.0;
        }
        out.push_back(o);
    }
    return out;
}

summary summarise(const std::vector<double>& values) {
    summary s;
    s.count = values.size();
    if (values.empty()) return s;
    std::vector<double> magnitude;
    for (double v : values) {
        s.mean += v;
        magnitude.push_back(std::fabs(v));
    }
    s.mean /= double(values.size());
    std::sort(magnitude.begin(), magnitude.end());
    s.p95 = magnitude[std::min(magnitude.size() - 1, size_t(0.95 * double(magnitude.size())))];
    s.max = magnitude.back();
    return s;
}

} // namespace av
