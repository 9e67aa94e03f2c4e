#include "resources/show_context.h"

show_context& the_show_context() {
    // Several megabytes of tables: static storage, created before the entry runs.
    static show_context context;
    return context;
}
