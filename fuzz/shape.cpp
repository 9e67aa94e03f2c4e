// Outline-shape files: header, shape, polygon and vertex counts of any bytes.
// The reading is what untrusted bytes reach; compiling its records needs GL.
#include <cstddef>
#include <cstdint>

#include "scenes/shape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (double frame_scale : {1.0, 0.5, 0.001}) {
        outline_file file;
        read_outline_file(data, size, frame_scale, file);
        for (const outline_shape& s : file.shapes)
            for (const outline_polygon& p : s.polygons)
                if (p.xy.size() > 2u * shape_max_vertices || p.xy.size() % 2) __builtin_trap();
    }
    return 0;
}
