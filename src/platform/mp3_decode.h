// One MP3 decoded whole into 16-bit samples (mpg123), a chunk at a time, so
// that a caller can share the work out (a worker thread on the desktop, the
// page's own turn in the browser). Internal to this folder: the desktop and
// the browser sound stand-ins decode through it alike.
#pragma once

#include <cstdint>
#include <vector>

struct mpg123_handle_struct;

namespace platform::native_sound {

struct sample_record {
    std::vector<int16_t> pcm; // interleaved
    int channels = 2;
    int rate = 44100;
    uint32_t frames = 0;
    bool loop = false;
};

struct mp3_decode {
    mpg123_handle_struct* mh = nullptr;
    sample_record sample;
    bool decoding = false;

    mp3_decode() = default;
    mp3_decode(const mp3_decode&) = delete;
    mp3_decode& operator=(const mp3_decode&) = delete;
    ~mp3_decode() { close(); }

    // Opens the file and fixes the output format; false when it is no MP3.
    bool begin(const char* file_name);
    // Decodes one chunk straight into the sample; false once the file is done.
    bool step();
    // Ends the decode; true when it gave a sample with frames in it.
    bool finish();
    void close();
};

// The whole file decoded; false when it is missing or no MP3.
bool decode_whole(const char* file_name, sample_record& out);

} // namespace platform::native_sound
