#include <gtest/gtest.h>

#include "platform/posix/posix_paths.h"
#include "support/temp_prefix.h"

namespace {

TEST(PosixPlatform, MapsDrivesAndBackslashesIntoThePrefix) {
    testing_support::TempPrefix prefix;
    const std::string c = prefix.DriveC().string();
    const std::pair<const wchar_t*, std::string> paths[] = {
        {L"C:\\users\\x\\a.txt", c + "/users/x/a.txt"},
        {L"c:", c},
        {L"\\Temp", c + "/Temp"},
        {L"rel\\dir", "rel/dir"},
        {L"/tmp/host", "/tmp/host"},
        {L"D:\\x", prefix.Root().string() + "/dosdevices/d:/x"}};
    for (const auto& [windows, host] : paths) {
        EXPECT_EQ(platform::posix::MapToHostPath(windows), host);
    }
}

}  // namespace
