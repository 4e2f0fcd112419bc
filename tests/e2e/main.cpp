// e2e_tests.exe: the end-to-end tests, or one of the helper programs that the
// driver's own tests start (a copy of this executable with --helper).
#include <string.h>

#include <gtest/gtest.h>

#include "tests/e2e/helper.h"

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "--helper") == 0) return RunHelper(argc - 2, argv + 2);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
