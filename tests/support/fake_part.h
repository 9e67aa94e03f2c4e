// A production part that draws nothing and remembers what each render saw.
#pragma once

#include <functional>
#include <vector>

#include "parts/parts.h"

namespace fake {

struct render_seen {
    double frame_step;
    frame_record record;
};

class recording_part : public parts {
  public:
    void render(double* frame_step, show_context&, frame_record* record) override {
        seen.push_back({*frame_step, *record});
        if (on_render) on_render(*record);
    }
    void init(show_context&) override {}

    std::vector<render_seen> seen;
    std::function<void(frame_record&)> on_render;
};

} // namespace fake
