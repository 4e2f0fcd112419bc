#include <gtest/gtest.h>

#include "app/version_check.h"

namespace {

struct Case {
    const char* name;
    WindowsVersion version;
    WindowsEdition edition;
    bool accepted;
    bool nt;
};

const WindowsEdition kNoEdition = {};
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;

}  // namespace

TEST(WindowsVersionDecision, Table) {
    const Case cases[] = {
        {"Windows 95", {1, 4, 0}, kNoEdition, true, false},
        {"Windows 98", {1, 4, 10}, kNoEdition, true, false},
        {"Windows Me", {1, 4, 90}, kNoEdition, true, false},
        {"9x 4.3", {1, 4, 3}, kNoEdition, false, false},
        {"9x 5.0", {1, 5, 0}, kNoEdition, false, false},
        {"9x 3.10", {1, 3, 10}, kNoEdition, false, false},
        {"NT 3.51", {2, 3, 51}, kNoEdition, false, false},
        {"NT 4.0", {2, 4, 0}, kNoEdition, true, true},
        {"2000 Professional", {2, 5, 0}, {true, 2, 5, kProductWorkstation}, true, true},
        {"XP", {2, 5, 1}, {true, 2, 5, kProductWorkstation}, true, true},
        {"XP x64", {2, 5, 2}, {true, 2, 5, kProductWorkstation}, true, true},
        {"2000 Server", {2, 5, 0}, {true, 2, 5, kServer}, false, false},
        {"2000 domain controller", {2, 5, 0}, {true, 2, 5, kDomainController}, false, false},
        {"Server 2003", {2, 5, 2}, {true, 2, 5, kServer}, false, false},
        {"5.x, extended query failed", {2, 5, 1}, {false, 2, 5, kProductWorkstation}, false, false},
        {"5.x, extended record not NT", {2, 5, 1}, {true, 1, 5, kProductWorkstation}, false, false},
        {"5.x, extended record major 4", {2, 5, 0}, {true, 2, 4, kProductWorkstation}, true, true},
        {"5.x, extended record major 6", {2, 5, 0}, {true, 2, 6, kProductWorkstation}, false, false},
        {"Vista", {2, 6, 0}, kNoEdition, true, true},
        {"7", {2, 6, 1}, kNoEdition, true, true},
        {"Server 2008 (6.x, no edition test)", {2, 6, 0}, {true, 2, 6, kServer}, true, true},
        {"8.1", {2, 6, 3}, kNoEdition, true, true},
        {"NT 10.0", {2, 10, 0}, kNoEdition, false, false},
        {"NT 7.0", {2, 7, 0}, kNoEdition, false, false},
        {"Win32s", {0, 3, 10}, kNoEdition, false, false},
        {"CE", {3, 4, 0}, kNoEdition, false, false},
    };
    for (const Case& c : cases) {
        VersionVerdict verdict = DecideWindowsVersion(c.version, c.edition);
        EXPECT_EQ(verdict.accepted, c.accepted) << c.name;
        EXPECT_EQ(verdict.nt, c.nt) << c.name;
    }
}

TEST(WindowsVersionDecision, OnlyNtFiveAsksForTheEdition) {
    EXPECT_TRUE(NeedsEdition({2, 5, 0}));
    EXPECT_TRUE(NeedsEdition({2, 5, 2}));
    EXPECT_FALSE(NeedsEdition({2, 4, 0}));
    EXPECT_FALSE(NeedsEdition({2, 6, 0}));
    EXPECT_FALSE(NeedsEdition({1, 5, 0}));
}
