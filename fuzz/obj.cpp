// The OBJ loader over arbitrary bytes: it must end, stay inside its vertex
// list and produce only valid corners.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mesh m;
    m.load_text(reinterpret_cast<const char*>(data), size, 1);
    for (const mesh_group& group : m.groups)
        for (const quad& q : group)
            for (const Vec3& corner : q.corners)
                if (corner.state != 1) std::abort();
    // A second load changes nothing.
    size_t groups = m.groups.size();
    m.load_text(reinterpret_cast<const char*>(data), size, 2);
    if (m.groups.size() != groups || m.list_name != 1 || !m.group_at(int(groups)).empty()) std::abort();
    return 0;
}
