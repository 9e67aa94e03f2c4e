// Frames read back on the render thread and written out (to ffmpeg's pipe
// or to PNG files) on a thread of their own, so that the next frame renders
// while the last one is written. A few frame buffers go round between the
// two; the render thread waits only when every one is still being written.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace capture {

// Writes one frame (rows top-down, `row_bytes` each) under `name`; false
// when it could not.
using frame_sink = std::function<bool(const unsigned char* rows, const std::string& name)>;

struct frame_writer {
    size_t row_bytes = 0, rows = 0;
    bool flip = false; // the buffers hold rows bottom-up: turned over before writing
    frame_sink sink;

    std::vector<std::vector<unsigned char>> buffers;
    std::vector<unsigned char> turned;
    std::deque<size_t> free_buffers;
    std::deque<std::pair<size_t, std::string>> queued;
    bool stopping = false;
    std::string failed; // name of the first frame that could not be written
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
};

// Starts the writing thread with `count` buffers of `rows` rows.
void start_writer(frame_writer& writer, size_t row_bytes, size_t rows, bool flip, size_t count,
                  frame_sink sink);
// A buffer to read the next frame into; waits for one to come free.
unsigned char* next_buffer(frame_writer& writer, size_t& index);
// Hands the buffer filled since next_buffer to the writing thread.
void write_frame(frame_writer& writer, size_t index, const std::string& name);
// The name of the first frame that could not be written, or empty.
std::string failed_frame(frame_writer& writer);
// Waits until every frame handed over is written and ends the thread.
void stop_writer(frame_writer& writer);

} // namespace capture
