#include "frame_writer.h"

#include <algorithm>

namespace capture {

namespace {

void run(frame_writer& w) {
    for (;;) {
        std::pair<size_t, std::string> job;
        {
            std::unique_lock<std::mutex> hold(w.lock);
            w.changed.wait(hold, [&] { return !w.queued.empty() || w.stopping; });
            if (w.queued.empty()) return;
            job = w.queued.front();
        }
        const unsigned char* rows = w.buffers[job.first].data();
        if (w.flip) {
            for (size_t y = 0; y < w.rows; ++y)
                std::copy_n(rows + (w.rows - 1 - y) * w.row_bytes, w.row_bytes, &w.turned[y * w.row_bytes]);
            rows = w.turned.data();
        }
        // After a failure the rest is only handed back: nothing more is written.
        bool ok = true;
        {
            std::lock_guard<std::mutex> hold(w.lock);
            ok = w.failed.empty();
        }
        if (ok) ok = w.sink(rows, job.second);
        std::lock_guard<std::mutex> hold(w.lock);
        if (!ok && w.failed.empty()) w.failed = job.second.empty() ? "frame" : job.second;
        w.queued.pop_front();
        w.free_buffers.push_back(job.first);
        w.changed.notify_all();
    }
}

} // namespace

void start_writer(frame_writer& w, size_t row_bytes, size_t rows, bool flip, size_t count, frame_sink sink) {
    w.row_bytes = row_bytes;
    w.rows = rows;
    w.flip = flip;
    w.sink = std::move(sink);
    w.buffers.assign(count, std::vector<unsigned char>(row_bytes * rows));
    if (flip) w.turned.assign(row_bytes * rows, 0);
    for (size_t i = 0; i < count; ++i)
        w.free_buffers.push_back(i);
    w.worker = std::thread(run, std::ref(w));
}

unsigned char* next_buffer(frame_writer& w, size_t& index) {
    std::unique_lock<std::mutex> hold(w.lock);
    w.changed.wait(hold, [&] { return !w.free_buffers.empty(); });
    index = w.free_buffers.front();
    w.free_buffers.pop_front();
    return w.buffers[index].data();
}

void write_frame(frame_writer& w, size_t index, const std::string& name) {
    std::lock_guard<std::mutex> hold(w.lock);
    w.queued.emplace_back(index, name);
    w.changed.notify_all();
}

std::string failed_frame(frame_writer& w) {
    std::lock_guard<std::mutex> hold(w.lock);
    return w.failed;
}

void stop_writer(frame_writer& w) {
    if (!w.worker.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(w.lock);
        w.stopping = true;
        w.changed.notify_all();
    }
    w.worker.join();
}

} // namespace capture
