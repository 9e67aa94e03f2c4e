#include "platform/platform.h"

namespace platform {

const platform& native_platform() { return null_platform(); }

} // namespace platform
