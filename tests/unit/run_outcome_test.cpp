#include <gtest/gtest.h>

#include "base/run_outcome.h"

// A graver outcome is never made lighter by a later one, in either order,
// and a run that decided nothing did not do its job.
TEST(RunOutcome, GraverOutcomeWinsAndItsExitCode) {
    using O = RunOutcome;
    struct Case {
        O first, second, result;
        int exitCode;
    } cases[] = {
        {O::kUndecided, O::kUndecided, O::kUndecided, kExitFailed},
        {O::kUndecided, O::kDone, O::kDone, kExitDone},
        {O::kDone, O::kDone, O::kDone, kExitDone},
        {O::kDone, O::kDeclined, O::kDeclined, kExitDeclined},
        {O::kDeclined, O::kDone, O::kDeclined, kExitDeclined},
        {O::kFailed, O::kDone, O::kFailed, kExitFailed},
        {O::kDone, O::kFailed, O::kFailed, kExitFailed},
        {O::kDeclined, O::kFailed, O::kFailed, kExitFailed},
        {O::kFailed, O::kDeclined, O::kFailed, kExitFailed},
    };
    for (const Case& c : cases) {
        O result = GraverOutcome(c.first, c.second);
        EXPECT_EQ(static_cast<int>(result), static_cast<int>(c.result))
            << static_cast<int>(c.first) << " " << static_cast<int>(c.second);
        EXPECT_EQ(ExitCodeOf(result), c.exitCode);
    }
    EXPECT_EQ(kExitDeclined, 1602);
    EXPECT_EQ(kExitFailed, 1603);
}
