#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <stdexcept>

namespace forge {

namespace {

// Receives FreeType's outline walk (26.6 fixed point) as polylines.
struct outline_sink {
    std::vector<polygon> contours;
    p2 pen;
    double scale = 1, x0 = 0;
    int steps = 6;
    p2 at(const FT_Vector* v) const { return {x0 + v->x * scale, v->y * scale}; }
};

int move_to(const FT_Vector* to, void* user) {
    auto* s = static_cast<outline_sink*>(user);
    s->contours.emplace_back();
    s->pen = s->at(to);
    s->contours.back().push_back(s->pen);
    return 0;
}
int line_to(const FT_Vector* to, void* user) {
    auto* s = static_cast<outline_sink*>(user);
    s->pen = s->at(to);
    s->contours.back().push_back(s->pen);
    return 0;
}
int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* s = static_cast<outline_sink*>(user);
    p2 end = s->at(to);
    bezier(s->contours.back(), s->pen, s->at(control), end, s->steps);
    s->pen = end;
    return 0;
}
int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* s = static_cast<outline_sink*>(user);
    p2 end = s->at(to);
    bezier(s->contours.back(), s->pen, s->at(c1), s->at(c2), end, s->steps + 2);
    s->pen = end;
    return 0;
}

} // namespace

std::string dejavu(const char* face) {
    return std::string("/usr/share/fonts/truetype/dejavu/") + face + ".ttf";
}

text_shape layout_text(const std::string& font_file, const std::string& text, double cap_height,
                       double letter_spacing, int curve_steps) {
    FT_Library library;
    if (FT_Init_FreeType(&library)) throw std::runtime_error("FreeType did not start");
    FT_Face ft;
    if (FT_New_Face(library, font_file.c_str(), 0, &ft)) {
        FT_Done_FreeType(library);
        throw std::runtime_error("cannot read font " + font_file);
    }
    // Unhinted outlines at the font's own units, so sizes follow the design.
    FT_Set_Char_Size(ft, 0, ft->units_per_EM * 64, 72, 72);
    text_shape out;
    outline_sink sink;
    sink.steps = std::max(1, curve_steps);
    // Capital height measured on "H", so every face lines up the same way.
    double cap_units = 0.73 * ft->units_per_EM;
    if (!FT_Load_Char(ft, 'H', FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
        cap_units = static_cast<double>(ft->glyph->metrics.height);
    double scale = cap_height / cap_units;
    FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
    double pen_x = 0;
    FT_UInt previous = 0;
    for (unsigned char ch : text) {
        FT_UInt index = FT_Get_Char_Index(ft, ch);
        if (previous && index && FT_HAS_KERNING(ft)) {
            FT_Vector kern;
            FT_Get_Kerning(ft, previous, index, FT_KERNING_UNSCALED, &kern);
            pen_x += kern.x * scale;
        }
        if (FT_Load_Glyph(ft, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) continue;
        // With FT_LOAD_NO_SCALE the outline is in font units, not 26.6.
        sink.scale = scale;
        sink.x0 = pen_x;
        FT_Outline_Decompose(&ft->glyph->outline, &funcs, &sink);
        pen_x += ft->glyph->advance.x * scale + letter_spacing;
        previous = index;
    }
    out.contours = std::move(sink.contours);
    for (polygon& c : out.contours) // the closing point repeats the first
        if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
    out.width = pen_x - letter_spacing;
    FT_Done_Face(ft);
    FT_Done_FreeType(library);
    return out;
}

} // namespace forge
