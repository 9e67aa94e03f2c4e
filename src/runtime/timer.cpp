#include "platform/platform.h"
#include "runtime/runtime.h"

void timer_reset() {
    runtime_state& rt = runtime();
    rt.timer_seconds = 0.0;
    rt.timer_last_counter = platform::sys().perf_counter();
}

double timer_read() {
    runtime_state& rt = runtime();
    const int64_t counter = platform::sys().perf_counter();
    const int64_t frequency = platform::sys().perf_frequency();
    // Signed difference: a counter that steps back gives a negative step,
    // which the frame driver clamps.
    const int64_t difference = counter - rt.timer_last_counter;
    if (frequency > 0) rt.timer_seconds += double(difference) / double(frequency);
    rt.timer_last_counter = counter;
    return rt.timer_seconds;
}
