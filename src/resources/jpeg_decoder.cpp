// JPEG decoding (ITU-T T.81, Huffman-coded, 8-bit): markers and headers,
// entropy decoding for sequential and progressive scans, and line output.
//
// Two ways through the data:
//  - streaming: a sequential image whose first scan holds every component is
//    decoded one MCU row at a time, as lines are asked for;
//  - buffered: a progressive image (or a sequential one with separate
//    component scans) is decoded scan by scan into per-component coefficient
//    buffers by start_decode, then transformed one MCU row at a time.
// Either way an MCU row lands in one sample plane per component, from which
// lines are handed out (grey) or colour-converted (YCbCr).
#include "resources/jpeg_decoder.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Natural (row-major) position of each zig-zag index, with guard entries so
// that a run ending just past 63 still indexes inside the table.
constexpr uint8_t zigzag[64 + 16] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                     12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                     35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                     58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
                                     63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

constexpr int fast_bits = 10;

// Coefficient of `count` extra bits `value` (T.81 F.2.2.1 EXTEND).
inline int extend(uint32_t value, int count) {
    return value < (1u << (count - 1)) ? int(value) - (1 << count) + 1 : int(value);
}

// 16-bit dequantisation: the low half of the product, as the SIMD multiply gives.
inline int16_t dequantise(int coefficient, uint16_t q) {
    return int16_t(uint16_t(uint32_t(uint16_t(coefficient)) * q));
}

// Exact separable inverse DCT for the floating-point path.
void float_idct(const int16_t* coefficients, const float* quant, uint8_t* out, int stride) {
    static const struct basis_table {
        float c[8][8]; // c[x][u] = C(u)/2 cos((2x+1) u pi / 16)
        basis_table() {
            for (int x = 0; x < 8; ++x)
                for (int u = 0; u < 8; ++u)
                    c[x][u] =
                        float((u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * M_PI / 16));
        }
    } basis;
    float f[64], rows[64];
    for (int i = 0; i < 64; ++i)
        f[i] = float(coefficients[i]) * quant[i];
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            float s = 0;
            for (int u = 0; u < 8; ++u)
                s += basis.c[x][u] * f[v * 8 + u];
            rows[v * 8 + x] = s;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            float s = 0;
            for (int v = 0; v < 8; ++v)
                s += basis.c[y][v] * rows[v * 8 + x];
            long value = std::lround(s) + 128;
            out[y * stride + x] = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
        }
}

const uint16_t unit_quant[64] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

bool is_frame_marker(int m) { return (m >= 0xC0 && m <= 0xCF) && m != 0xC4 && m != 0xC8 && m != 0xCC; }

} // namespace

// --- streams -----------------------------------------------------------------

jpeg_decoder_file_stream::~jpeg_decoder_file_stream() { close_file(); }

bool jpeg_decoder_file_stream::open_file(const char* file_name) {
    close_file();
    file_ = std::fopen(file_name, "rb");
    return file_ == nullptr;
}

void jpeg_decoder_file_stream::close_file() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    end_of_file_ = false;
    error_ = false;
}

int jpeg_decoder_file_stream::read_bytes(uint8_t* buffer, int max_count, bool* at_end) {
    if (!file_) return -1;
    if (end_of_file_) {
        *at_end = true;
        return 0;
    }
    if (error_) return -1;
    if (max_count <= 0) return 0;
    size_t count = std::fread(buffer, 1, size_t(max_count), file_);
    if (count < size_t(max_count)) {
        if (std::ferror(file_)) {
            error_ = true;
            return -1;
        }
        end_of_file_ = true;
        *at_end = true;
    }
    return int(count);
}

int jpeg_decoder_memory_stream::read_bytes(uint8_t* buffer, int max_count, bool* at_end) {
    size_t left = size_ - position_;
    size_t count = max_count < 0 ? 0 : size_t(max_count) < left ? size_t(max_count) : left;
    if (count) std::memcpy(buffer, data_ + position_, count);
    position_ += count;
    if (position_ == size_) *at_end = true;
    return int(count);
}

// --- life cycle and memory ---------------------------------------------------

jpeg_decoder::jpeg_decoder(jpeg_decoder_stream* stream, bool use_integer_idct)
    : stream_(stream), use_integer_idct_(use_integer_idct) {
    stream_->on_attach();
    try {
        read_start_of_image();
        int marker = read_markers();
        if (marker == 0xC9) fail(jpeg_no_arithmetic_support);
        if (!is_frame_marker(marker)) fail(jpeg_unexpected_marker);
        if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2) fail(jpeg_unsupported_marker);
        read_frame(marker);
    } catch (const decode_abort&) {
    }
}

jpeg_decoder::~jpeg_decoder() { free_all(); }

