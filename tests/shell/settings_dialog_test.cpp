// The mode list and the settings dialog's logic, against a fake display (the
// enum_display_mode entry) and a fake dialog that records what the procedure
// does to it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/settings_dialog.h"
#include "support/needs.h"

namespace {

using shell::display_mode;

std::vector<platform::display_mode_info> fake_modes;

struct exit_called {
    int code;
};

class settings_dialog_test : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = platform::sys();
        fake_modes.clear();
        platform::sys().enum_display_mode = [](int index, platform::display_mode_info* out) {
            if (index < 0 || index >= int(fake_modes.size())) return false;
            *out = fake_modes[size_t(index)];
            return true;
        };
        platform::sys().exit_process = [](int code) { throw exit_called{code}; };
    }
    void TearDown() override { platform::sys() = saved; }

    std::vector<display_mode> enumerate() {
        std::vector<display_mode> modes;
        shell::enumerate_display_modes(modes);
        return modes;
    }

    platform::platform saved{};
};

// A dialog in memory: check states, combo lines and selection by id, a fixed
// screen size, and whether and how it was ended.
struct fake_dialog {
    std::map<int, bool> checked;
    std::vector<std::string> lines;
    int selected = -1;
    int screen_w = 1920, screen_h = 1080;
    bool ended = false;
    intptr_t result = 0;

    static fake_dialog& of(void* self) { return *static_cast<fake_dialog*>(self); }

    platform::dialog_handle handle() {
        platform::dialog_handle h;
        h.self = this;
        h.is_checked = [](void* self, int id) { return of(self).checked[id]; };
        h.set_checked = [](void* self, int id, bool on) { of(self).checked[id] = on; };
        h.add_line = [](void* self, int id, const char* text) {
            EXPECT_EQ(id, shell::id_resolution);
            of(self).lines.push_back(text);
            return int(of(self).lines.size()) - 1;
        };
        h.set_selection = [](void* self, int, int index) { of(self).selected = index; };
        h.selection = [](void* self, int) { return of(self).selected; };
        h.screen_size = [](void* self, int* w, int* h) { *w = of(self).screen_w, *h = of(self).screen_h; };
        h.end_dialog = [](void* self, intptr_t result) { of(self).ended = true, of(self).result = result; };
        return h;
    }
};

// One run of the dialog: init, then the commands a person gives it.
struct dialog_run {
    std::vector<display_mode> modes;
    show_settings choices;
    shell::settings_dialog_session session;
    fake_dialog dialog;
    platform::dialog_handle handle;

    explicit dialog_run(std::vector<display_mode> list) : modes(std::move(list)) {
        session.modes = &modes;
        session.choices = &choices;
        handle = dialog.handle();
        EXPECT_EQ(shell::settings_dialog_proc(handle, platform::wm_initdialog, 0, 0, &session), 0);
    }
    intptr_t command(int id) {
        return shell::settings_dialog_proc(handle, platform::wm_command, id, 0, &session);
    }
    void select(int w, int h) {
        for (size_t i = 0; i < modes.size(); ++i)
            if (modes[i].width == w && modes[i].height == h) dialog.selected = int(i);
    }
};

TEST_F(settings_dialog_test, each_size_is_listed_once_in_display_order_whatever_its_depths_and_rates) {
    fake_modes = {{1920, 1080, 32, 60}, {1920, 1080, 16, 60}, {1280, 720, 32, 60},
                  {1920, 1080, 32, 75}, {1920, 1080, 8, 50},  {1280, 720, 16, 50}};
    const auto modes = enumerate();
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0].width, 1920);
    EXPECT_EQ(modes[0].height, 1080);
    EXPECT_EQ(modes[1].width, 1280);
    EXPECT_EQ(shell::mode_line(modes[0]), " 1920 x 1080  (16:9)");
}

