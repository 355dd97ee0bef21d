// The functions only later Windows versions have, and XP's way when they are
// missing: VANTREL_WINDOWS_XP_API=1 must take XP's way (the forced runs of the
// suites under Wine rely on it), and the journal's path must come out the
// same either way.
#include "newer_api_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "env.h"
#include "utf16.h"

using namespace vantrel::platform;

namespace {
// Sets VANTREL_WINDOWS_XP_API for the test's length, as it was before
// afterwards.
class XpApi {
public:
    explicit XpApi(bool forced) {
        had_ = GetEnvironmentVariableW(kName, before_, 8) > 0;
        SetEnvironmentVariableW(kName, forced ? L"1" : nullptr);
    }
    ~XpApi() { SetEnvironmentVariableW(kName, had_ ? before_ : nullptr); }

private:
    static constexpr const wchar_t* kName = L"VANTREL_WINDOWS_XP_API";
    wchar_t before_[8] = {};
    bool had_ = false;
};

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(towlower(c));
    return s;
}
}  // namespace

TEST(NewerApi, ForcingXpLooksNoLaterFunctionUp) {
    const auto dir = std::filesystem::temp_directory_path() / "vantrel_newer_api";
    std::filesystem::create_directories(dir);
    const auto file = dir / "a.mdb";
    std::ofstream(file) << "x";
    for (const bool forced : {false, true}) {
        XpApi xp(forced);
        HANDLE h = CreateFileW(file.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        const std::wstring final = FinalPathOf(h);
        CloseHandle(h);
        // Wine, like Vista and later, has final paths.
        EXPECT_EQ(forced, final.empty()) << "forced: " << forced;
    }
    std::filesystem::remove_all(dir);
}

TEST(NewerApi, ResolveGivesTheFullPathWithAndWithoutFinalPaths) {
    const auto dir = std::filesystem::temp_directory_path() / "vantrel_resolve";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Shop.mdb") << "x";
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const std::wstring want = lower((dir / "Shop.mdb").wstring());
    for (const bool forced : {false, true}) {
        XpApi xp(forced);
        for (const char* name : {"Shop.mdb", ".\\Shop.mdb", "..\\vantrel_resolve\\Shop.mdb"})
            EXPECT_EQ(want, lower(Widen(Env::system().resolve(name)))) << name << " forced: " << forced;
    }
    std::filesystem::current_path(before);
    std::filesystem::remove_all(dir);
}