void jpeg_decoder::fail(int code) {
    // A progressive file cut off between two scans: keep the scans decoded
    // so far instead of refusing the whole image.
    if (between_scans_ && input_ended_ && in_pos_ > real_end_) throw end_of_data{};
    error_code_ = code;
    free_all();
    throw decode_abort{};
}

void jpeg_decoder::free_all() {
    if (block_count_ == 0) return;
    for (int i = 0; i < block_count_; ++i)
        std::free(blocks_[i]);
    block_count_ = 0;
    stream_->on_detach();
}

void* jpeg_decoder::allocate(size_t bytes) {
    if (block_count_ >= max_allocations) fail(jpeg_too_many_blocks);
    // calloc hands out 16-byte aligned, zero-filled memory on the desktop
    // (WebAssembly's is 8-byte aligned, and its vector loads need none), and
    // leaves untouched pages of large coefficient buffers unmapped.
    void* p = std::calloc(1, bytes + 16);
#if !defined(__EMSCRIPTEN__)
    static_assert(alignof(std::max_align_t) >= 16);
#endif
    if (!p) fail(jpeg_out_of_memory);
    blocks_[block_count_++] = p;
    return p;
}

// --- input -------------------------------------------------------------------

void jpeg_decoder::refill_input() {
    if (input_ended_) {
        // Past the end every read sees EOI markers, so a truncated file ends
        // in markers rather than in stale data.
        for (int i = 0; i < 128; i += 2)
            input_[i] = 0xFF, input_[i + 1] = 0xD9;
        in_pos_ = input_;
        in_end_ = input_ + 128;
        real_end_ = input_;
        return;
    }
    int count = 0;
    bool at_end = false;
    while (count < input_buffer_size && !at_end) {
        int got = stream_->read_bytes(input_ + count, input_buffer_size - count, &at_end);
        if (got < 0 || got > input_buffer_size - count) fail(jpeg_stream_read_error);
        if (got == 0) at_end = true; // a stream that stops giving bytes has ended
        count += got;
    }
    real_end_ = input_ + count;
    if (at_end) {
        input_ended_ = true;
        for (int i = 0; i < 128; i += 2)
            input_[count + i] = 0xFF, input_[count + i + 1] = 0xD9;
        count += 128;
    }
    in_pos_ = input_;
    in_end_ = input_ + count;
}

// --- markers and headers -----------------------------------------------------

void jpeg_decoder::read_start_of_image() {
    int previous = get_byte();
    int current = get_byte();
    // Up to 511 bytes of leading garbage may come before SOI.
    for (int i = 0; i < 511 && !(previous == 0xFF && current == 0xD8); ++i) {
        previous = current;
        current = get_byte();
    }
    if (!(previous == 0xFF && current == 0xD8)) fail(jpeg_not_jpeg);
    if (get_byte() != 0xFF) fail(jpeg_not_jpeg);
    in_pos_--; // the FF starts the first marker
}

int jpeg_decoder::next_marker() {
    if (pending_marker_) {
        int marker = pending_marker_;
        pending_marker_ = 0;
        return marker;
    }
    for (;;) {
        int b = get_byte();
        while (b != 0xFF)
            b = get_byte(); // stray bytes between segments
        do
            b = get_byte();
        while (b == 0xFF);
        if (b != 0) return b; // FF 00 is stuffed entropy data, not a marker
    }
}

int jpeg_decoder::read_markers() {
    for (;;) {
        int marker = next_marker();
        switch (marker) {
        case 0xC4:
            read_dht();
            break;
        case 0xDB:
            read_dqt();
            break;
        case 0xDD:
            read_dri();
            break;
        case 0xCC:
            fail(jpeg_no_arithmetic_support);
        case 0x01:
        case 0xC8:
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7:
            fail(jpeg_unexpected_marker);
        case 0xD8:
        case 0xD9:
        case 0xDA:
            return marker;
        case 0xE0:
        case 0xEE:
            read_colour_marker(marker);
            break;
        default:
            if (is_frame_marker(marker)) return marker;
            skip_variable_marker();
        }
    }
}

// APP0 (JFIF) and APP14 (Adobe) say how three components are coded; the
// rest of either segment is skipped.
void jpeg_decoder::read_colour_marker(int marker) {
    int length = get_word();
    if (length < 2) fail(jpeg_bad_variable_marker);
    uint8_t head[12] = {};
    int kept = length - 2 < 12 ? length - 2 : 12;
    for (int i = 0; i < length - 2; ++i) {
        uint8_t b = get_byte();
        if (i < kept) head[i] = b;
    }
    if (marker == 0xE0 && kept >= 5 && std::memcmp(head, "JFIF", 5) == 0) saw_jfif_ = true;
    if (marker == 0xEE && kept >= 12 && std::memcmp(head, "Adobe", 5) == 0) {
        saw_adobe_ = true;
        adobe_transform_ = head[11];
    }
}

