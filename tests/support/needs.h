// What a test needs from outside it (a display, a tool, a built program,
// forged data). Run by hand, a test that lacks it skips with its reason.
// Under ./test.sh, which installs and builds all of it and says so with
// QUORLAXEN_TEST_ALL=1, the same lack is a failure: a skip there would hide
// a missing install or build step behind a pass.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace test_needs {

inline bool everything_present() {
    const char* all = std::getenv("QUORLAXEN_TEST_ALL");
    return all && *all && std::strcmp(all, "0") != 0;
}

} // namespace test_needs

// Returns from the test (or its SetUp) when `condition` does not hold.
#define QUORLAXEN_NEED(condition, reason)                                                                    \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            if (test_needs::everything_present()) GTEST_FAIL() << reason << " (under ./test.sh)";            \
            GTEST_SKIP() << reason;                                                                          \
        }                                                                                                    \
    } while (0)
