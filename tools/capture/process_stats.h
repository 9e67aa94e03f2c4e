// What the capture measures of its own process for --stats, and the few
// things that differ between the systems it runs on.
#pragma once

namespace capture {

// Processor time of the whole process (every renderer thread), seconds.
double process_cpu_seconds();
// Resident memory now and at its peak, megabytes; 0 where the system does
// not say.
double resident_mb();
double peak_resident_mb();

// The benchmark's preloaded counter of draw calls, when it is there.
using draw_call_counter = void (*)(unsigned long* begins, unsigned long* lists, unsigned long* arrays);
draw_call_counter find_draw_call_counter();

// Where output that nobody reads goes.
#if defined(_WIN32)
constexpr const char* null_device = "NUL";
#else
constexpr const char* null_device = "/dev/null";
#endif

} // namespace capture