// JFIF always means YCbCr; otherwise an Adobe transform of 0, or
// components named 'R', 'G', 'B', mean the samples are red, green, blue.
bool jpeg_decoder::coded_as_rgb() const {
    if (component_count_ != 3 || saw_jfif_) return false;
    if (saw_adobe_) return adobe_transform_ == 0;
    return components_[0].id == 'R' && components_[1].id == 'G' && components_[2].id == 'B';
}

void jpeg_decoder::skip_variable_marker() {
    int length = get_word();
    if (length < 2) fail(jpeg_bad_variable_marker);
    for (int i = 2; i < length; ++i)
        get_byte();
}

void jpeg_decoder::read_dht() {
    int left = get_word();
    if (left < 2) fail(jpeg_bad_dht_marker);
    left -= 2;
    while (left > 0) {
        int index = get_byte();
        left--;
        int table_class = index >> 4, id = index & 15;
        if (table_class > 1 || id > 3) fail(jpeg_bad_dht_index);
        if (left < 16) fail(jpeg_bad_dht_marker);
        uint8_t counts[16];
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += counts[i] = get_byte();
        left -= 16;
        if (total > 255) fail(jpeg_bad_dht_counts);
        if (total > left) fail(jpeg_bad_dht_marker);
        huffman_table& t = huffman_[id + 4 * table_class];
        for (int i = 0; i < total; ++i)
            t.symbols[i] = get_byte();
        left -= total;

        // Canonical codes: consecutive values per length, doubling between lengths.
        std::memset(t.fast, 0, sizeof t.fast);
        std::memset(t.fast_ac, 0, sizeof t.fast_ac);
        uint32_t code = 0;
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            t.value_offset[length] = k - int(code);
            for (int i = 0; i < counts[length - 1]; ++i, ++code, ++k) {
                // More codes than the length allows: not a prefix code.
                if (code >= (1u << length)) fail(jpeg_bad_dht_counts);
                if (length <= fast_bits) {
                    int shift = fast_bits - length;
                    for (uint32_t j = 0; j < (1u << shift); ++j)
                        t.fast[(code << shift) | j] = uint16_t(length << 8 | t.symbols[k]);
                }
            }
            t.max_code[length] = code << (16 - length);
            code <<= 1;
        }
        t.max_code[17] = 0xFFFFFFFF;
        // Whole AC coefficients (code + extra bits) that fit in the lookahead.
        for (uint32_t i = 0; i < (1u << fast_bits); ++i) {
            int entry = t.fast[i];
            if (!entry) continue;
            int length = entry >> 8, rs = entry & 255;
            int run = rs >> 4, size = rs & 15;
            if (size == 0 || length + size > fast_bits) continue;
            uint32_t bits = (i >> (fast_bits - length - size)) & ((1u << size) - 1);
            t.fast_ac[i] = int32_t(uint32_t(extend(bits, size)) << 16) | run << 8 | (length + size);
        }
        t.defined = true;
    }
}

void jpeg_decoder::read_dqt() {
    int left = get_word();
    if (left < 2) fail(jpeg_bad_dqt_marker);
    left -= 2;
    while (left > 0) {
        int index = get_byte();
        left--;
        int id = index & 15;
        bool sixteen_bit = (index >> 4) != 0;
        if (id > 3) fail(jpeg_bad_dqt_table);
        if (left < (sixteen_bit ? 128 : 64)) fail(jpeg_bad_dqt_length);
        // Read whole before use: a table cut off by the end of the file
        // must not replace one that earlier scans were coded with.
        uint32_t values[64];
        for (int i = 0; i < 64; ++i)
            values[zigzag[i]] = sixteen_bit ? uint32_t(get_word()) : get_byte();
        for (int p = 0; p < 64; ++p) {
            float_quant_[id][p] = float(values[p]);
            quant_[id][p] = use_integer_idct_
                                ? uint16_t((uint64_t(values[p]) * jpeg_aan_scale[p] + 2048) >> 12)
                                : uint16_t(values[p]);
        }
        left -= sixteen_bit ? 128 : 64;
        quant_defined_[id] = true;
    }
}

void jpeg_decoder::read_dri() {
    if (get_word() != 4) fail(jpeg_bad_dri_length);
    restart_interval_ = get_word();
}

