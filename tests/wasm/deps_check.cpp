// The MP3 decoder and the FFT the way the sound stand-in calls them, built
// natively and with Emscripten (against scripts/web-deps.sh's libraries) so
// that tests/wasm/check-deps.sh can set the two side by side.
//   deps_check decode FILE.mp3 OUT.raw   16-bit samples as the show decodes
//                                        them; prints frames, rate, channels
//   deps_check spectrum                  the 512-bin magnitudes of a fixed
//                                        signal, one a line
//   deps_check compare A.raw B.raw       prints the samples that differ and
//                                        the largest difference
#include <fftw3.h>
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int decode(const char* file, const char* out_name) {
    mpg123_init();
    int error = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (!mh || mpg123_open(mh, file) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK) {
        std::fprintf(stderr, "cannot open %s\n", file);
        return 1;
    }
    mpg123_format_none(mh);
    mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
    std::vector<int16_t> pcm;
    for (;;) {
        const size_t old = pcm.size(), chunk = 65536;
        pcm.resize(old + chunk);
        size_t done = 0;
        const int r =
            mpg123_read(mh, reinterpret_cast<unsigned char*>(&pcm[old]), chunk * sizeof(int16_t), &done);
        pcm.resize(old + done / sizeof(int16_t));
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    FILE* out = std::fopen(out_name, "wb");
    if (!out || std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), out) != pcm.size() || std::fclose(out)) {
        std::fprintf(stderr, "cannot write %s\n", out_name);
        return 1;
    }
    std::printf("frames %zu rate %ld channels %d\n", pcm.size() / size_t(channels), rate, channels);
    return 0;
}

// The stand-in's analysis: a Hann window over 1024 samples, a real FFT,
// magnitudes scaled so that a full-scale sine in a bin's middle reads 1.
int spectrum() {
    constexpr int size = 1024;
    constexpr double pi = 3.14159265358979323846;
    float* in = fftwf_alloc_real(size);
    fftwf_complex* out = fftwf_alloc_complex(size / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(size, in, out, FFTW_ESTIMATE);
    float window_sum = 0.0f;
    for (int i = 0; i < size; ++i) {
        const float w = float(0.5 - 0.5 * std::cos(2.0 * pi * i / (size - 1)));
        window_sum += w;
        // Two tones (one between bins), a chirp and a step.
        const double t = i / 44100.0;
        const double x = 0.5 * std::sin(2 * pi * 440.0 * t) + 0.25 * std::sin(2 * pi * 5012.7 * t) +
                         0.1 * std::sin(2 * pi * (100.0 + 20000.0 * t) * t) + (i > 700 ? 0.05 : 0.0);
        in[i] = float(x) * w;
    }
    fftwf_execute(plan);
    const float norm = 2.0f / window_sum;
    for (int k = 0; k < size / 2; ++k)
        std::printf("%.9g\n", std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * norm);
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
    return 0;
}

std::vector<int16_t> read_raw(const char* name) {
    std::vector<int16_t> pcm;
    if (FILE* f = std::fopen(name, "rb")) {
        int16_t buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, sizeof(int16_t), 4096, f)) > 0)
            pcm.insert(pcm.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return pcm;
}

int compare(const char* a_name, const char* b_name) {
    const std::vector<int16_t> a = read_raw(a_name), b = read_raw(b_name);
    if (a.size() != b.size()) {
        std::printf("lengths %zu %zu\n", a.size(), b.size());
        return 1;
    }
    size_t differing = 0;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const int d = std::abs(int(a[i]) - int(b[i]));
        differing += d != 0;
        largest = d > largest ? d : largest;
    }
    std::printf("differing %zu of %zu largest %d\n", differing, a.size(), largest);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "decode")) return decode(argv[2], argv[3]);
    if (argc == 2 && !std::strcmp(argv[1], "spectrum")) return spectrum();
    if (argc == 4 && !std::strcmp(argv[1], "compare")) return compare(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s decode FILE OUT | spectrum | compare A B\n", argv[0]);
    return 2;
}
