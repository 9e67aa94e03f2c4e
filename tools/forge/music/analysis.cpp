#include "analysis.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace forge_music {

namespace {
struct handle_deleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
} // namespace

decoded_audio decode_mp3_file(const std::string& path) {
    int err = MPG123_OK;
    std::unique_ptr<mpg123_handle, handle_deleter> h(mpg123_new(nullptr, &err));
    if (!h) throw std::runtime_error("mpg123: cannot create a decoder");
    mpg123_param(h.get(), MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    if (mpg123_open(h.get(), path.c_str()) != MPG123_OK)
        throw std::runtime_error("mpg123: cannot open " + path);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(h.get(), &rate, &channels, &encoding) != MPG123_OK)
        throw std::runtime_error("mpg123: no audio format in " + path);
    mpg123_format_none(h.get());
    mpg123_format(h.get(), rate, channels, MPG123_ENC_SIGNED_16);

    decoded_audio out;
    out.rate = rate;
    out.channels = channels;
    std::vector<short> buffer(32768);
    for (;;) {
        size_t done = 0;
        int r = mpg123_read(h.get(), buffer.data(), buffer.size() * sizeof(short), &done);
        size_t n = done / sizeof(short);
        for (size_t i = 0; i + size_t(channels) <= n; i += size_t(channels)) {
            short l = buffer[i], rr = channels > 1 ? buffer[i + 1] : buffer[i];
            out.clipped += (l >= 32767 || l <= -32768) + (rr >= 32767 || rr <= -32768);
            out.left.push_back(float(l) / 32768.0f);
            out.right.push_back(float(rr) / 32768.0f);
        }
        if (r == MPG123_DONE) break;
        if (r == MPG123_NEW_FORMAT) continue;
        if (r != MPG123_OK)
            throw std::runtime_error("mpg123: decoding " + path + " failed: " + mpg123_strerror(h.get()));
    }
    return out;
}

std::vector<double> rms_levels(const decoded_audio& audio, double window) {
    std::vector<double> levels;
    size_t n = size_t(std::max(1.0, window * double(audio.rate)));
    for (size_t start = 0; start + n <= audio.left.size(); start += n) {
        double sum = 0;
        for (size_t i = start; i < start + n; ++i) {
            double m = 0.5 * (double(audio.left[i]) + double(audio.right[i]));
            sum += m * m;
        }
        levels.push_back(10.0 * std::log10(std::max(sum / double(n), 1e-12)));
    }
    return levels;
}

onset_curve onset_strength(const decoded_audio& audio) {
    onset_curve curve;
    const size_t block = size_t(audio.rate / 200); // 5 ms
    if (block == 0 || audio.left.size() < 2 * block) return curve;
    curve.step = double(block) / double(audio.rate);
    std::vector<double> energy(audio.left.size() / block, 0.0);
    double prev = 0;
    for (size_t i = 0; i < energy.size() * block; ++i) {
        // The first difference favours the bright attack of a stroke over
        // the sustained body of the mix.
        double m = 0.5 * (double(audio.left[i]) + double(audio.right[i]));
        double d = m - prev;
        prev = m;
        energy[i / block] += d * d;
    }
    const double floor = double(block) * 1e-9;
    curve.rise_db.assign(energy.size(), 0.0);
    for (size_t k = 8; k + 1 < energy.size(); ++k) {
        double now = energy[k] + energy[k + 1];
        double before = 0;
        for (size_t j = k - 8; j < k; ++j)
            before += energy[j];
        before /= 4.0;
        curve.rise_db[k] = 10.0 * std::log10((now + floor) / (before + floor));
    }
    return curve;
}

onset_peak strongest_onset(const onset_curve& curve, double time, double radius) {
    onset_peak best;
    if (curve.step <= 0) return best;
    long first = std::max(0L, long(std::ceil((time - radius) / curve.step)));
    long last = std::min(long(curve.rise_db.size()) - 1, long(std::floor((time + radius) / curve.step)));
    for (long k = first; k <= last; ++k) {
        if (curve.rise_db[size_t(k)] > best.rise_db)
            best = {double(k) * curve.step, curve.rise_db[size_t(k)]};
    }
    return best;
}

onset_peak strongest_onset_besides(const onset_curve& curve, double time, double radius,
                                   const std::vector<double>& accents, double keep_out) {
    onset_peak best;
    if (curve.step <= 0) return best;
    long first = std::max(0L, long(std::ceil((time - radius) / curve.step)));
    long last = std::min(long(curve.rise_db.size()) - 1, long(std::floor((time + radius) / curve.step)));
    for (long k = first; k <= last; ++k) {
        double t = double(k) * curve.step;
        bool near_accent = false;
        for (double a : accents)
            near_accent = near_accent || std::fabs(t - a) <= keep_out;
        if (!near_accent && curve.rise_db[size_t(k)] > best.rise_db) best = {t, curve.rise_db[size_t(k)]};
    }
    return best;
}

std::vector<onset_peak> find_onsets(const onset_curve& curve, double threshold_db, double min_gap) {
    std::vector<onset_peak> peaks;
    const auto& r = curve.rise_db;
    for (size_t k = 1; k + 1 < r.size(); ++k) {
        if (r[k] < threshold_db || r[k] < r[k - 1] || r[k] < r[k + 1]) continue;
        onset_peak p{double(k) * curve.step, r[k]};
        if (!peaks.empty() && p.time - peaks.back().time < min_gap) {
            if (p.rise_db > peaks.back().rise_db) peaks.back() = p;
            continue;
        }
        peaks.push_back(p);
    }
    return peaks;
}

} // namespace forge_music