void jpeg_decoder::read_frame(int marker) {
    progressive_ = marker == 0xC2;
    int length = get_word();
    if (get_byte() != 8) fail(jpeg_bad_precision);
    height_ = get_word();
    if (height_ < 1 || height_ > max_dimension) fail(jpeg_bad_height);
    width_ = get_word();
    if (width_ < 1 || width_ > max_dimension) fail(jpeg_bad_width);
    component_count_ = get_byte();
    if (component_count_ < 1 || component_count_ > 4) fail(jpeg_too_many_components);
    if (length != 8 + 3 * component_count_) fail(jpeg_bad_sof_length);
    for (int i = 0; i < component_count_; ++i) {
        component& c = components_[i];
        c.id = get_byte();
        int sampling = get_byte();
        c.h = sampling >> 4;
        c.v = sampling & 15;
        c.quant_table = get_byte();
    }
}

void jpeg_decoder::read_scan_header() {
    int length = get_word();
    int count = get_byte();
    if (count < 1 || count > 4 || length != 6 + 2 * count) fail(jpeg_bad_sos_length);
    scan_count_ = count;
    for (int i = 0; i < count; ++i) {
        int id = get_byte();
        int tables = get_byte();
        int found = -1;
        for (int c = 0; c < component_count_; ++c)
            if (components_[c].id == id) found = c;
        if (found < 0) fail(jpeg_bad_sos_component_id);
        scan_components_[i] = found;
        scan_dc_table_[i] = tables >> 4;
        scan_ac_table_[i] = (tables & 15) + 4;
    }
    spectral_start_ = get_byte();
    spectral_end_ = get_byte();
    int approximation = get_byte();
    approx_high_ = approximation >> 4;
    approx_low_ = approximation & 15;
    if (!progressive_) {
        spectral_start_ = 0;
        spectral_end_ = 63;
        approx_high_ = approx_low_ = 0;
    }
}

void jpeg_decoder::check_scan() {
    for (int i = 0; i < scan_count_; ++i) {
        int q = components_[scan_components_[i]].quant_table;
        if (q > 3 || !quant_defined_[q]) fail(jpeg_undefined_quant_table);
        int dc = scan_dc_table_[i], ac = scan_ac_table_[i];
        if (spectral_start_ == 0 && (dc > 3 || !huffman_[dc].defined)) fail(jpeg_undefined_huff_table);
        if (spectral_end_ > 0 && (ac > 7 || !huffman_[ac].defined)) fail(jpeg_undefined_huff_table);
    }
    if (progressive_) {
        if (spectral_start_ > spectral_end_ || spectral_end_ > 63) fail(jpeg_bad_spectral_selection);
        if (spectral_start_ == 0 && spectral_end_ != 0) fail(jpeg_bad_spectral_selection);
        if (spectral_start_ > 0 && scan_count_ != 1) fail(jpeg_bad_spectral_selection);
        if (approx_high_ != 0 && approx_high_ != approx_low_ + 1) fail(jpeg_bad_successive_approximation);
    }
}

// --- layout ------------------------------------------------------------------

void jpeg_decoder::prepare_layout() {
    if (component_count_ == 1) {
        components_[0].h = components_[0].v = 1; // a lone component is never subsampled
        max_h_ = max_v_ = 1;
    } else if (component_count_ == 3) {
        const component& y = components_[0];
        for (int i = 1; i < 3; ++i)
            if (components_[i].h != 1 || components_[i].v != 1) fail(jpeg_unsupported_sampling);
        if (y.h < 1 || y.h > 2 || y.v < 1 || y.v > 2) fail(jpeg_unsupported_sampling);
        max_h_ = y.h;
        max_v_ = y.v;
    } else {
        fail(jpeg_unsupported_colourspace);
    }
    mcu_width_ = 8 * max_h_;
    mcu_height_ = 8 * max_v_;
    mcus_per_row_ = (width_ + mcu_width_ - 1) / mcu_width_;
    mcu_rows_ = (height_ + mcu_height_ - 1) / mcu_height_;
    int blocks_per_mcu = 0;
    for (int i = 0; i < component_count_; ++i)
        blocks_per_mcu += components_[i].h * components_[i].v;
    if (mcus_per_row_ * blocks_per_mcu > max_blocks_per_mcu_row) fail(jpeg_block_out_of_range);

    for (int i = 0; i < component_count_; ++i) {
        component& c = components_[i];
        c.plane_stride = mcus_per_row_ * c.h * 8;
        c.plane = static_cast<uint8_t*>(allocate(size_t(c.plane_stride) * c.v * 8));
        c.blocks_wide = mcus_per_row_ * c.h;
        c.blocks_high = mcu_rows_ * c.v;
        int samples_wide = (width_ * c.h + max_h_ - 1) / max_h_;
        int samples_high = (height_ * c.v + max_v_ - 1) / max_v_;
        c.scan_blocks_wide = (samples_wide + 7) / 8;
        c.scan_blocks_high = (samples_high + 7) / 8;
    }
    block_ = static_cast<int16_t*>(allocate(64 * sizeof(int16_t)));
    if (component_count_ == 3)
        line_ = static_cast<uint8_t*>(allocate(size_t(mcus_per_row_) * mcu_width_ * 4));
}

