#include "Settings.h"

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

class SettingsStore : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin"); }
};

TEST_F(SettingsStore, DefaultsWithoutTheKey) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin");
    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 1700);
    EXPECT_EQ(s.bratio, 30);
    EXPECT_EQ(s.bmin, 30);
    EXPECT_TRUE(s.writeCache);
    EXPECT_TRUE(s.expand);
}

TEST_F(SettingsStore, ReadsTheFiveValuesWhereTheSettingsProgramWritesThem) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"software\\Halvorin\\Brellow\\init\\", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
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
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow\\init", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
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

TEST(RequestSize, CappedAtOneMebibyteWhileTheWriteCacheIsOn) {
    Settings s;
    EXPECT_EQ(brellow::RequestSizeFor(s, 256 * MiB), 1 * MiB);
    EXPECT_EQ(brellow::RequestSizeFor(s, 100 * KiB), 128 * KiB);
    s.writeCache = false;
    EXPECT_EQ(brellow::RequestSizeFor(s, 256 * MiB), BufferSizeFor(s, 256 * MiB));
    EXPECT_EQ(brellow::RequestSizeFor(s, 100 * KiB), 128 * KiB);
}
