// What the browser's page adds to the platform table: the state the page
// shows on its <html> element (for its own script and for tests), and how
// the buffer swap presents a picture. Built for WebAssembly only.
#pragma once

namespace platform {

// <html data-state="...">: "dialog", "loading", "running", "ready".
void web_set_page_state(const char* state);

// While the page's animation frames drive the frames, a frame is presented
// when its callback returns and swap_buffers has nothing to do; before that
// (the loading screen) swap_buffers waits for the next animation frame so
// that the picture is shown.
void web_set_frames_running(bool running);

// Keeps the canvas's drawing buffer after it is presented, so that a page
// script can read back a frame drawn once (the frame mode).
void web_keep_drawing_buffer(bool keep);

// The screen's size in device pixels (what the page can show at full screen).
void web_screen_size(int* width, int* height);

// The page address's query value of `name` ("" when it has none, "1" for a
// name without a value); false when the name is not there.
bool web_query(const char* name, char* value, int size);

} // namespace platform