int16_t* jpeg_decoder::coefficient_block(component& c, int bx, int by) {
    if (bx < 0 || by < 0 || bx >= c.blocks_wide || by >= c.blocks_high) fail(jpeg_block_out_of_range);
    return c.coefficients + (size_t(by) * size_t(c.blocks_wide) + size_t(bx)) * 64;
}

// --- start -------------------------------------------------------------------

int jpeg_decoder::start_decode() {
    if (error_code_) return -1;
    if (ready_) return 0;
    try {
        prepare_layout();
        int marker = read_markers();
        if (marker != 0xDA) fail(jpeg_unexpected_marker); // EOI (or another frame) before any scan
        rgb_ = coded_as_rgb();
        read_scan_header();
        check_scan();

        // Streaming needs the first scan to carry every component.
        bool covers_all = scan_count_ == component_count_;
        for (int i = 0; i < scan_count_ && covers_all; ++i)
            for (int j = 0; j < i; ++j)
                if (scan_components_[i] == scan_components_[j]) covers_all = false;
        buffered_ = progressive_ || !covers_all;

        if (buffered_) {
            for (int i = 0; i < component_count_; ++i) {
                component& c = components_[i];
                size_t blocks = size_t(c.blocks_wide) * size_t(c.blocks_high);
                c.coefficients = static_cast<int16_t*>(allocate(blocks * 64 * sizeof(int16_t)));
            }
            decode_all_buffered_scans();
        } else {
            start_scan();
        }
        line_in_mcu_ = mcu_height_;
        ready_ = true;
        return 0;
    } catch (const decode_abort&) {
        return -1;
    }
}

// --- bit reader --------------------------------------------------------------

void jpeg_decoder::reset_bit_reader() {
    bits_ = 0;
    bit_count_ = 0;
    pad_bits_ = 0;
}

void jpeg_decoder::fill_bits() {
    // Fast path: whole bytes from eight in the buffer with no FF among them
    // (so no stuffing and no marker).
    if (!pending_marker_ && in_end_ - in_pos_ >= 8) {
        uint64_t word;
        std::memcpy(&word, in_pos_, 8);
        uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
            int count = (64 - bit_count_) >> 3;
            uint64_t big_endian = __builtin_bswap64(word);
            uint64_t keep = ~uint64_t(0) << (64 - 8 * count);
            bits_ |= (big_endian & keep) >> bit_count_;
            bit_count_ += 8 * count;
            in_pos_ += count;
            return;
        }
    }
    while (bit_count_ <= 56) {
        uint32_t byte;
        if (pending_marker_) {
            // A marker ends the data: feed 1-bits, remembered as padding.
            if (pad_bits_ > bit_count_) pad_bits_ = bit_count_;
            byte = 0xFF;
            pad_bits_ += 8;
        } else {
            byte = get_byte();
            if (byte == 0xFF) {
                int next = get_byte();
                while (next == 0xFF)
                    next = get_byte(); // fill bytes before a marker
                if (next != 0) {
                    pending_marker_ = next;
                    if (pad_bits_ > bit_count_) pad_bits_ = bit_count_;
                    pad_bits_ += 8;
                }
            }
        }
        bits_ |= uint64_t(byte) << (56 - bit_count_);
        bit_count_ += 8;
    }
}

inline uint32_t jpeg_decoder::get_bits(int count) {
    if (count == 0) return 0;
    if (bit_count_ < count) fill_bits();
    uint32_t value = uint32_t(bits_ >> (64 - count));
    bits_ <<= count;
    bit_count_ -= count;
    return value;
}

// True when the bits in use have run into the 1-bits that stand in for a
// marker: the data of this scan (or restart interval) has ended early.
bool jpeg_decoder::padding_reached(int bits_needed) const {
    return pending_marker_ != 0 && bit_count_ - pad_bits_ < bits_needed;
}

// Returns the symbol, or -1 when the data has ended (the rest of the scan
// then decodes as zero coefficients).
inline int jpeg_decoder::decode_symbol(const huffman_table& table) {
    if (bit_count_ < 16) fill_bits();
    int entry = table.fast[bits_ >> (64 - fast_bits)];
    if (entry) {
        int length = entry >> 8;
        bits_ <<= length;
        bit_count_ -= length;
        return entry & 255;
    }
    uint32_t peek = uint32_t(bits_ >> 48);
    for (int length = fast_bits + 1; length <= 16; ++length) {
        if (peek < table.max_code[length]) {
            bits_ <<= length;
            bit_count_ -= length;
            return table.symbols[int(peek >> (16 - length)) + table.value_offset[length]];
        }
    }
    if (padding_reached(16)) {
        data_ended_ = true;
        return -1;
    }
    fail(jpeg_decode_error);
}

