#include "encode.h"

#include <lame/lame.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace forge_music {

namespace {
struct lame_deleter {
    void operator()(lame_global_flags* f) const { lame_close(f); }
};
} // namespace

std::vector<unsigned char> encode_mp3(const stereo& audio, const mp3_tags& tags, int vbr_quality) {
    std::unique_ptr<lame_global_flags, lame_deleter> flags(lame_init());
    if (!flags) throw std::runtime_error("lame: cannot start the encoder");
    lame_global_flags* gf = flags.get();
    lame_set_in_samplerate(gf, sample_rate);
    lame_set_out_samplerate(gf, sample_rate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_default);
    lame_set_VBR_quality(gf, float(vbr_quality));
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, 1);
    // The tags are placed by hand so that the info frame can be written
    // right after the ID3v2 tag once the length is known.
    lame_set_write_id3tag_automatic(gf, 0);
    id3tag_init(gf);
    id3tag_add_v2(gf);
    id3tag_set_title(gf, tags.title.c_str());
    id3tag_set_artist(gf, tags.artist.c_str());
    id3tag_set_album(gf, tags.album.c_str());
    id3tag_set_year(gf, tags.year.c_str());
    if (lame_init_params(gf) < 0) throw std::runtime_error("lame: parameters refused");

    std::vector<unsigned char> file(lame_get_id3v2_tag(gf, nullptr, 0));
    lame_get_id3v2_tag(gf, file.data(), file.size());
    const size_t info_at = file.size();

    const size_t frames = std::min(audio.left.size(), audio.right.size());
    const size_t chunk = 8192;
    std::vector<float> interleaved(2 * chunk);
    std::vector<unsigned char> buffer(chunk * 5 / 4 * 2 + 7200);
    for (size_t pos = 0; pos < frames; pos += chunk) {
        size_t n = std::min(chunk, frames - pos);
        for (size_t i = 0; i < n; ++i) {
            interleaved[2 * i] = audio.left[pos + i];
            interleaved[2 * i + 1] = audio.right[pos + i];
        }
        int bytes = lame_encode_buffer_interleaved_ieee_float(gf, interleaved.data(), int(n), buffer.data(),
                                                              int(buffer.size()));
        if (bytes < 0) throw std::runtime_error("lame: encoding failed (" + std::to_string(bytes) + ")");
        file.insert(file.end(), buffer.begin(), buffer.begin() + bytes);
    }
    int bytes = lame_encode_flush(gf, buffer.data(), int(buffer.size()));
    if (bytes < 0) throw std::runtime_error("lame: flush failed (" + std::to_string(bytes) + ")");
    file.insert(file.end(), buffer.begin(), buffer.begin() + bytes);

    // The first audio frame was reserved for the info tag; fill it in now.
    size_t tag_size = lame_get_lametag_frame(gf, nullptr, 0);
    if (tag_size == 0 || info_at + tag_size > file.size())
        throw std::runtime_error("lame: no room for the info tag");
    std::vector<unsigned char> tag(tag_size);
    lame_get_lametag_frame(gf, tag.data(), tag.size());
    std::copy(tag.begin(), tag.end(), file.begin() + long(info_at));

    std::vector<unsigned char> v1(128);
    size_t v1_size = lame_get_id3v1_tag(gf, v1.data(), v1.size());
    file.insert(file.end(), v1.begin(), v1.begin() + long(std::min(v1_size, v1.size())));
    return file;
}

} // namespace forge_music
