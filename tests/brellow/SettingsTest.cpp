#include "Settings.h"

#include "EngineHarness.h"

#include <gtest/gtest.h>

using brellow::BufferSizeFor;
using brellow::LoadSettings;
using brellow::Settings;
using namespace brelltest;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t KiB = 1024;

// A value of the settings key in one registry view of HKLM\Software.
void SetDword(REGSAM view, const wchar_t* name, DWORD value, const wchar_t* key = kSettingsKey) {
    ASSERT_EQ(WriteDword(HKEY_LOCAL_MACHINE, key, name, value, view), ERROR_SUCCESS);
}

}  // namespace

// The buffer for a file: its ratio of the file, rounded up to whole 64 KiB,
// between the minimum and the maximum, never more than the file needs nor
// less than 64 KiB; and whatever the settings say, no nonsense comes out.
TEST(BufferSize, RatioOfTheFileBetweenMinimumAndMaximumWhateverTheSettings) {
    Settings noExpansion;
    noExpansion.expand = false;
    Settings noExpansionSmall = noExpansion;
    noExpansionSmall.bmin = 2;
    const auto with = [](int bmin, int bmax, int bratio) {
        Settings s;
        s.bmin = bmin;
        s.bmax = bmax;
        s.bratio = bratio;
        return s;
    };
    const struct {
        const char* what;
        Settings settings;
        std::uint64_t fileSize;
        std::uint64_t expected;
    } cases[] = {
        // 30 % of 256 MiB is 76.8 MiB, rounded up to whole 64 KiB.
        {"the ratio", Settings(), 256 * MiB, (256 * MiB * 30 / 100 + 64 * KiB - 1) / (64 * KiB) * (64 * KiB)},
        {"below the minimum: the minimum", Settings(), 50 * MiB, 30 * MiB},
        {"far above: the maximum", Settings(), 100000 * MiB, 1700 * MiB},
        {"no more than the file needs", Settings(), 10 * MiB, 10 * MiB},
        {"no less than 64 KiB", Settings(), 1, 64 * KiB},
        {"an empty file", Settings(), 0, 64 * KiB},
        {"whole 64 KiB", Settings(), 64 * KiB + 1, 128 * KiB},
        {"expansion off keeps the minimum", noExpansion, 100000 * MiB, 30 * MiB},
        {"expansion off, a smaller minimum", noExpansionSmall, 256 * MiB, 2 * MiB},
        {"a minimum below 1 counts as 1 MB, a maximum below it is the minimum", with(-5, 0, 30), 1000 * MiB, 1 * MiB},
        {"a maximum below the minimum", with(40, 20, 30), 1000 * MiB, 40 * MiB},
        {"a ratio above 100 % is 100 %", with(1, 1700, 250), 100 * MiB, 100 * MiB},
        {"a ratio below 0 % is 0 %: the minimum", with(1, 1700, -3), 100 * MiB, 1 * MiB},
        {"no overflow for the largest sizes", with(1, 1700, 100), ~std::uint64_t(0) - 1000, 1700 * MiB},
    };
    for (const auto& c : cases) EXPECT_EQ(BufferSizeFor(c.settings, c.fileSize), c.expected) << c.what;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { ForgetProduct(); }
    void TearDown() override { ForgetProduct(); }
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
    const wchar_t* asWritten = L"software\\Halvorin\\Brellow\\init\\";
    SetDword(KEY_WOW64_32KEY, L"bmax", 500, asWritten);
    SetDword(KEY_WOW64_32KEY, L"bratio", 0xFFFFFFFF, asWritten);
    SetDword(KEY_WOW64_32KEY, L"bmin", 4, asWritten);
    SetDword(KEY_WOW64_32KEY, L"wcache", 0, asWritten);
    SetDword(KEY_WOW64_32KEY, L"expand", 5, asWritten);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 500);
    EXPECT_EQ(s.bratio, -1);
    EXPECT_EQ(s.bmin, 4);
    EXPECT_FALSE(s.writeCache);
    EXPECT_TRUE(s.expand);
}

TEST_F(SettingsStore, WronglyTypedValuesKeepTheirDefaults) {
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmax", L"7", KEY_WOW64_32KEY), ERROR_SUCCESS);
    const ULONGLONG big = 12;
    ASSERT_EQ(WriteValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmin", REG_QWORD, &big, sizeof(big), KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    SetDword(KEY_WOW64_32KEY, L"bratio", 55);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 1700);
    EXPECT_EQ(s.bmin, 30);
    EXPECT_EQ(s.bratio, 55);
}

// The 32-bit settings program writes the 32-bit view on 64-bit Windows; an
// engine of either bitness must read that view, and never a stale copy in the
// 64-bit one. On 32-bit Windows the two opens below reach the same key.
TEST_F(SettingsStore, ReadsTheThirtyTwoBitViewWhateverItsOwnBitness) {
    SetDword(KEY_WOW64_64KEY, L"bmax", 111);
    SetDword(KEY_WOW64_64KEY, L"bmin", 11);
    SetDword(KEY_WOW64_32KEY, L"bmax", 222);

    const Settings s = LoadSettings();
    EXPECT_EQ(s.bmax, 222);
    if (!SixtyFourBitWindows())
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