void jpeg_decoder::start_scan() {
    reset_bit_reader();
    pending_marker_ = 0;
    for (int i = 0; i < component_count_; ++i)
        components_[i].dc_prediction = 0;
    eob_run_ = 0;
    restarts_left_ = restart_interval_;
    next_restart_ = 0;
    data_ended_ = false;
}

void jpeg_decoder::process_restart() {
    reset_bit_reader();
    int marker = pending_marker_;
    if (!marker) {
        int searched = 0;
        while (!marker && searched < 1536) {
            int b = get_byte();
            searched++;
            if (b != 0xFF) continue;
            do {
                b = get_byte();
                searched++;
            } while (b == 0xFF && searched < 1536);
            if (b != 0xFF) marker = b;
        }
        if (!marker) fail(jpeg_bad_restart_marker);
    }
    if (marker == 0xD9) {
        // The file ended before this interval: keep decoding zeros to the end.
        pending_marker_ = marker;
        data_ended_ = true;
        return;
    }
    if (marker != 0xD0 + next_restart_) fail(jpeg_bad_restart_marker);
    pending_marker_ = 0;
    next_restart_ = (next_restart_ + 1) & 7;
    for (int i = 0; i < component_count_; ++i)
        components_[i].dc_prediction = 0;
    eob_run_ = 0;
    data_ended_ = false;
}

// --- block decoders ----------------------------------------------------------

// Impossible coded data (a run past coefficient 63, a size the block cannot
// hold): corrupt when it came from real data, the end of the data when it was
// read from the padding that stands in for a marker.
void jpeg_decoder::run_past_block() {
    if (!padding_reached(0)) fail(jpeg_decode_error);
    data_ended_ = true;
}

// A whole block of a sequential scan, dequantised with `quant` (unit
// quantisation leaves raw coefficients). *last_index is the zig-zag index of
// the last coefficient written (0: DC only).
void jpeg_decoder::decode_block_sequential(int16_t* block, component& c, const huffman_table& dc,
                                           const huffman_table& ac, const uint16_t* quant, int* last_index) {
    *last_index = 0;
    if (!data_ended_) {
        int size = decode_symbol(dc);
        if (size > 11)
            run_past_block();
        else if (size > 0) {
            c.dc_prediction = int16_t(c.dc_prediction + extend(get_bits(size), size));
        }
    }
    block[0] = dequantise(c.dc_prediction, quant[0]);
    if (data_ended_) return;

    int last = 0;
    for (int k = 1; k < 64;) {
        if (bit_count_ < 16) fill_bits();
        int32_t fast = ac.fast_ac[bits_ >> (64 - fast_bits)];
        if (fast) {
            int length = fast & 255;
            bits_ <<= length;
            bit_count_ -= length;
            k += (fast >> 8) & 255;
            if (k > 63) {
                run_past_block();
                break;
            }
            int p = zigzag[k];
            block[p] = dequantise(fast >> 16, quant[p]);
            last = k++;
            continue;
        }
        int rs = decode_symbol(ac);
        if (rs < 0) break;
        int run = rs >> 4, size = rs & 15;
        if (size) {
            k += run;
            if (k > 63) {
                run_past_block();
                break;
            }
            int value = extend(get_bits(size), size);
            int p = zigzag[k];
            block[p] = dequantise(value, quant[p]);
            last = k++;
        } else if (run == 15) {
            k += 16;
        } else {
            break;
        }
    }
    *last_index = last;
}

void jpeg_decoder::decode_block_dc_first(int16_t* block, component& c, const huffman_table& dc) {
    if (data_ended_) return;
    int size = decode_symbol(dc);
    if (size < 0) return;
    if (size > 11) return run_past_block();
    if (size) c.dc_prediction = int16_t(c.dc_prediction + extend(get_bits(size), size));
    block[0] = int16_t(uint32_t(c.dc_prediction) << approx_low_);
}

void jpeg_decoder::decode_block_dc_refine(int16_t* block) {
    if (data_ended_) return;
    if (get_bits(1)) block[0] = int16_t(uint16_t(block[0]) | uint16_t(1u << approx_low_));
}