TEST_F(settings_dialog_test, filter_drops_large_portrait_and_elongated_modes) {
    fake_modes = {{2560, 1600, 32, 60}, {800, 1280, 32, 60},  {1280, 1024, 32, 60}, {2048, 1152, 32, 60},
                  {1024, 768, 32, 60},  {1920, 1060, 32, 60}, {1900, 1000, 32, 60}, {2047, 1152, 32, 60},
                  {1000, 1000, 32, 60}, {0, 0, 0, 0}};
    const auto modes = enumerate();
    std::vector<std::pair<int, int>> sizes;
    for (const auto& m : modes)
        sizes.push_back({m.width, m.height});
    // 2048 wide is too large; 1920 x 1060 (1.81) and 1900 x 1000 (1.9) too
    // elongated; 0 x 0 is no mode.
    const std::vector<std::pair<int, int>> expected = {{1280, 1024}, {1024, 768}, {2047, 1152}, {1000, 1000}};
    EXPECT_EQ(sizes, expected);
}

TEST_F(settings_dialog_test, enumeration_stops_at_the_first_failure_and_replaces_an_old_list) {
    std::vector<display_mode> modes = {{640, 480}};
    shell::enumerate_display_modes(modes);
    EXPECT_TRUE(modes.empty());
}

TEST(settings_dialog_lines, three_formats_by_aspect_within_a_hundredth) {
    EXPECT_EQ(shell::mode_line({1680, 1050}), " 1680 x 1050  (16:10)");
    EXPECT_EQ(shell::mode_line({1024, 768}), " 1024 x 768       ");
    EXPECT_EQ(shell::mode_line({1366, 768}), " 1366 x 768  (16:9)");
    EXPECT_EQ(shell::mode_line({1280, 720}), " 1280 x 720  (16:9)");
    EXPECT_EQ(shell::mode_line({1280, 1024}), " 1280 x 1024       ");
    // Within a hundredth of 1.6 counts as 16:10; just outside does not.
    EXPECT_EQ(shell::mode_line({1591, 1000}), " 1591 x 1000  (16:10)");
    EXPECT_EQ(shell::mode_line({1589, 1000}), " 1589 x 1000       ");
}

TEST(settings_dialog_lines, forced_view_height_truncates_the_float_quotient) {
    EXPECT_EQ(shell::forced_view_height(1280), 720);
    EXPECT_EQ(shell::forced_view_height(1366), 768); // 768.375
    EXPECT_EQ(shell::forced_view_height(1680), 945);
    EXPECT_EQ(shell::forced_view_height(1920), 1080);
    EXPECT_EQ(shell::forced_view_height(1024), 576);
}

TEST_F(settings_dialog_test, init_ticks_antialiased_and_force_and_fills_the_list_in_order) {
    dialog_run run({{1024, 768}, {1680, 1050}, {1280, 720}});
    EXPECT_TRUE(run.dialog.checked[shell::id_antialiased]);
    EXPECT_TRUE(run.dialog.checked[shell::id_force_16_9]);
    EXPECT_FALSE(run.dialog.checked[shell::id_windowed]);
    const std::vector<std::string> lines = {" 1024 x 768       ", " 1680 x 1050  (16:10)",
                                            " 1280 x 720  (16:9)"};
    EXPECT_EQ(run.dialog.lines, lines);
}

TEST_F(settings_dialog_test, preselection_prefers_1280x720_then_1024x768_then_the_first) {
    EXPECT_EQ(dialog_run({{800, 600}, {1024, 768}, {1280, 720}}).dialog.selected, 2);
    EXPECT_EQ(dialog_run({{800, 600}, {1024, 768}, {1600, 900}}).dialog.selected, 1);
    EXPECT_EQ(dialog_run({{1600, 900}, {800, 600}}).dialog.selected, 0);
}

