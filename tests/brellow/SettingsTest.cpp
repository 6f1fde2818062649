#include "Settings.h"

#include "EngineHarness.h"

#include <gtest/gtest.h>

using brellow::BufferSizeFor;
using brellow::LoadSettings;
using brellow::Settings;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t KiB = 1024;

void SetDword(HKEY key, const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
}

}  // namespace

TEST(BufferSize, RatioOfTheFileBetweenMinimumAndMaximum) {
    const Settings defaults;
    // 30 % of 256 MiB is 76.8 MiB, rounded up to whole 64 KiB.
    EXPECT_EQ(BufferSizeFor(defaults, 256 * MiB), (256 * MiB * 30 / 100 + 64 * KiB - 1) / (64 * KiB) * (64 * KiB));
    // Below the minimum: the minimum.
    EXPECT_EQ(BufferSizeFor(defaults, 50 * MiB), 30 * MiB);
    // Far above: the maximum.
    EXPECT_EQ(BufferSizeFor(defaults, 100000 * MiB), 1700 * MiB);
    // Never more than the file needs, never less than 64 KiB.
    EXPECT_EQ(BufferSizeFor(defaults, 10 * MiB), 10 * MiB);
    EXPECT_EQ(BufferSizeFor(defaults, 1), 64 * KiB);
    EXPECT_EQ(BufferSizeFor(defaults, 0), 64 * KiB);
    EXPECT_EQ(BufferSizeFor(defaults, 64 * KiB + 1), 128 * KiB);
}

TEST(BufferSize, ExpansionOffKeepsTheMinimum) {
    Settings s;
    s.expand = false;
    EXPECT_EQ(BufferSizeFor(s, 100000 * MiB), 30 * MiB);
    s.bmin = 2;
    EXPECT_EQ(BufferSizeFor(s, 256 * MiB), 2 * MiB);
}

TEST(BufferSize, NonsenseValuesAreTamed) {
    Settings s;
    s.bmin = -5;  // counts as 1 MB
    s.bmax = 0;   // below the minimum: the minimum
    EXPECT_EQ(BufferSizeFor(s, 1000 * MiB), 1 * MiB);
    s.bmin = 40;
    s.bmax = 20;
    EXPECT_EQ(BufferSizeFor(s, 1000 * MiB), 40 * MiB);
    s.bmin = 1;
    s.bmax = 1700;
    s.bratio = 250;  // clamped to 100 %
    EXPECT_EQ(BufferSizeFor(s, 100 * MiB), 100 * MiB);
    s.bratio = -3;  // clamped to 0 %: the minimum
    EXPECT_EQ(BufferSizeFor(s, 100 * MiB), 1 * MiB);
    // No overflow for the largest sizes.
    s.bratio = 100;
    EXPECT_EQ(BufferSizeFor(s, ~std::uint64_t(0) - 1000), 1700 * MiB);
}

// The settings key in one registry view of HKLM\Software, created when absent.
HKEY CreateInit(REGSAM view, const wchar_t* path = L"Software\\Halvorin\\Brellow\\init") {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { enginetest::ClearSettings(); }
    void TearDown() override { enginetest::ClearSettings(); }
};

TEST_F(SettingsStore, DefaultsWithoutTheKey) {
    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 1700);
    EXPECT_EQ(s.bratio, 30);
    EXPECT_EQ(s.bmin, 30);
    EXPECT_TRUE(s.writeCache);
    EXPECT_TRUE(s.expand);
}

TEST_F(SettingsStore, ReadsTheFiveValuesWhereTheSettingsProgramWritesThem) {
    HKEY key = CreateInit(KEY_WOW64_32KEY, L"software\\Halvorin\\Brellow\\init\\");
    ASSERT_NE(key, nullptr);
    SetDword(key, L"bmax", 500);
    SetDword(key, L"bratio", 0xFFFFFFFF);
    SetDword(key, L"bmin", 4);
    SetDword(key, L"wcache", 0);
    SetDword(key, L"expand", 5);
    RegCloseKey(key);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 500);
    EXPECT_EQ(s.bratio, -1);
    EXPECT_EQ(s.bmin, 4);
    EXPECT_FALSE(s.writeCache);
    EXPECT_TRUE(s.expand);
}

TEST_F(SettingsStore, WronglyTypedValuesKeepTheirDefaults) {
    HKEY key = CreateInit(KEY_WOW64_32KEY);
    ASSERT_NE(key, nullptr);
    const wchar_t text[] = L"7";
    ASSERT_EQ(RegSetValueExW(key, L"bmax", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
              ERROR_SUCCESS);
    const ULONGLONG big = 12;
    ASSERT_EQ(RegSetValueExW(key, L"bmin", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&big), sizeof(big)),
              ERROR_SUCCESS);
    SetDword(key, L"bratio", 55);
    RegCloseKey(key);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 1700);
    EXPECT_EQ(s.bmin, 30);
    EXPECT_EQ(s.bratio, 55);
}

// The 32-bit settings program writes the 32-bit view on 64-bit Windows; an
// engine of either bitness must read that view, and never a stale copy in the
// 64-bit one. On 32-bit Windows the two opens below reach the same key.
TEST_F(SettingsStore, ReadsTheThirtyTwoBitViewWhateverItsOwnBitness) {
    HKEY native = CreateInit(KEY_WOW64_64KEY);
    ASSERT_NE(native, nullptr);
    SetDword(native, L"bmax", 111);
    SetDword(native, L"bmin", 11);
    RegCloseKey(native);
    HKEY wow = CreateInit(KEY_WOW64_32KEY);
    ASSERT_NE(wow, nullptr);
    SetDword(wow, L"bmax", 222);
    RegCloseKey(wow);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 222);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const bool oneView = sizeof(void*) == 4 && !wow64;  // 32-bit Windows
    if (oneView)
        EXPECT_EQ(s.bmin, 11);
    else
        EXPECT_EQ(s.bmin, 30) << "a value only in the 64-bit view is not the settings program's";
}

TEST(RequestSize, CappedAtOneMebibyteWhileTheWriteCacheIsOn) {
    Settings s;
    EXPECT_EQ(brellow::RequestSizeFor(s, 256 * MiB), 1 * MiB);
    EXPECT_EQ(brellow::RequestSizeFor(s, 100 * KiB), 128 * KiB);
    s.writeCache = false;
    EXPECT_EQ(brellow::RequestSizeFor(s, 256 * MiB), BufferSizeFor(s, 256 * MiB));
    EXPECT_EQ(brellow::RequestSizeFor(s, 100 * KiB), 128 * KiB);
}