void jpeg_decoder::decode_block_ac_first(int16_t* block, const huffman_table& ac) {
    if (data_ended_) return;
    if (eob_run_ > 0) {
        eob_run_--;
        return;
    }
    for (int k = spectral_start_; k <= spectral_end_;) {
        int rs = decode_symbol(ac);
        if (rs < 0) return;
        int run = rs >> 4, size = rs & 15;
        if (size) {
            k += run;
            if (k > 63) return run_past_block();
            int value = extend(get_bits(size), size);
            block[zigzag[k]] = int16_t(uint32_t(value) << approx_low_);
            k++;
        } else if (run == 15) {
            k += 16;
        } else {
            eob_run_ = (1 << run) - 1;
            if (run) eob_run_ += int(get_bits(run));
            return;
        }
    }
}

void jpeg_decoder::decode_block_ac_refine(int16_t* block, const huffman_table& ac) {
    if (data_ended_) return;
    const int positive = int(1u << approx_low_);
    const int negative = -positive;
    int k = spectral_start_;

    // Correction bit for a coefficient that is already non-zero.
    auto refine = [&](int16_t& coefficient) {
        if (get_bits(1) && (coefficient & positive) == 0)
            coefficient = int16_t(coefficient + (coefficient >= 0 ? positive : negative));
    };

    if (eob_run_ == 0) {
        for (; k <= spectral_end_; ++k) {
            int rs = decode_symbol(ac);
            if (rs < 0) return;
            int run = rs >> 4, size = rs & 15;
            int value = 0;
            if (size) {
                if (size != 1) return run_past_block();
                value = get_bits(1) ? positive : negative;
            } else if (run != 15) {
                eob_run_ = 1 << run;
                if (run) eob_run_ += int(get_bits(run));
                break;
            }
            // Skip `run` zero coefficients, refining the non-zero ones passed.
            for (; k <= spectral_end_; ++k) {
                int16_t& coefficient = block[zigzag[k]];
                if (coefficient != 0) {
                    refine(coefficient);
                } else {
                    if (run == 0) break;
                    run--;
                }
            }
            if (value) {
                if (k > 63) return run_past_block();
                block[zigzag[k]] = int16_t(value);
            }
        }
    }
    if (eob_run_ > 0) {
        for (; k <= spectral_end_; ++k) {
            int16_t& coefficient = block[zigzag[k]];
            if (coefficient != 0) refine(coefficient);
        }
        eob_run_--;
    }
}

// --- buffered decoding -------------------------------------------------------

void jpeg_decoder::decode_all_buffered_scans() {
    for (;;) {
        start_scan();
        decode_buffered_scan();
        reset_bit_reader();
        try {
            between_scans_ = true;
            int marker = read_markers();
            if (marker == 0xD9) break;
            if (marker != 0xDA) fail(jpeg_unexpected_marker);
            read_scan_header();
            check_scan();
            between_scans_ = false;
        } catch (const end_of_data&) {
            break;
        }
    }
    between_scans_ = false;
}

void jpeg_decoder::decode_buffered_scan() {
    auto decode_one = [&](int16_t* block, component& c, int i) {
        if (!progressive_) {
            int last;
            decode_block_sequential(block, c, huffman_[scan_dc_table_[i]], huffman_[scan_ac_table_[i]],
                                    unit_quant, &last);
        } else if (spectral_start_ == 0) {
            if (approx_high_ == 0)
                decode_block_dc_first(block, c, huffman_[scan_dc_table_[i]]);
            else
                decode_block_dc_refine(block);
        } else if (approx_high_ == 0) {
            decode_block_ac_first(block, huffman_[scan_ac_table_[i]]);
        } else {
            decode_block_ac_refine(block, huffman_[scan_ac_table_[i]]);
        }
    };
    auto restart_check = [&] {
        if (restart_interval_ == 0) return;
        if (restarts_left_ == 0) {
            process_restart();
            restarts_left_ = restart_interval_;
        }
        restarts_left_--;
    };

    // Once a progressive scan's data has ended for good, no later block can
    // change: stop rather than walk the rest of a possibly huge image.
    auto finished = [&] {
        return data_ended_ && progressive_ && (restart_interval_ == 0 || pending_marker_ == 0xD9);
    };

    if (scan_count_ == 1) {
        component& c = components_[scan_components_[0]];
        for (int by = 0; by < c.scan_blocks_high; ++by)
            for (int bx = 0; bx < c.scan_blocks_wide; ++bx) {
                if (finished()) return;
                restart_check();
                decode_one(coefficient_block(c, bx, by), c, 0);
            }
        return;
    }
    for (int my = 0; my < mcu_rows_; ++my)
        for (int mx = 0; mx < mcus_per_row_; ++mx) {
            if (finished()) return;
            restart_check();
            for (int i = 0; i < scan_count_; ++i) {
                component& c = components_[scan_components_[i]];
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h)
                        decode_one(coefficient_block(c, mx * c.h + h, my * c.v + v), c, i);
            }
        }
}

