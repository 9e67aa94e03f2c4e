// monitor-record SOURCE OUT [raw]: records a PulseAudio source (a null
// sink's monitor) as raw 16-bit stereo at 44100 Hz into OUT.raw, and writes
// to OUT.times lines "NS FRAME": at CLOCK_MONOTONIC nanoseconds NS the sink
// was playing frame FRAME of the recording (fractional). That is the
// stream's own clock, corrected by the server for what the sink still holds
// ahead of the sample being played. With "raw" NS is CLOCK_MONOTONIC_RAW
// instead: the clock that Wine's QueryPerformanceCounter reads (and SDL's
// counter on Linux), which CLOCK_MONOTONIC leaves by an offset and a slow
// drift. Prints "recording" once the stream runs; stops on SIGTERM or
// SIGINT, with everything read so far written out.
#include <pulse/pulseaudio.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 2};

static pa_mainloop_api* api;
static const char* source_name;
static FILE* raw;
static FILE* times;
static int failed;
static int announced;
static clockid_t stamp_clock = CLOCK_MONOTONIC;

static long long monotonic_ns(void) {
    struct timespec t;
    clock_gettime(stamp_clock, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void fail(const char* what, pa_context* c) {
    fprintf(stderr, "monitor-record: %s: %s\n", what, c ? pa_strerror(pa_context_errno(c)) : "");
    failed = 1;
    api->quit(api, 1);
}

static void on_read(pa_stream* s, size_t bytes, void* user) {
    (void)bytes, (void)user;
    const void* data;
    size_t n;
    while (pa_stream_readable_size(s) > 0) {
        if (pa_stream_peek(s, &data, &n) < 0) return fail("read", pa_stream_get_context(s));
        if (n == 0) break;
        if (data)
            fwrite(data, 1, n, raw);
        else { // a hole: the server dropped data; silence keeps the frame count
            static const char zeros[4096];
            for (size_t left = n; left > 0;) {
                const size_t k = left < sizeof zeros ? left : sizeof zeros;
                fwrite(zeros, 1, k, raw);
                left -= k;
            }
        }
        pa_stream_drop(s);
    }
    pa_usec_t usec;
    if (pa_stream_get_time(s, &usec) == 0)
        fprintf(times, "%lld %.3f\n", monotonic_ns(), (double)usec * spec.rate / 1e6);
    if (!announced) {
        announced = 1;
        printf("recording\n");
        fflush(stdout);
    }
}

static void on_overflow(pa_stream* s, void* user) {
    (void)s, (void)user;
    fprintf(stderr, "monitor-record: overflow, the server dropped data\n");
}

static void on_stream_state(pa_stream* s, void* user) {
    (void)user;
    if (pa_stream_get_state(s) == PA_STREAM_FAILED) fail("stream", pa_stream_get_context(s));
}

static void on_context_state(pa_context* c, void* user) {
    (void)user;
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY: {
        pa_stream* s = pa_stream_new(c, "monitor-record", &spec, NULL);
        if (!s) return fail("stream", c);
        pa_stream_set_state_callback(s, on_stream_state, NULL);
        pa_stream_set_read_callback(s, on_read, NULL);
        pa_stream_set_overflow_callback(s, on_overflow, NULL);
        // Small fragments: the clock is read at each.
        const pa_buffer_attr attr = {(uint32_t)-1, (uint32_t)-1, (uint32_t)-1, (uint32_t)-1,
                                     (uint32_t)pa_usec_to_bytes(10000, &spec)};
        const pa_stream_flags_t flags =
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY;
        if (pa_stream_connect_record(s, source_name, &attr, flags) < 0) fail("record", c);
        break;
    }
    case PA_CONTEXT_FAILED:
        fail("connect", c);
        break;
    default:
        break;
    }
}

static void on_signal(pa_mainloop_api* a, pa_signal_event* e, int sig, void* user) {
    (void)e, (void)sig, (void)user;
    a->quit(a, 0);
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[3], "raw") == 0)
        stamp_clock = CLOCK_MONOTONIC_RAW;
    else if (argc != 3) {
        fprintf(stderr, "usage: monitor-record SOURCE OUT [raw]\n");
        return 2;
    }
    source_name = argv[1];
    char path[4096];
    snprintf(path, sizeof path, "%s.raw", argv[2]);
    raw = fopen(path, "wb");
    snprintf(path, sizeof path, "%s.times", argv[2]);
    times = fopen(path, "w");
    if (!raw || !times) {
        perror("monitor-record");
        return 1;
    }
    pa_mainloop* loop = pa_mainloop_new();
    api = pa_mainloop_get_api(loop);
    pa_signal_init(api);
    pa_signal_new(SIGTERM, on_signal, NULL);
    pa_signal_new(SIGINT, on_signal, NULL);
    pa_context* c = pa_context_new(api, "monitor-record");
    pa_context_set_state_callback(c, on_context_state, NULL);
    if (pa_context_connect(c, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0) fail("connect", c);
    int ret = 0;
    if (!failed) pa_mainloop_run(loop, &ret);
    pa_context_disconnect(c);
    pa_context_unref(c);
    pa_signal_done();
    pa_mainloop_free(loop);
    const int closed = fclose(raw) == 0 && fclose(times) == 0;
    return failed || !closed ? 1 : ret;
}
