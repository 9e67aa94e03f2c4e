#include "process_stats.h"

#include <time.h>
#if defined(_WIN32)
#include <pthread_time.h> // clock_gettime with the process clock, from the POSIX threads layer
#else
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace capture {

double process_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

#if defined(_WIN32)
double resident_mb() { return 0.0; }
double peak_resident_mb() { return 0.0; }
draw_call_counter find_draw_call_counter() { return nullptr; }
#else
double resident_mb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double peak_resident_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

draw_call_counter find_draw_call_counter() {
    return reinterpret_cast<draw_call_counter>(dlsym(RTLD_DEFAULT, "quorlaxen_draw_calls"));
}
#endif

} // namespace capture
