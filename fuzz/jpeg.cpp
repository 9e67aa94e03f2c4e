// Fuzz target for the JPEG decoder: any bytes, decoded as the texture loader
// decodes a file. Large pictures are decoded only in part (header, every
// progressive scan and a few lines) so that each input stays quick.
#include <cstddef>
#include <cstdint>

#include "resources/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpeg_decoder_memory_stream stream(data, size);
    jpeg_decoder decoder(&stream, true);
    if (decoder.error_code() != 0) return 0;
    if (decoder.start_decode() != 0) return 0;
    const long pixels = long(decoder.width()) * decoder.height();
    const int lines = pixels > (1 << 20) ? 32 : decoder.height();
    const int expected_length = decoder.width() * decoder.bytes_per_pixel();
    unsigned sum = 0;
    for (int y = 0; y < lines; ++y) {
        const uint8_t* line = nullptr;
        int length = 0;
        int status = decoder.next_line(&line, &length);
        if (status != 0) {
            // Only a decoding failure may stop the lines early.
            if (status != jpeg_decode_error || decoder.error_code() == 0) __builtin_trap();
            return 0;
        }
        if (length != expected_length) __builtin_trap();
        for (int i = 0; i < length; ++i)
            sum += line[i]; // every byte handed out must be readable
    }
    if (lines == decoder.height()) {
        const uint8_t* line;
        int length;
        if (decoder.next_line(&line, &length) != 1) __builtin_trap();
    }
    return int(sum & 0);
}
