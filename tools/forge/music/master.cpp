#include "master.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace forge_music {

namespace {

struct biquad {
    double b0, b1, b2, a1, a2;
    double z1 = 0, z2 = 0;
    double run(double x) {
        double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The two K-weighting stages, derived for the actual sample rate from their
// analogue prototypes (a high shelf of +4 dB near 1.7 kHz and a high-pass
// near 38 Hz).
void k_weighting(biquad& shelf, biquad& highpass) {
    const double pi = 3.14159265358979323846;
    double f0 = 1681.974450955533, gain_db = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(pi * f0 / sample_rate);
    double vh = std::pow(10.0, gain_db / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
             2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(pi * f0 / sample_rate);
    a0 = 1.0 + k / q + k * k;
    highpass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

} // namespace

double integrated_loudness(const std::vector<float>& left, const std::vector<float>& right) {
    size_t n = std::min(left.size(), right.size());
    // Mean square of the K-weighted signal per 100 ms step, summed over channels.
    const size_t step = sample_rate / 10;
    std::vector<double> step_power;
    const std::vector<float>* channels[2] = {&left, &right};
    std::vector<double> acc(n / step, 0.0);
    for (const auto* ch : channels) {
        biquad shelf{}, hp{};
        k_weighting(shelf, hp);
        for (size_t i = 0; i < acc.size() * step; ++i) {
            double y = hp.run(shelf.run((*ch)[i]));
            acc[i / step] += y * y;
        }
    }
    // 400 ms blocks with 75 % overlap.
    std::vector<double> blocks;
    for (size_t b = 0; b + 4 <= acc.size(); ++b)
        blocks.push_back((acc[b] + acc[b + 1] + acc[b + 2] + acc[b + 3]) / double(4 * step));
    auto lufs = [](double power) { return -0.691 + 10.0 * std::log10(std::max(power, 1e-30)); };
    double sum = 0;
    size_t count = 0;
    for (double p : blocks)
        if (lufs(p) > -70.0) sum += p, ++count;
    if (count == 0) return -70.0;
    double relative_gate = lufs(sum / double(count)) - 10.0;
    sum = 0;
    count = 0;
    for (double p : blocks)
        if (lufs(p) > -70.0 && lufs(p) > relative_gate) sum += p, ++count;
    return count ? lufs(sum / double(count)) : -70.0;
}

float peak_level(const stereo& audio) {
    float peak = 0;
    for (float v : audio.left)
        peak = std::max(peak, std::fabs(v));
    for (float v : audio.right)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

void limit_peaks(stereo& audio, float ceiling) {
    const size_t n = std::min(audio.left.size(), audio.right.size());
    const size_t window = 88; // 2 ms look-ahead
    std::vector<float> need(n);
    for (size_t i = 0; i < n; ++i) {
        float p = std::max(std::fabs(audio.left[i]), std::fabs(audio.right[i]));
        need[i] = p > ceiling ? ceiling / p : 1.0f;
    }
    // Minimum of need over [i, i + window), by a monotonic queue.
    std::vector<float> lowest(n);
    std::deque<size_t> q;
    for (size_t j = n; j-- > 0;) {
        while (!q.empty() && need[q.back()] >= need[j])
            q.pop_back();
        q.push_back(j);
        while (q.front() >= j + window)
            q.pop_front();
        lowest[j] = need[q.front()];
    }
    // Averaging the windowed minimum over the preceding window keeps the
    // gain at or below what every sample needs while ramping it smoothly;
    // the gain then recovers with an 80 ms release.
    const double release = 1.0 - std::exp(-1.0 / (0.08 * sample_rate));
    double running = 0, gain = 1.0;
    for (size_t i = 0; i < n; ++i) {
        running += lowest[i];
        if (i >= window) running -= lowest[i - window];
        // Every averaged minimum covers sample i, so their mean never exceeds need[i].
        double smooth = running / double(std::min(i + 1, window));
        gain = std::min(smooth, gain + (1.0 - gain) * release);
        audio.left[i] = float(audio.left[i] * gain);
        audio.right[i] = float(audio.right[i] * gain);
    }
    for (size_t i = 0; i < n; ++i) {
        audio.left[i] = std::clamp(audio.left[i], -ceiling, ceiling);
        audio.right[i] = std::clamp(audio.right[i], -ceiling, ceiling);
    }
}

master_report master_mix(stereo& audio, double target_lufs, double ceiling_db, double fade_out) {
    master_report report;
    report.loudness_before = integrated_loudness(audio.left, audio.right);
    const float ceiling = float(std::pow(10.0, ceiling_db / 20.0));
    const stereo raw = audio;
    // Limiting takes some loudness off the peaks; a second pass adds it back.
    double gain_db = target_lufs - report.loudness_before;
    for (int pass = 0; pass < 3; ++pass) {
        audio = raw;
        float g = float(std::pow(10.0, gain_db / 20.0));
        for (float& v : audio.left)
            v *= g;
        for (float& v : audio.right)
            v *= g;
        limit_peaks(audio, ceiling);
        double measured = integrated_loudness(audio.left, audio.right);
        if (std::fabs(measured - target_lufs) < 0.1) break;
        gain_db += target_lufs - measured;
    }
    report.gain_db = gain_db;
    const size_t n = audio.left.size();
    {
        const float g = float(std::pow(10.0, gain_db / 20.0));
        size_t limited = 0;
        double deepest = 0;
        for (size_t i = 0; i < n; ++i) {
            float in = std::max(std::fabs(raw.left[i]), std::fabs(raw.right[i])) * g;
            float out = std::max(std::fabs(audio.left[i]), std::fabs(audio.right[i]));
            if (in < 1e-4f) continue;
            double reduction = -20.0 * std::log10(std::max(out, 1e-9f) / in);
            if (reduction > 1.0) ++limited;
            deepest = std::max(deepest, reduction);
        }
        report.limited_share = double(limited) / double(std::max<size_t>(n, 1));
        report.deepest_limit_db = deepest;
    }
    const size_t fade_in = sample_rate / 100;
    for (size_t i = 0; i < std::min(fade_in, n); ++i) {
        float g = float(i) / float(fade_in);
        audio.left[i] *= g;
        audio.right[i] *= g;
    }
    const size_t fade = std::min(n, size_t(fade_out * sample_rate));
    for (size_t i = 0; i < fade; ++i) {
        // Raised-cosine fade to silence at the last sample.
        double x = double(i + 1) / double(fade);
        float g = float(0.5 + 0.5 * std::cos(3.14159265358979323846 * x));
        audio.left[n - fade + i] *= g;
        audio.right[n - fade + i] *= g;
    }
    report.loudness_after = integrated_loudness(audio.left, audio.right);
    report.peak_after = peak_level(audio);
    return report;
}

} // namespace forge_music
