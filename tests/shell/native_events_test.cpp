// SDL events as the native platform hands them to the window procedure:
// virtual-key codes, auto-repeat, Alt combinations, wheel deltas in 120s,
// buttons, minimise/restore activation and close.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/gl_context.h"

namespace {

using namespace platform;

class native_events : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        drain(); // whatever the test window itself produced
    }
    std::vector<message> drain() {
        std::vector<message> out;
        message m;
        while (p.peek_message(&m))
            out.push_back(m);
        return out;
    }
    static void key(Uint32 type, SDL_Keycode sym, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        e.key.repeat = repeat;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        SDL_PushEvent(&e);
    }
    static void window_event(Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = event;
        SDL_PushEvent(&e);
    }
    const platform::platform& p = native_platform();
};

TEST_F(native_events, keys_arrive_as_virtual_key_codes_with_repeats) {
    key(SDL_KEYDOWN, SDLK_ESCAPE);
    key(SDL_KEYDOWN, SDLK_F1);
    key(SDL_KEYDOWN, SDLK_F1, KMOD_NONE, 1); // auto-repeat: another key-down
    key(SDL_KEYUP, SDLK_F1);
    key(SDL_KEYDOWN, SDLK_q);
    key(SDL_KEYDOWN, SDLK_UP);
    key(SDL_KEYDOWN, SDLK_7);
    const auto m = drain();
    ASSERT_EQ(m.size(), 7u);
    EXPECT_EQ(m[0].id, unsigned(wm_keydown));
    EXPECT_EQ(m[0].wparam, uint64_t(vk_escape));
    EXPECT_EQ(m[1].wparam, uint64_t(vk_f1));
    EXPECT_EQ(m[2].id, unsigned(wm_keydown));
    EXPECT_TRUE(m[2].lparam & (int64_t(1) << 30)); // "was already down"
    EXPECT_FALSE(m[1].lparam & (int64_t(1) << 30));
    EXPECT_EQ(m[3].id, unsigned(wm_keyup));
    EXPECT_EQ(m[4].wparam, uint64_t('Q'));
    EXPECT_EQ(m[5].wparam, uint64_t(vk_up));
    EXPECT_EQ(m[6].wparam, uint64_t('7'));
}

TEST_F(native_events, alt_combinations_are_system_keys) {
    key(SDL_KEYDOWN, SDLK_F4, KMOD_LALT);
    const auto m = drain();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].id, unsigned(wm_syskeydown));
    EXPECT_EQ(m[0].wparam, uint64_t(vk_f4));
    EXPECT_TRUE(m[0].lparam & (int64_t(1) << 29));
}

TEST_F(native_events, wheel_notches_in_units_of_120) {
    for (float y : {1.0f, -1.0f, 2.0f}) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = int(y);
        e.wheel.preciseY = y;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        SDL_PushEvent(&e);
    }
    const auto m = drain();
    ASSERT_EQ(m.size(), 3u);
    for (const auto& w : m)
        EXPECT_EQ(w.id, unsigned(wm_mousewheel));
    EXPECT_EQ(int16_t(m[0].wparam >> 16), 120);
    EXPECT_EQ(int16_t(m[1].wparam >> 16), -120);
    EXPECT_EQ(int16_t(m[2].wparam >> 16), 240);
}

TEST_F(native_events, buttons_and_motion) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_MIDDLE;
    e.button.x = 12;
    e.button.y = 34;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    const auto m = drain();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].id, unsigned(wm_mbuttondown));
    EXPECT_EQ(m[0].lparam, 12 | (34 << 16));
    EXPECT_EQ(m[1].id, unsigned(wm_lbuttonup));
    EXPECT_EQ(m[2].id, unsigned(wm_mousemove));
}

TEST_F(native_events, minimise_restore_and_close) {
    window_event(SDL_WINDOWEVENT_MINIMIZED);
    window_event(SDL_WINDOWEVENT_RESTORED);
    window_event(SDL_WINDOWEVENT_CLOSE);
    const auto m = drain();
    std::vector<unsigned> ids;
    for (const auto& x : m)
        ids.push_back(x.id);
    ASSERT_EQ(ids, (std::vector<unsigned>{wm_size, wm_activate, wm_activate, wm_size, wm_close}));
    EXPECT_EQ(m[0].lparam, 0);                   // minimised: a zero size
    EXPECT_NE((m[1].wparam >> 16) & 0xFFFF, 0u); // minimised word set
    EXPECT_EQ((m[2].wparam >> 16) & 0xFFFF, 0u); // restored
}

TEST_F(native_events, posted_quit_comes_first) {
    key(SDL_KEYDOWN, SDLK_a);
    p.post_quit_message(3);
    message m;
    ASSERT_TRUE(p.peek_message(&m));
    EXPECT_EQ(m.id, unsigned(wm_quit));
    EXPECT_EQ(m.wparam, 3u);
    drain();
}

} // namespace

namespace {

// Without a display a message box is standard error alone and never waits.
TEST(native_message_box, without_a_display_writes_standard_error_only) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string saved_wayland = wayland ? wayland : "";
    unsetenv("WAYLAND_DISPLAY");

    const platform::platform& p = platform::native_platform();
    testing::internal::CaptureStderr();
    const int ok = p.message_box("Problem initializing FMod. \nNo sound file.", "Quorlaxen  ",
                                 platform::mb_ok | platform::mb_iconinformation);
    const int question = p.message_box("Use Windowed Mode Instead?", "KVT GL ;-)", platform::mb_yesno);
    const std::string err = testing::internal::GetCapturedStderr();

    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    if (!saved_wayland.empty()) setenv("WAYLAND_DISPLAY", saved_wayland.c_str(), 1);
    EXPECT_EQ(ok, platform::id_ok);
    EXPECT_EQ(question, platform::id_no); // nobody to say yes
    EXPECT_NE(err.find("Quorlaxen  : Problem initializing FMod. \nNo sound file.\n"), std::string::npos);
    EXPECT_NE(err.find("Use Windowed Mode Instead?"), std::string::npos);
}

// Without a clipboard tool the text is not lost: it goes to standard output,
// and the hand-over says it failed.
TEST(native_clipboard, without_xclip_or_wl_copy_the_text_goes_to_standard_output) {
    const char* path = std::getenv("PATH");
    const std::string saved = path ? path : "";
    setenv("PATH", "/nonexistent", 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool taken = platform::native_platform().set_clipboard_text("Cam :1,2,0  \nPnt :0,0,0  \n \n");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    setenv("PATH", saved.c_str(), 1);
    EXPECT_FALSE(taken);
    EXPECT_EQ(out, "Cam :1,2,0  \nPnt :0,0,0  \n \n");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("standard output"), std::string::npos) << err;
}

} // namespace
