// Textures from JPEG files (through the show's own decoder) and from noise,
// uploaded into numbered slots of the show context's texture table. A file
// that cannot be opened or decoded shows its message box and ends the show.
#include "gl/gl.h"

#include <vector>

#include "math/random.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "resources/jpeg_decoder.h"
#include "resources/resources.h"

namespace {

[[noreturn]] void fail_load(const char* file_name, const platform::show_message& message) {
    platform::show_message_box(message, file_name);
    platform::sys().exit_process(0);
}

GLuint* slot_entry(show_context& context, int slot) {
    long index = long(context.texture_base) + slot;
    if (index < 0 || index >= show_context::texture_slot_count) return nullptr;
    return &context.texture_names[index];
}

struct decoded_image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // width * height * 3, bottom row first
};

// Decodes every line of an opened stream into `image`. Grey images are
// expanded to RGB; a line that fails to decode ends the show like a file
// that fails its header, rather than uploading a half-decoded picture.
void decode_rows(jpeg_decoder& decoder, const char* file_name, decoded_image& image) {
    image.width = decoder.width();
    image.height = decoder.height();
    if (decoder.start_decode() != 0) fail_load(file_name, platform::messages::broken_image);
    const int w = image.width, h = image.height;
    const int bytes_per_pixel = decoder.bytes_per_pixel();
    image.rgb.assign(size_t(w) * h * 3, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = nullptr;
        int length = 0;
        if (decoder.next_line(&line, &length) != 0 || length < w * bytes_per_pixel)
            fail_load(file_name, platform::messages::broken_image);
        uint8_t* out = &image.rgb[size_t(h - 1 - y) * w * 3];
        if (bytes_per_pixel == 1) {
            for (int x = 0; x < w; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = line[x];
        } else {
            for (int x = 0; x < w; ++x) {
                out[3 * x] = line[4 * x];
                out[3 * x + 1] = line[4 * x + 1];
                out[3 * x + 2] = line[4 * x + 2];
            }
        }
    }
}

// Generates a name into the slot entry, binds it and sets linear filters.
void create_texture(GLuint* entry) {
    glGenTextures(1, entry);
    glBindTexture(GL_TEXTURE_2D, *entry);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// Uploads tightly packed rows: RGB rows need not be a multiple of 4 bytes,
// so the unpack alignment is 1 for the upload and restored afterwards.
void upload(GLint internal_format, int width, int height, GLenum format, const uint8_t* pixels) {
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal_format, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

} // namespace

void load_jpeg_texture(show_context& context, const char* file_name, int slot) {
    GLuint* entry = slot_entry(context, slot);
    if (!entry) return;
    jpeg_decoder_file_stream stream;
    if (stream.open_file(file_name)) {
        stream.close_file();
        fail_load(file_name, platform::messages::missing_image);
    }
    decoded_image image;
    {
        jpeg_decoder decoder(&stream, true);
        if (decoder.error_code() != 0) fail_load(file_name, platform::messages::broken_image);
        decode_rows(decoder, file_name, image);
    }
    create_texture(entry);
    upload(3, image.width, image.height, GL_RGB, image.rgb.data());
}

void load_jpeg_texture_with_alpha(show_context& context, const char* colour_file, const char* alpha_file,
                                  int slot) {
    GLuint* entry = slot_entry(context, slot);
    if (!entry) return;
    jpeg_decoder_file_stream stream;
    if (stream.open_file(colour_file)) {
        stream.close_file();
        fail_load(colour_file, platform::messages::broken_image);
    }
    decoded_image colour;
    {
        jpeg_decoder decoder(&stream, true);
        if (decoder.error_code() != 0) fail_load(colour_file, platform::messages::broken_image);
        decode_rows(decoder, colour_file, colour);
    }
    stream.close_file();
    if (stream.open_file(alpha_file)) {
        stream.close_file();
        fail_load(alpha_file, platform::messages::broken_image);
    }
    decoded_image alpha;
    {
        jpeg_decoder decoder(&stream, true);
        if (decoder.error_code() != 0) fail_load(alpha_file, platform::messages::broken_image);
        // The colour rows are combined row for row: images of different
        // sizes are refused rather than cropped.
        if (decoder.width() != colour.width || decoder.height() != colour.height)
            fail_load(alpha_file, platform::messages::broken_image);
        decode_rows(decoder, alpha_file, alpha);
    }

    // Alpha line y (top first) lands in row max(H - 1 - y, 1): row 0 stays
    // transparent black and row 1 ends up with the last line's alpha.
    const int w = alpha.width, h = alpha.height;
    std::vector<uint8_t> rgba(size_t(w) * h * 4, 0);
    for (int y = 0; y < h; ++y) {
        int row = h - 1 - y < 1 ? 1 : h - 1 - y;
        if (row >= h) continue; // a one-row image has no row 1
        const uint8_t* alpha_row = &alpha.rgb[size_t(h - 1 - y) * w * 3];
        const uint8_t* colour_row = &colour.rgb[size_t(row) * w * 3];
        uint8_t* out = &rgba[size_t(row) * w * 4];
        for (int x = 0; x < w; ++x) {
            out[4 * x] = colour_row[3 * x];
            out[4 * x + 1] = colour_row[3 * x + 1];
            out[4 * x + 2] = colour_row[3 * x + 2];
            out[4 * x + 3] = alpha_row[3 * x + 1];
        }
    }
    create_texture(entry);
    upload(4, w, h, GL_RGBA, rgba.data());
}

// Random bytes 0..254 from the show's shared generator (the rule of the
// standard library's rand() on the original platform, one state for all).
void make_noise_texture(show_context& context, int slot, int width, int height) {
    GLuint* entry = slot_entry(context, slot);
    if (!entry) return;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    create_texture(entry);
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    show_rand_bytes(pixels.data(), pixels.size());
    upload(GL_RGBA, width, height, GL_RGBA, pixels.data());
}

GLuint texture_name_of_slot(const show_context& context, int texture_slot) {
    long long slot = (long long)context.texture_base + texture_slot;
    if (slot < 0 || slot >= show_context::texture_slot_count) return 0;
    return context.texture_names[slot];
}

void bind_texture_slot(show_context& context, int texture_slot) {
    glBindTexture(GL_TEXTURE_2D, texture_name_of_slot(context, texture_slot));
}
