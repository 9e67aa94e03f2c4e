// The show's own JPEG decoder: a pull decoder for Huffman-coded JPEG
// (baseline, extended sequential and progressive, 8-bit samples) that reads
// bytes from a `jpeg_decoder_stream` and hands out the picture one scan line
// at a time, top row first: one byte per pixel for grey images, four bytes
// (red, green, blue, 0) for colour images. Colour is YCbCr, converted here,
// unless the file says it is coded in RGB (an Adobe marker with transform 0,
// or components named 'R', 'G', 'B' without a JFIF marker).
//
// Failures are negative status codes (see `jpeg_error`), never exceptions: a
// failed call leaves error_code() set and every later call returns -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Byte source of the decoder.
class jpeg_decoder_stream {
  public:
    virtual ~jpeg_decoder_stream() = default;
    // Copies up to max_count bytes into buffer; returns the number copied, or
    // -1 on a read error. Sets *at_end once the end of the data is reached.
    virtual int read_bytes(uint8_t* buffer, int max_count, bool* at_end) = 0;
    // Called when a decoder takes the stream, and when it frees its memory.
    virtual void on_attach() {}
    virtual void on_detach() {}
};

// A stream over a file opened for binary reading.
class jpeg_decoder_file_stream : public jpeg_decoder_stream {
  public:
    jpeg_decoder_file_stream() = default;
    jpeg_decoder_file_stream(const jpeg_decoder_file_stream&) = delete;
    jpeg_decoder_file_stream& operator=(const jpeg_decoder_file_stream&) = delete;
    ~jpeg_decoder_file_stream() override;

    // Closes any open file and opens file_name. True on failure.
    bool open_file(const char* file_name);
    void close_file();
    int read_bytes(uint8_t* buffer, int max_count, bool* at_end) override;

  private:
    std::FILE* file_ = nullptr;
    bool end_of_file_ = false;
    bool error_ = false;
};

// A stream over bytes in memory (not copied; they must outlive the stream).
class jpeg_decoder_memory_stream : public jpeg_decoder_stream {
  public:
    jpeg_decoder_memory_stream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int read_bytes(uint8_t* buffer, int max_count, bool* at_end) override;

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

enum jpeg_error : int {
    jpeg_bad_dht_counts = -200,
    jpeg_bad_dht_index = -201,
    jpeg_bad_dht_marker = -202,
    jpeg_bad_dqt_marker = -203,
    jpeg_bad_dqt_table = -204,
    jpeg_bad_precision = -205,
    jpeg_bad_height = -206,
    jpeg_bad_width = -207,
    jpeg_too_many_components = -208,
    jpeg_bad_sof_length = -209,
    jpeg_bad_variable_marker = -210,
    jpeg_bad_dri_length = -211,
    jpeg_bad_sos_length = -212,
    jpeg_bad_sos_component_id = -213,
    jpeg_no_arithmetic_support = -215,
    jpeg_unexpected_marker = -216,
    jpeg_not_jpeg = -217,
    jpeg_unsupported_marker = -218,
    jpeg_bad_dqt_length = -219,
    jpeg_too_many_blocks = -221,
    jpeg_undefined_quant_table = -222,
    jpeg_undefined_huff_table = -223,
    jpeg_unsupported_colourspace = -225,
    jpeg_unsupported_sampling = -226,
    jpeg_decode_error = -227,
    jpeg_bad_restart_marker = -228,
    jpeg_block_out_of_range = -229,
    jpeg_bad_spectral_selection = -230,
    jpeg_bad_successive_approximation = -231,
    jpeg_stream_read_error = -232,
    jpeg_out_of_memory = -233,
};

class jpeg_decoder {
  public:
    static constexpr int max_dimension = 8192;
    static constexpr int max_blocks_per_mcu_row = 6144;
    static constexpr int max_allocations = 100;
    static constexpr int input_buffer_size = 4096;

    // Reads the file up to and including the frame header. The stream is
    // not owned and must outlive the decoder. `use_integer_idct` picks the
    // 16-bit fixed-point transform; false uses an exact floating-point one.
    explicit jpeg_decoder(jpeg_decoder_stream* stream, bool use_integer_idct = true);
    ~jpeg_decoder();
    jpeg_decoder(const jpeg_decoder&) = delete;
    jpeg_decoder& operator=(const jpeg_decoder&) = delete;

