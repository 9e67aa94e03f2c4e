#include "platform/platform.h"
#include "resources/show_context.h"
#include "runtime/runtime.h"
#include "shell/settings_dialog.h"
#include "shell/shell.h"

namespace shell {

int run(int argc, char** argv) {
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
    if (!open_gl_window(window_title, settings.window_width, settings.window_height, 32, settings.fullscreen))
        return 0;
    const int code = message_loop();
    destroy_gl_window();
    p.sound_close(); // the mixing thread stops before the process unwinds
    return code;
}

} // namespace shell