TEST_F(settings_dialog_test, run_writes_window_and_view_sizes_with_and_without_force) {
    struct example {
        int w, h;
        bool force;
        int view_h;
    };
    for (const example e :
         {example{1280, 1024, true, 720}, example{1366, 768, true, 768}, example{1680, 1050, true, 945},
          example{1280, 1024, false, 1024}, example{1680, 1050, false, 1050}}) {
        dialog_run run({{800, 600}, {1280, 1024}, {1366, 768}, {1680, 1050}});
        run.select(e.w, e.h);
        run.dialog.checked[shell::id_force_16_9] = e.force;
        EXPECT_EQ(run.command(platform::id_ok_button), 1);
        EXPECT_TRUE(run.dialog.ended);
        EXPECT_EQ(run.dialog.result, platform::id_ok_button);
        EXPECT_EQ(run.choices.window_width, e.w);
        EXPECT_EQ(run.choices.window_height, e.h);
        EXPECT_EQ(run.choices.view_width, e.w);
        EXPECT_EQ(run.choices.view_height, e.view_h) << e.w << " x " << e.h << " force " << e.force;
        EXPECT_EQ(run.choices.force_16_9, e.force);
    }
}

TEST_F(settings_dialog_test, run_reads_the_three_boxes) {
    dialog_run run({{1280, 720}});
    run.dialog.checked[shell::id_antialiased] = false;
    run.dialog.checked[shell::id_windowed] = true;
    run.command(platform::id_ok_button);
    EXPECT_FALSE(run.choices.antialiased);
    EXPECT_FALSE(run.choices.fullscreen);

    dialog_run defaults({{1280, 720}});
    defaults.command(platform::id_ok_button);
    EXPECT_TRUE(defaults.choices.antialiased);
    EXPECT_TRUE(defaults.choices.fullscreen);
    EXPECT_TRUE(defaults.choices.force_16_9);
}

TEST_F(settings_dialog_test, an_empty_mode_list_offers_the_screen_size) {
    dialog_run run({});
    ASSERT_EQ(run.dialog.lines.size(), 1u);
    EXPECT_EQ(run.dialog.lines[0], " 1920 x 1080  (16:9)");
    EXPECT_EQ(run.dialog.selected, 0);
    run.dialog.checked[shell::id_force_16_9] = false;
    run.command(platform::id_ok_button);
    EXPECT_TRUE(run.dialog.ended);
    EXPECT_EQ(run.choices.window_width, 1920);
    EXPECT_EQ(run.choices.view_height, 1080);
}

TEST_F(settings_dialog_test, run_without_a_selected_line_keeps_the_dialog_open_and_the_choices) {
    dialog_run run({});
    run.dialog.selected = -1;
    run.choices.window_width = 111;
    EXPECT_EQ(run.command(platform::id_ok_button), 1);
    EXPECT_FALSE(run.dialog.ended);
    EXPECT_EQ(run.choices.window_width, 111);

    // A screen of unknown size gives no line at all.
    fake_dialog unknown;
    unknown.screen_w = unknown.screen_h = 0;
    std::vector<display_mode> none;
    show_settings choices;
    shell::settings_dialog_session session{&none, &choices, {}};
    const auto handle = unknown.handle();
    shell::settings_dialog_proc(handle, platform::wm_initdialog, 0, 0, &session);
    EXPECT_TRUE(unknown.lines.empty());
    shell::settings_dialog_proc(handle, platform::wm_command, platform::id_ok_button, 0, &session);
    EXPECT_FALSE(unknown.ended);
}

TEST_F(settings_dialog_test, quit_ends_the_dialog_and_the_process_with_code_0) {
    dialog_run run({{1280, 720}});
    try {
        run.command(platform::id_cancel_button);
        FAIL() << "Quit returned";
    } catch (const exit_called& e) {
        EXPECT_EQ(e.code, 0);
    }
    EXPECT_TRUE(run.dialog.ended);
    EXPECT_EQ(run.dialog.result, platform::id_cancel_button);
    EXPECT_EQ(run.choices.window_width, show_settings{}.window_width);
}

