#include "platform/mp3_decode.h"

#include <mpg123.h>

#include <utility>
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform::native_sound {
namespace {

constexpr size_t chunk = 32768; // 16-bit values decoded per read

// Tens of megabytes are written once in order: large pages where the system
// offers them on request make that a few hundred page faults, not thousands.
void advise_huge_pages(void* data, size_t bytes) {
#if defined(__linux__)
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (uintptr_t(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // only a hint
#else
    (void)data, (void)bytes;
#endif
}

} // namespace

bool mp3_decode::begin(const char* file_name) {
    mpg123_init(); // a no-op on current libraries, required on old ones
    int error = 0;
    mh = mpg123_new(nullptr, &error);
    if (!mh) return false;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0); // failures are reported by the caller
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(mh, file_name) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0)
        return false;
    // 16-bit signed at the file's own rate and channel count.
    mpg123_format_none(mh);
    if (mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK) return false;
    sample.channels = channels;
    sample.rate = int(rate);
    // Reading every frame header first gives the decoded length, so the
    // whole sample is allocated once instead of growing (and being
    // copied) by doubling. The length is only a hint: the decode still
    // runs to the end and keeps exactly what it produced.
    if (mpg123_scan(mh) == MPG123_OK) {
        // off_t is 32 bits on some systems: compared in 64.
        const int64_t length = mpg123_length(mh);
        if (length > 0 && length < int64_t(1) << 31) {
            sample.pcm.reserve(size_t(length) * size_t(channels) + chunk);
            advise_huge_pages(sample.pcm.data(), sample.pcm.capacity() * sizeof(int16_t));
        }
    }
    decoding = true;
    return true;
}

bool mp3_decode::step() {
    if (!decoding) return false;
    std::vector<int16_t>& pcm = sample.pcm;
    const size_t old = pcm.size();
    pcm.resize(old + chunk);
    size_t done = 0;
    const int r =
        mpg123_read(mh, reinterpret_cast<unsigned char*>(&pcm[old]), chunk * sizeof(int16_t), &done);
    pcm.resize(old + done / sizeof(int16_t));
    if (r == MPG123_OK || r == MPG123_NEW_FORMAT) return true;
    decoding = false; // MPG123_DONE, or an error: keep what decoded
    return false;
}

bool mp3_decode::finish() {
    close();
    sample.frames = uint32_t(sample.pcm.size() / size_t(sample.channels));
    sample.pcm.resize(size_t(sample.frames) * sample.channels);
    return sample.frames > 0;
}

void mp3_decode::close() {
    if (!mh) return;
    mpg123_close(mh);
    mpg123_delete(mh);
    mh = nullptr;
    decoding = false;
}

bool decode_whole(const char* file_name, sample_record& out) {
    mp3_decode decode;
    bool ok = decode.begin(file_name);
    while (ok && decode.step()) {
    }
    ok = ok && decode.finish();
    if (ok) out = std::move(decode.sample);
    return ok;
}

} // namespace platform::native_sound
