// The main of the test programs: a child's work when this run is one
// (child_work.h), the tests otherwise.
#include <gtest/gtest.h>

#include "child_work.h"

int main(int argc, char** argv) {
    if (const int status = testing_support::run_child_work_if_asked(argc, argv); status >= 0) return status;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
