// Camera-track files: whole records, smoothing and resampling of any bytes.
#include <cstddef>
#include <cstdint>

#include "math/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    camera_track track;
    load_camera_track_bytes(track, data, size);
    // Evaluate the built paths across and beyond their range.
    for (const path* p : {&track.position_path, &track.values_a_path, &track.values_b_path})
        for (float u = -3.0f; u < static_cast<float>(p->count) + 3.0f; u += 0.37f)
            evaluate(*p, u);
    return 0;
}
