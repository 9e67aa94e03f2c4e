#include "runtime/runtime.h"

runtime_state& runtime() {
    // Holds the frame_record (a few kilobytes): static storage, like the show context.
    static runtime_state state;
    return state;
}
