#include "runtime/runtime.h"

void schedule_init(schedule_table& table) {
    for (int i = 0; i < schedule_table::capacity; ++i)
        table.entries[i] = show_cues[i];
    table.count = schedule_table::capacity;
}

int schedule_lookup(const schedule_table& table, double t) {
    int value = 0;
    const int count = table.count < schedule_table::capacity ? table.count : schedule_table::capacity;
    for (int i = 0; i < count; ++i) {
        const cue_entry& e = table.entries[i];
        if (e.start <= t && t <= e.end) value = e.value;
    }
    return value;
}