// --- output ------------------------------------------------------------------

void jpeg_decoder::transform_block(int16_t* coefficients, int last_index, uint8_t* out, int stride) {
    if (last_index == 0) {
        // DC only: every sample equals the DC term; the same bytes the full
        // transform gives.
        int value = (int16_t(coefficients[0] + 16) >> 5) + 128;
        uint8_t sample = uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
        for (int y = 0; y < 8; ++y)
            std::memset(out + y * stride, sample, 8);
        return;
    }
    coefficients[0] = int16_t(coefficients[0] + 16); // rounds the final shift by 5
    jpeg_idct_8x8(coefficients, out, stride);
}

void jpeg_decoder::decode_mcu_row_sequential() {
    for (int mx = 0; mx < mcus_per_row_; ++mx) {
        if (restart_interval_) {
            if (restarts_left_ == 0) {
                process_restart();
                restarts_left_ = restart_interval_;
            }
            restarts_left_--;
        }
        for (int i = 0; i < scan_count_; ++i) {
            component& c = components_[scan_components_[i]];
            const huffman_table& dc = huffman_[scan_dc_table_[i]];
            const huffman_table& ac = huffman_[scan_ac_table_[i]];
            const uint16_t* quant = use_integer_idct_ ? quant_[c.quant_table] : unit_quant;
            for (int v = 0; v < c.v; ++v)
                for (int h = 0; h < c.h; ++h) {
                    int last;
                    decode_block_sequential(block_, c, dc, ac, quant, &last);
                    uint8_t* out = c.plane + v * 8 * c.plane_stride + (mx * c.h + h) * 8;
                    if (use_integer_idct_)
                        transform_block(block_, last, out, c.plane_stride);
                    else
                        float_idct(block_, float_quant_[c.quant_table], out, c.plane_stride);
                    std::memset(block_, 0, 64 * sizeof(int16_t));
                }
        }
    }
}

void jpeg_decoder::transform_mcu_row_buffered() {
    for (int i = 0; i < component_count_; ++i) {
        component& c = components_[i];
        if (c.quant_table > 3 || !quant_defined_[c.quant_table]) fail(jpeg_undefined_quant_table);
        const uint16_t* quant = quant_[c.quant_table];
        for (int v = 0; v < c.v; ++v)
            for (int bx = 0; bx < c.blocks_wide; ++bx) {
                const int16_t* source = coefficient_block(c, bx, mcu_row_ * c.v + v);
                uint8_t* out = c.plane + v * 8 * c.plane_stride + bx * 8;
                if (!use_integer_idct_) {
                    float_idct(source, float_quant_[c.quant_table], out, c.plane_stride);
                    continue;
                }
                int last = 0;
                for (int k = 0; k < 64; ++k) {
                    block_[k] = dequantise(source[k], quant[k]);
                    if (k && source[k]) last = k;
                }
                transform_block(block_, last, out, c.plane_stride);
            }
    }
}

void jpeg_decoder::convert_line(int row, uint8_t* out) {
    const component &luma = components_[0], &blue = components_[1], &red = components_[2];
    int chroma_row = max_v_ == 2 ? row >> 1 : row;
    if (rgb_) {
        jpeg_rgb_to_rgbx(luma.plane + row * luma.plane_stride, blue.plane + chroma_row * blue.plane_stride,
                         red.plane + chroma_row * red.plane_stride, max_h_ == 2 ? 1 : 0, width_, out);
        return;
    }
    jpeg_ycc_to_rgbx(luma.plane + row * luma.plane_stride, blue.plane + chroma_row * blue.plane_stride,
                     red.plane + chroma_row * red.plane_stride, max_h_ == 2 ? 1 : 0, width_, out);
}

int jpeg_decoder::next_line(const uint8_t** line, int* line_length) {
    if (error_code_ || !ready_) return -1;
    if (lines_done_ >= height_) return 1;
    try {
        if (line_in_mcu_ >= mcu_height_) {
            if (buffered_)
                transform_mcu_row_buffered();
            else
                decode_mcu_row_sequential();
            mcu_row_++;
            line_in_mcu_ = 0;
        }
        if (component_count_ == 1) {
            *line = components_[0].plane + line_in_mcu_ * components_[0].plane_stride;
            *line_length = width_;
        } else {
            convert_line(line_in_mcu_, line_);
            *line = line_;
            *line_length = width_ * 4;
        }
        line_in_mcu_++;
        lines_done_++;
        return 0;
    } catch (const decode_abort&) {
        return jpeg_decode_error;
    }
}
