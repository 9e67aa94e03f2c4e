// forge-music-listen: prints what a forged music file sounds like in numbers,
// for checking the piece against the show's timeline by ear and by eye.
//
//   forge-music-listen FILE.mp3 [--onsets DB]
//
// Prints the length, loudness, peak and clipping, the RMS level of every
// second, the measured rise at every accent of the timeline, and (with
// --onsets) every onset stronger than DB.
#include "analysis.h"
#include "master.h"
#include "piece.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: forge-music-listen FILE.mp3 [--onsets DB]\n");
        return 2;
    }
    double onset_threshold = 0;
    bool list_onsets = false;
    if (argc >= 4 && std::string(argv[2]) == "--onsets") {
        list_onsets = true;
        onset_threshold = std::atof(argv[3]);
    }
    try {
        forge_music::decoded_audio audio = forge_music::decode_mp3_file(argv[1]);
        float peak = 0;
        for (float v : audio.left)
            peak = std::max(peak, std::fabs(v));
        for (float v : audio.right)
            peak = std::max(peak, std::fabs(v));
        std::printf("%s\n  %ld Hz, %d channels, %zu frames = %.3f s\n", argv[1], audio.rate, audio.channels,
                    audio.left.size(), audio.seconds());
        std::printf("  integrated loudness %.1f LUFS, peak %.2f dBFS, %zu clipped samples\n",
                    forge_music::integrated_loudness(audio.left, audio.right), 20.0 * std::log10(peak),
                    audio.clipped);
        std::vector<double> rms = forge_music::rms_levels(audio, 1.0);
        std::printf("  RMS per second (dBFS):");
        for (size_t i = 0; i < rms.size(); ++i)
            std::printf("%s%5.1f", i % 10 ? " " : "\n   ", rms[i]);
        std::printf("\n");
        forge_music::onset_curve curve = forge_music::onset_strength(audio);
        std::printf(
            "  accents: strongest rise within 50 ms and its offset; strongest other rise within 0.75 s\n");
        std::vector<double> accents;
        for (const forge_music::hit_point& h : forge_music::hit_points())
            accents.push_back(h.time);
        for (const forge_music::hit_point& h : forge_music::hit_points()) {
            forge_music::onset_peak p = forge_music::strongest_onset(curve, h.time, 0.05);
            forge_music::onset_peak other =
                forge_music::strongest_onset_besides(curve, h.time, 0.75, accents, 0.06);
            std::printf("   %9.3f  %5.1f dB at %+5.1f ms; others %5.1f dB  %s\n", h.time, p.rise_db,
                        (p.time - h.time) * 1000, other.rise_db, h.what.c_str());
        }
        if (list_onsets) {
            std::printf("  onsets above %.1f dB:\n", onset_threshold);
            for (const auto& p : forge_music::find_onsets(curve, onset_threshold, 0.03))
                std::printf("   %9.3f  %5.1f dB\n", p.time, p.rise_db);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "forge-music-listen: %s\n", e.what());
        return 1;
    }
    return 0;
}