TEST_F(settings_dialog_test, other_commands_and_messages_are_not_handled) {
    dialog_run run({{1280, 720}});
    EXPECT_EQ(run.command(shell::id_windowed), 0);
    // A selection change carries its notification in the high word.
    EXPECT_EQ(run.command(shell::id_resolution | 1 << 16), 0);
    EXPECT_EQ(shell::settings_dialog_proc(run.handle, 0x0200, 0, 0, &run.session), 0);
    EXPECT_FALSE(run.dialog.ended);
}

TEST_F(settings_dialog_test, without_a_display_the_preselected_choices_are_taken) {
    // The null table shows no dialog, whatever display there is: its
    // procedure is never called (one that ends the dialog at once would
    // return 42 from a real one).
    bool called = false;
    const auto ends_at_once = [](const platform::dialog_handle& d, unsigned, uint64_t, int64_t,
                                 void* user) -> intptr_t {
        *static_cast<bool*>(user) = true;
        d.end_dialog(d.self, 42);
        return 1;
    };
    EXPECT_EQ(platform::null_platform().run_dialog(shell::settings_dialog_template(), ends_at_once, &called),
              platform::dialog_unavailable);
    EXPECT_FALSE(called);

    platform::sys().run_dialog = platform::null_platform().run_dialog;
    show_settings choices;
    testing::internal::CaptureStderr();
    shell::run_settings_dialog({{1024, 768}, {1680, 1050}}, choices);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "settings dialog skipped (no X11 display); using its defaults: 1024 x 768, full screen, "
                   "antialiased, force 16:9\n");
    EXPECT_EQ(choices.window_width, 1024);
    EXPECT_EQ(choices.window_height, 768);
    EXPECT_EQ(choices.view_height, 576);
    EXPECT_TRUE(choices.fullscreen);
    EXPECT_TRUE(choices.antialiased);
}

// The Windows build shows the dialog from its resource script; the other
// systems build it from the template. The two must say the same.
struct resource_control {
    std::string keyword, text, styles;
    int id = 0, x = 0, y = 0, width = 0, height = 0;
};

std::vector<resource_control> resource_controls(const std::string& script, std::string& caption, int& width,
                                                int& height) {
    std::vector<resource_control> out;
    std::istringstream lines(script);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(^101 DIALOGEX \d+, \d+, (\d+), (\d+))"))) {
            width = std::stoi(m[1]);
            height = std::stoi(m[2]);
        } else if (std::regex_search(line, m, std::regex(R"re(^CAPTION "(.*)"$)re"))) {
            caption = m[1];
        } else if (std::regex_search(
                       line, m,
                       std::regex(
                           R"re(^\s+(\w+) (?:"([^"]*)", )?(-?\w+), (\d+), (\d+), (\d+), (\d+), (.*)$)re"))) {
            resource_control c;
            c.keyword = m[1];
            c.text = m[2];
            const std::string id = m[3];
            c.id = id == "IDOK" ? 1 : id == "IDCANCEL" ? 2 : std::stoi(id);
            c.x = std::stoi(m[4]), c.y = std::stoi(m[5]), c.width = std::stoi(m[6]),
            c.height = std::stoi(m[7]);
            c.styles = m[8];
            out.push_back(c);
        }
    }
    return out;
}

