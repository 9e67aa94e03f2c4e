#include "platform/platform.h"
#include "resources/show_context.h"
#include "runtime/runtime.h"
#include "shell/settings_dialog.h"
#include "shell/shell.h"

namespace shell {

bool start(int argc, char** argv, int& code) {
    platform::platform& p = platform::sys();
    // Data folders (music/, meshes/, textures/, cgeffects/) lie beside the executable.
    p.enter_executable_folder(argc > 0 ? argv[0] : nullptr);
    // The music decodes while the dialog waits and the window opens.
    preload_music();

    // The modes of the screen as it is now, then the user's choices; "Quit"
    // ends the process inside the dialog.
    std::vector<display_mode> modes;
    enumerate_display_modes(modes);
    run_settings_dialog(modes, the_show_context().settings);

    const show_settings& settings = the_show_context().settings;
    code = 0;
    return open_gl_window(window_title, settings.window_width, settings.window_height, 32,
                          settings.fullscreen);
}

void finish() {
    destroy_gl_window();
    platform::sys().sound_close(); // the mixing thread stops before the process unwinds
}

int run(int argc, char** argv) {
    int code = 0;
    if (!start(argc, argv, code)) return code;
    code = message_loop();
    finish();
    return code;
}

} // namespace shell
