#include "shell/shell.h"

namespace shell {

shell_state& state() {
    static shell_state s;
    return s;
}

} // namespace shell
