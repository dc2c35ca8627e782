#include "app/system_info.h"

#include <gtest/gtest.h>

#include "support/fault_platform.h"

namespace {
using testing_support::FaultPlatform;
using testing_support::ScopedPlatform;

TEST(SystemInfo, VistaMeansNtWithMajorVersionSixOrMore) {
    FaultPlatform system;
    ScopedPlatform use(system);
    struct Case {
        bool callSucceeds;
        std::uint32_t platformId;
        std::uint32_t major;
        bool vista;
    };
    for (const Case c : {Case{true, 2, 6, true}, Case{true, 2, 10, true}, Case{true, 2, 5, false},
                         Case{true, 1, 6, false}, Case{false, 2, 6, false}}) {
        system.osVersion = [c](platform::OsVersion& v) {
            v.platformId = c.platformId;
            v.majorVersion = c.major;
            return c.callSucceeds;
        };
        EXPECT_EQ(IsWindowsVista(), c.vista) << c.platformId << " " << c.major;
    }
}

TEST(SystemInfo, KnownFolderPathMustFitItsBuffer) {
    FaultPlatform system;
    ScopedPlatform use(system);
    std::wstring answer;
    system.knownFolderLocalLow = [&answer](std::wstring& path) {
        path = answer;
        return platform::kHresultOk;
    };

    answer = L"C:\\" + std::wstring(platform::kMaxPath - 4, L'x');  // 259 characters
    KnownFolderBuffer buffer{};
    ASSERT_EQ(GetKnownFolderLocalLow(&buffer), platform::kHresultOk);
    EXPECT_EQ(std::wstring(buffer.data()), answer);
    EXPECT_EQ(GetLocalLowFolder(), answer);

    answer += L'y';  // no room left for the terminating zero
    KnownFolderBuffer untouched{};
    EXPECT_EQ(GetKnownFolderLocalLow(&untouched), kHresultInsufficientBuffer);
    EXPECT_EQ(untouched[0], L'\0');
    EXPECT_EQ(GetLocalLowFolder(), L"");
    EXPECT_EQ(GetKnownFolderLocalLow(nullptr), platform::kHresultOk);
}

}  // namespace
