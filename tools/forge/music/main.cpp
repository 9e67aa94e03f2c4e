// forge-music: composes both versions of the show's music, renders them with
// fluidsynth, masters them and writes the two MP3 files.
//
//   forge-music --out DIR [--soundfont FILE] [--only 1|2]
//
// Output is byte-identical from run to run. Files are written under a
// temporary name and renamed, so an interrupted run never leaves a partial
// MP3 behind under the real name.
#include "encode.h"
#include "master.h"
#include "piece.h"
#include "render.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <string>
#include <thread>

namespace {

const char* const file_names[2] = {"Zembra - Quorlaxen.mp3", "Zembra - Quorlaxen2.mp3"};

// Loudness the masters aim at, and the peak ceiling left for the encoder's
// overshoot.
constexpr double target_lufs = -14.0;
constexpr double ceiling_db = -1.5;
constexpr double fade_out_seconds = 1.5;

struct job {
    int version = 1;
    std::string out_dir, soundfont;
    std::string error;
    double cpu_seconds = 0; // this version's own processor time: its wall time on an idle core
    double seconds = 0, render_seconds = 0, master_seconds = 0, encode_seconds = 0;
    forge_music::master_report report;
    size_t bytes = 0;
};

void forge(job& j) {
    auto t0 = std::chrono::steady_clock::now();
    try {
        forge_music::score s = forge_music::compose(j.version);
        forge_music::stereo audio = forge_music::render_score(s, j.soundfont);
        auto t1 = std::chrono::steady_clock::now();
        j.render_seconds = std::chrono::duration<double>(t1 - t0).count();
        j.report = forge_music::master_mix(audio, target_lufs, ceiling_db, fade_out_seconds);
        auto t2 = std::chrono::steady_clock::now();
        j.master_seconds = std::chrono::duration<double>(t2 - t1).count();
        forge_music::mp3_tags tags{j.version == 1 ? "Quorlaxen" : "Quorlaxen (second version)", "Zembra",
                                   "Quorlaxen", "2026"};
        std::vector<unsigned char> mp3 = forge_music::encode_mp3(audio, tags, 2);
        j.encode_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t2).count();
        std::string path = j.out_dir + "/" + file_names[j.version - 1];
        std::string temp = path + ".part";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(mp3.data()), std::streamsize(mp3.size()));
            out.close();
            if (!out) throw std::runtime_error("cannot write " + temp);
        }
        if (std::rename(temp.c_str(), path.c_str()) != 0) {
            std::remove(temp.c_str());
            throw std::runtime_error("cannot rename " + temp + " to " + path);
        }
        j.bytes = mp3.size();
    } catch (const std::exception& e) {
        j.error = e.what();
    }
    j.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    j.cpu_seconds = double(cpu.tv_sec) + 1e-9 * double(cpu.tv_nsec);
}

int usage() {
    std::fprintf(stderr, "usage: forge-music --out DIR [--soundfont FILE] [--only 1|2]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string out_dir, soundfont = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
    int only = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        if (a == "--out")
            out_dir = argv[++i];
        else if (a == "--soundfont")
            soundfont = argv[++i];
        else if (a == "--only") {
            only = std::atoi(argv[++i]);
            if (only != 1 && only != 2) return usage();
        } else
            return usage();
    }
    if (out_dir.empty()) return usage();

    auto t0 = std::chrono::steady_clock::now();
    job jobs[2];
    std::thread threads[2];
    for (int v = 1; v <= 2; ++v) {
        if (only && only != v) continue;
        jobs[v - 1].version = v;
        jobs[v - 1].out_dir = out_dir;
        jobs[v - 1].soundfont = soundfont;
        threads[v - 1] = std::thread(forge, std::ref(jobs[v - 1]));
    }
    int status = 0;
    for (int v = 1; v <= 2; ++v) {
        if (!threads[v - 1].joinable()) continue;
        threads[v - 1].join();
        const job& j = jobs[v - 1];
        if (!j.error.empty()) {
            std::fprintf(stderr, "forge-music: version %d: %s\n", v, j.error.c_str());
            status = 1;
            continue;
        }
        std::printf(
            "forge-music: %s: %.1f LUFS (raw %.1f, gain %+.1f dB; limiter above 1 dB on %.2f %% of samples, "
            "at most %.1f dB), peak %.2f dBFS, %zu bytes, %.1f s (render %.1f, master %.1f, encode %.1f; "
            "%.1f s of processor time)\n",
            file_names[v - 1], j.report.loudness_after, j.report.loudness_before, j.report.gain_db,
            100.0 * j.report.limited_share, j.report.deepest_limit_db, 20.0 * std::log10(j.report.peak_after),
            j.bytes, j.seconds, j.render_seconds, j.master_seconds, j.encode_seconds, j.cpu_seconds);
    }
    std::printf("forge-music: done in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    return status;
}