TEST(settings_dialog_layout, template_matches_the_resource) {
    std::ifstream file(std::string(QUORLAXEN_SOURCE_DIR) + "/src/shell/settings_dialog.rc");
    ASSERT_TRUE(file) << "settings_dialog.rc";
    std::stringstream script;
    script << file.rdbuf();
    std::string caption;
    int width = 0, height = 0;
    const std::vector<resource_control> controls = resource_controls(script.str(), caption, width, height);

    const auto& t = shell::settings_dialog_template();
    EXPECT_EQ(caption, t.caption);
    EXPECT_EQ(width, t.width);
    EXPECT_EQ(height, t.height);
    // In the same (Tab) order, with the same kind, text, id, place and styles.
    ASSERT_EQ(int(controls.size()), t.control_count);
    for (int i = 0; i < t.control_count; ++i) {
        const platform::dialog_control& want = t.controls[i];
        const resource_control& got = controls[size_t(i)];
        SCOPED_TRACE(got.keyword + " \"" + got.text + "\"");
        const char* keyword = "GROUPBOX";
        switch (want.kind) {
        case platform::control_kind::default_push_button:
            keyword = "DEFPUSHBUTTON";
            break;
        case platform::control_kind::push_button:
            keyword = "PUSHBUTTON";
            break;
        case platform::control_kind::check_box:
            keyword = "AUTOCHECKBOX";
            break;
        case platform::control_kind::combo_box:
            keyword = "COMBOBOX";
            break;
        case platform::control_kind::group_box:
            break;
        }
        EXPECT_EQ(got.keyword, keyword);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
        EXPECT_EQ(got.styles.find("WS_TABSTOP") != std::string::npos,
                  bool(want.style & platform::style_tab_stop));
        EXPECT_EQ(got.styles.find("BS_PUSHLIKE") != std::string::npos,
                  bool(want.style & platform::style_push_like));
        EXPECT_EQ(got.styles.find("BS_FLAT") != std::string::npos, bool(want.style & platform::style_flat));
    }
}

} // namespace

namespace {

// The FLTK dialog's handle, driven by a procedure that inspects it during
// wm_initdialog and ends the dialog before it is shown.
struct handle_probe {
    bool checked_after_set = false, unchecked_after_clear = false, unknown_id_checked = true;
    int first_line = -1, second_line = -1, unknown_list = 0;
    int selected = -2, selected_out_of_range = -2;
    int screen_w = 0, screen_h = 0;
    unsigned messages = 0;
};

intptr_t probe_proc(const platform::dialog_handle& d, unsigned message, uint64_t, int64_t, void* user) {
    auto& p = *static_cast<handle_probe*>(user);
    ++p.messages;
    if (message != platform::wm_initdialog) return 0;
    d.set_checked(d.self, shell::id_windowed, true);
    p.checked_after_set = d.is_checked(d.self, shell::id_windowed);
    d.set_checked(d.self, shell::id_windowed, false);
    p.unchecked_after_clear = !d.is_checked(d.self, shell::id_windowed);
    p.unknown_id_checked = d.is_checked(d.self, 4242);
    p.first_line = d.add_line(d.self, shell::id_resolution, " 1280 x 720  (16:9)");
    p.second_line = d.add_line(d.self, shell::id_resolution, " a/b & _c\\d ");
    p.unknown_list = d.add_line(d.self, shell::id_antialiased, "not a list");
    d.set_selection(d.self, shell::id_resolution, 1);
    p.selected = d.selection(d.self, shell::id_resolution);
    d.set_selection(d.self, shell::id_resolution, 5);
    p.selected_out_of_range = d.selection(d.self, shell::id_resolution);
    d.screen_size(d.self, &p.screen_w, &p.screen_h);
    d.end_dialog(d.self, 42);
    return 0;
}

TEST(fltk_dialog, handle_reaches_the_controls_of_the_template) {
    const char* display = std::getenv("DISPLAY");
    QUORLAXEN_NEED(display && *display, "needs an X display");
    handle_probe probe;
    const intptr_t result =
        platform::run_native_dialog(shell::settings_dialog_template(), probe_proc, &probe);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(probe.messages, 1u) << "ended during init: nothing else was sent";
    EXPECT_TRUE(probe.checked_after_set);
    EXPECT_TRUE(probe.unchecked_after_clear);
    EXPECT_FALSE(probe.unknown_id_checked);
    EXPECT_EQ(probe.first_line, 0);
    // Menu metacharacters in a line make one line, not a submenu.
    EXPECT_EQ(probe.second_line, 1);
    EXPECT_EQ(probe.unknown_list, -1);
    EXPECT_EQ(probe.selected, 1);
    EXPECT_EQ(probe.selected_out_of_range, 1) << "an index past the list leaves the selection";
    EXPECT_GT(probe.screen_w, 0);
    EXPECT_GT(probe.screen_h, 0);
}

} // namespace