    int error_code() const { return error_code_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int component_count() const { return component_count_; }
    // 1 for grey images, 4 for colour images (valid after construction).
    int bytes_per_pixel() const { return component_count_ == 1 ? 1 : 4; }

    // Checks the layout, allocates the buffers and, for a progressive image,
    // decodes every scan. 0 on success (also when already begun), else -1.
    int start_decode();
    // 0 with *line and *line_length set to the next scan line (valid until
    // the next call); 1 when every line has been delivered; -1 before
    // start_decode or after an error; -227 when decoding this line fails
    // (error_code() then tells why).
    int next_line(const uint8_t** line, int* line_length);

  private:
    struct huffman_table {
        bool defined = false;
        // 10-bit lookahead: (code length << 8) | symbol, 0 when longer.
        uint16_t fast[1 << 10];
        // AC tables: run, size and value of a whole coefficient when the code
        // and its extra bits fit in the lookahead: value << 16 | run << 8 |
        // total length; 0 when not.
        int32_t fast_ac[1 << 10];
        // Canonical decoding of longer codes: the largest code of each length
        // left-aligned to 16 bits (exclusive), and the symbol index offset.
        uint32_t max_code[18];
        int value_offset[17];
        uint8_t symbols[256];
    };
    struct component {
        int id = 0;
        int h = 1, v = 1; // sampling factors used for the layout
        int quant_table = 0;
        // Coefficient buffer of buffered (progressive) decoding.
        int16_t* coefficients = nullptr;
        int blocks_wide = 0, blocks_high = 0;           // allocated block grid
        int scan_blocks_wide = 0, scan_blocks_high = 0; // blocks a single-component scan covers
        // One MCU row of decoded samples.
        uint8_t* plane = nullptr;
        int plane_stride = 0;
        int dc_prediction = 0;
    };
    struct decode_abort {};
    struct end_of_data {};

    [[noreturn]] void fail(int code);
    void* allocate(size_t bytes);
    void free_all();

    // Input: the 4096-byte buffer, padded with EOI markers after the end.
    void refill_input();
    uint8_t get_byte() {
        if (in_pos_ == in_end_) refill_input();
        return *in_pos_++;
    }
    int get_word() {
        int high = get_byte();
        return high << 8 | get_byte();
    }

    // Markers and headers.
    void read_start_of_image();
    int next_marker();
    int read_markers();
    void read_dht();
    void read_dqt();
    void read_dri();
    void read_frame(int marker);
    void read_scan_header();
    void check_scan();
    void skip_variable_marker();
    void read_colour_marker(int marker);
    bool coded_as_rgb() const;

    // Layout and buffers.
    void prepare_layout();

    // Entropy-coded data.
    void reset_bit_reader();
    void fill_bits();
    uint32_t get_bits(int count);
    int decode_symbol(const huffman_table& table);
    bool padding_reached(int bits_needed) const;
    void run_past_block();
    void process_restart();
    void start_scan();
    void finish_scan_markers();
    void decode_block_sequential(int16_t* block, component& c, const huffman_table& dc,
                                 const huffman_table& ac, const uint16_t* quant, int* last_index);
    void decode_block_dc_first(int16_t* block, component& c, const huffman_table& dc);
    void decode_block_dc_refine(int16_t* block);
    void decode_block_ac_first(int16_t* block, const huffman_table& ac);
    void decode_block_ac_refine(int16_t* block, const huffman_table& ac);
    void decode_buffered_scan();
    void decode_all_buffered_scans();
    int16_t* coefficient_block(component& c, int bx, int by);

    // Output.
    void decode_mcu_row_sequential();
    void transform_mcu_row_buffered();
    void transform_block(int16_t* coefficients, int last_index, uint8_t* out, int stride);
    void convert_line(int row_in_mcu, uint8_t* out);

    jpeg_decoder_stream* stream_;
    bool use_integer_idct_;
    int error_code_ = 0;
    int width_ = 0, height_ = 0, component_count_ = 0;
    bool ready_ = false;

    // Frame.
    bool progressive_ = false;
    bool buffered_ = false;
    component components_[4];
    uint16_t quant_[4][64]; // natural order; pre-scaled on the integer path
    float float_quant_[4][64];
    bool quant_defined_[4] = {};
    huffman_table huffman_[8]; // DC 0-3, AC 4-7
    int restart_interval_ = 0;
    bool saw_jfif_ = false;
    bool saw_adobe_ = false;
    int adobe_transform_ = 1;
    bool rgb_ = false; // three components coded as red, green, blue: no conversion

    // Current scan.
    int scan_count_ = 0;
    int scan_components_[4] = {};
    int scan_dc_table_[4] = {}, scan_ac_table_[4] = {};
    int spectral_start_ = 0, spectral_end_ = 63;
    int approx_high_ = 0, approx_low_ = 0;
    int restarts_left_ = 0;
    int next_restart_ = 0;
    int eob_run_ = 0;
    bool data_ended_ = false;

    // Layout.
    int max_h_ = 1, max_v_ = 1;
    int mcu_width_ = 8, mcu_height_ = 8;
    int mcus_per_row_ = 0, mcu_rows_ = 0;

    // Input and bit reader.
    uint8_t input_[input_buffer_size + 128];
    const uint8_t* in_pos_ = input_;
    const uint8_t* in_end_ = input_;
    bool input_ended_ = false;
    const uint8_t* real_end_ = input_; // end of the file's own bytes in input_
    bool between_scans_ = false;
    uint64_t bits_ = 0; // left-aligned
    int bit_count_ = 0;
    int pad_bits_ = 0;       // trailing bits of bits_ fed in place of a marker
    int pending_marker_ = 0; // marker met inside entropy-coded data

    // Output.
    int16_t* block_ = nullptr; // one block of coefficients, zero between uses
    uint8_t* line_ = nullptr;  // colour output line
    int mcu_row_ = 0;          // next MCU row to decode
    int line_in_mcu_ = 0;      // next line within the decoded MCU row
    int lines_done_ = 0;

    void* blocks_[max_allocations] = {};
    int block_count_ = 0;
};

// The 8 x 8 inverse transform of the integer path, on dequantised,
// pre-scaled coefficients (natural order, 2 fraction bits): 16-bit AAN in
// two passes, output (value >> 5) + 128 saturated to 0..255. Both
// implementations give identical results; `jpeg_idct_8x8` is the fastest
// one the compiler targets.
void jpeg_idct_8x8_portable(const int16_t* coefficients, uint8_t* out, int stride);
#if defined(__SSE2__)
void jpeg_idct_8x8_sse2(const int16_t* coefficients, uint8_t* out, int stride);
#endif
void jpeg_idct_8x8(const int16_t* coefficients, uint8_t* out, int stride);

// The quantisation pre-scale of the integer path for natural position p:
// round(16384 * a(p / 8) * a(p % 8)), a(0) = 1, a(k) = sqrt(2) cos(k pi / 16).
extern const uint16_t jpeg_aan_scale[64];

// YCbCr to 4-byte pixels (red, green, blue, 0) in 16.16 fixed point with
// k(x) = x - 128: red = Y + ((91882 k(Cr) + 32768) >> 16), green = Y +
// ((-22554 k(Cb) + 32768 - 46802 k(Cr)) >> 16), blue = Y + ((116130 k(Cb) +
// 32768) >> 16), each clamped to 0..255. Chroma sample x >> chroma_shift
// serves pixel x. The SIMD path works 8 pixels at a time: it reads and
// writes `count` rounded up to a multiple of 8; both give the same bytes.
void jpeg_ycc_to_rgbx_portable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift,
                               int count, uint8_t* out);
#if defined(__SSE2__)
void jpeg_ycc_to_rgbx_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift,
                           int count, uint8_t* out);
#endif
void jpeg_ycc_to_rgbx(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift, int count,
                      uint8_t* out);
// Components already coded as red, green and blue, interleaved into the same
// 4-byte pixels; sample x >> chroma_shift of green and blue serves pixel x.
void jpeg_rgb_to_rgbx(const uint8_t* r, const uint8_t* g, const uint8_t* b, int chroma_shift, int count,
                      uint8_t* out);
