// The settings store in-process, against Wine's registry: a scratch key
// under HKCU stands in for HKLM, a plain object for the window.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppText.h"
#include "Exception.h"
#include "Registry.h"
#include "SettingsStore.h"
#include "StrToInt.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"

namespace brell {
namespace {

using brelltest::Utf8;
using Value = brelltest::RegValue;

const wchar_t kScratch[] = L"Software\\BrellcfgStoreTest";
const wchar_t kSettingsPath[] = L"\\software\\Halvorin\\Brellow\\init\\";
const wchar_t kSettingsKey[] = L"software\\Halvorin\\Brellow\\init";

struct Fields : SettingsFields {
    std::wstring text[3] = {L"1700", L"30", L"30"};
    bool check[2] = {true, true};
    std::wstring FieldText(NumberField f) const override { return text[static_cast<int>(f)]; }
    void SetFieldText(NumberField f, const std::wstring& t) override { text[static_cast<int>(f)] = t; }
    bool Checked(SwitchField f) const override { return check[static_cast<int>(f)]; }
    void SetChecked(SwitchField f, bool c) override { check[static_cast<int>(f)] = c; }
};

Value Dword(uint32_t v) { return brelltest::DwordValue(v); }

void ExpectFields(const Fields& fields, const wchar_t* max, const wchar_t* ratio, const wchar_t* min, bool writeCache,
                  bool expand) {
    EXPECT_EQ(max, fields.text[0]);
    EXPECT_EQ(ratio, fields.text[1]);
    EXPECT_EQ(min, fields.text[2]);
    EXPECT_EQ(writeCache, fields.check[0]);
    EXPECT_EQ(expand, fields.check[1]);
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

    SettingsLocation Where() const {
        return {scratch_.handle(), L"HKEY_CURRENT_USER\\Software\\BrellcfgStoreTest", kSettingsPath};
    }

    void Put(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, brelltest::WriteValue(scratch_.handle(), kSettingsKey, name, type, data, size));
    }
    void PutDword(const wchar_t* name, uint32_t v) { Put(name, REG_DWORD, &v, 4); }
    void PutString(const wchar_t* name, const std::wstring& s) {
        Put(name, REG_SZ, s.c_str(), static_cast<DWORD>((s.size() + 1) * sizeof(wchar_t)));
    }

    // Every value of the settings key; nullopt when the key does not exist.
    std::optional<brelltest::RegValues> Stored() const { return brelltest::ReadValues(scratch_.handle(), kSettingsKey); }

    std::wstring LoadError(Fields& fields) {
        try {
            LoadSettings(fields, reg_, Where());
        } catch (const Exception& e) {
            return e.Message();
        }
        return L"";
    }
    std::wstring SaveError(const Fields& fields) {
        try {
            SaveSettings(fields, reg_, Where());
        } catch (const Exception& e) {
            return e.Message();
        }
        return L"";
    }

    brelltest::ScratchKey scratch_{HKEY_CURRENT_USER, kScratch};
    std::unique_ptr<TRegistry> reg_;
};

TEST(StrToIntTest, AcceptsDecimalAndHexadecimalForms) {
    const std::pair<const wchar_t*, int32_t> accepted[] = {
        {L"0", 0}, {L" 42", 42}, {L"   42", 42}, {L"+7", 7}, {L"-0", 0}, {L"007", 7}, {L"$10", 16},
        {L"x10", 16}, {L"X10", 16}, {L"0x10", 16}, {L"0X10", 16}, {L"-$10", -16}, {L"$FFFFFFFF", -1},
        {L"$ffffffff", -1}, {L"$80000000", INT32_MIN}, {L"-$80000000", INT32_MIN}, {L"-$FFFFFFFF", 1},
        {L"2147483647", INT32_MAX}, {L"-2147483648", INT32_MIN}, {L"$000000010", 16},
        {L"00000000002147483647", INT32_MAX}, {L"+0x7fffffff", INT32_MAX}, {L" -x1", -1},
    };
    for (const auto& [text, value] : accepted) {
        const std::optional<int32_t> got = TryStrToInt(text);
        ASSERT_TRUE(got.has_value()) << "rejected \"" << Utf8(text) << "\"";
        EXPECT_EQ(value, *got) << Utf8(text);
    }
}

TEST(StrToIntTest, RejectsEverythingElseWithTheWholeTextInTheMessage) {
    const wchar_t* rejected[] = {
        L"42 ", L"2147483648", L"-2147483649", L"1e3", L"1,700", L"1.5", L"- 5", L"+-5", L"--5", L"$", L"0x",
        L"x", L"-", L"+", L"$100000000", L"\t5", L"", L" ", L"   ", L"0x$10", L"$-10", L"12a", L"abc",
        L"\x0661\x0662",  // Arabic-Indic digits are not digits here
        L"\xFF11",        // nor are full-width ones
        L"99999999999999999999", L"0x1g", L"1 2",
    };
    for (const wchar_t* text : rejected) {
        EXPECT_FALSE(TryStrToInt(text).has_value()) << "accepted \"" << Utf8(text) << "\"";
        try {
            StrToInt(text);
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(std::wstring(L"''") + text + L"'' is not a valid integer value", e.Message());
        }
    }
}

TEST(StrToIntTest, IntToStrWritesWhatStrToIntReadsBack) {
    EXPECT_EQ(L"0", IntToStr(0));
    EXPECT_EQ(L"4294967295", IntToStr(0xFFFFFFFFll));
    EXPECT_EQ(L"-9223372036854775808", IntToStr(INT64_MIN));
    EXPECT_EQ(L"9223372036854775807", IntToStr(INT64_MAX));
    for (int32_t v : {INT32_MIN, INT32_MIN + 1, -1700, -10, -9, -1, 1, 9, 10, 99, 100, 1700, INT32_MAX - 1, INT32_MAX}) {
        const std::wstring text = IntToStr(v);
        EXPECT_NE(L'0', text[text[0] == L'-' ? 1 : 0]) << Utf8(text);
        EXPECT_EQ(v, TryStrToInt(text)) << Utf8(text);
    }
}

TEST(AppTextTest, TitleIsTheFileNameCutAtTheFirstDot) {
    const std::pair<const wchar_t*, const wchar_t*> titles[] = {
        {L"C:\\Program Files\\Brellow\\Brellcfg.exe", L"Brellcfg"},
        {L"C:\\x.y\\MY.SETTINGS.EXE", L"My"},
        {L"BRELLCFG", L"Brellcfg"},
        {L"c:\\bRELL.exe", L"brell"},  // the first character is kept as it is
        {L"C:\\\xC4NDERUNG.exe", L"\xC4nderung"},
    };
    for (const auto& [path, title] : titles) EXPECT_EQ(title, ApplicationTitle(path)) << Utf8(path);
}

TEST(AppTextTest, PeriodIsAddedOnlyAfterCharactersAboveTheDot) {
    const std::pair<const wchar_t*, const wchar_t*> messages[] = {
        {L"''x'' is not a valid integer value", L"''x'' is not a valid integer value."},
        {L"Invalid data type for 'bmax'", L"Invalid data type for 'bmax'"},
        {L"done.", L"done."},
        {L"a ", L"a "},
        {L"a-", L"a-"},    // U+002D
        {L"a)", L"a)"},    // U+0029
        {L"a/", L"a/."},   // U+002F
        {L"a0", L"a0."},
        {L"", L""},
    };
    for (const auto& [message, shown] : messages) EXPECT_EQ(shown, MessageWithPeriod(message)) << Utf8(message);
}

TEST_F(StoreTest, LoadWithoutKeyCreatesItEmptyAndKeepsTheFields) {
    Fields fields;
    fields.text[1] = L"55";
    EXPECT_EQ(L"", LoadError(fields));
    EXPECT_EQ(L"55", fields.text[1]);
    const auto stored = Stored();
    ASSERT_TRUE(stored.has_value()) << "the load did not create the settings key";
    EXPECT_TRUE(stored->empty());
    EXPECT_EQ(nullptr, reg_) << "the accessor outlived the load";
}

TEST_F(StoreTest, LoadFormatsNumbersAndReadsAnyNonZeroAsOn) {
    PutDword(L"bmax", 2048);
    PutDword(L"bratio", 0x80000000u);
    PutDword(L"bmin", 0xFFFFFFFFu);
    PutDword(L"wcache", 5);
    PutDword(L"expand", 0);
    Fields fields;
    EXPECT_EQ(L"", LoadError(fields));
    ExpectFields(fields, L"2048", L"-2147483648", L"-1", true, false);

    // wcache 5 shown checked is saved back as exactly 1.
    EXPECT_EQ(L"", SaveError(fields));
    EXPECT_EQ(Dword(1), Stored()->at(L"wcache"));
    EXPECT_EQ(Dword(0), Stored()->at(L"expand"));
    EXPECT_EQ(Dword(0xFFFFFFFFu), Stored()->at(L"bmin"));
}

TEST_F(StoreTest, MissingValuesLeaveTheirFieldsAlone) {
    PutDword(L"bmax", 100);
    PutDword(L"expand", 0);
    Fields fields;
    fields.text[1] = L"55";
    fields.text[2] = L"typed";
    fields.check[0] = false;
    EXPECT_EQ(L"", LoadError(fields));
    ExpectFields(fields, L"100", L"55", L"typed", false, false);
}

TEST_F(StoreTest, WrongTypesStopTheLoadAtThatValue) {
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        const wchar_t* message;
    };
    const Case cases[] = {
        {REG_SZ, {'7', 0, 0, 0}, L"Invalid data type for 'bratio'"},
        {REG_SZ, {0, 0}, L"Invalid data type for 'bratio'"},
        {REG_EXPAND_SZ, {'7', 0, 0, 0}, L"Invalid data type for 'bratio'"},
        {REG_BINARY, {1, 2, 3, 4}, L"Invalid data type for 'bratio'"},
        {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 5}, L"Invalid data type for 'bratio'"},
        {REG_NONE, {}, L"Invalid data type for 'bratio'"},
        {REG_SZ, {'1', 0, '7', 0, '0', 0, '0', 0, 0, 0}, L"Failed to get data for 'bratio'"},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L"Failed to get data for 'bratio'"},
        {REG_BINARY, {1, 2, 3, 4, 5}, L"Failed to get data for 'bratio'"},
        {REG_DWORD, {1, 2, 3, 4, 5}, L"Failed to get data for 'bratio'"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(scratch_.Reset());
        PutDword(L"bmax", 99);
        Put(L"bratio", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        PutDword(L"bmin", 12);
        PutDword(L"wcache", 0);
        PutDword(L"expand", 0);
        Fields fields;
        EXPECT_EQ(c.message, LoadError(fields)) << "type " << c.type << " size " << c.data.size();
        ExpectFields(fields, L"99", L"30", L"30", true, true);
        EXPECT_EQ(nullptr, reg_) << "the accessor outlived a failed load";
    }
}

TEST_F(StoreTest, ShortDwordReadsZeroExtended) {
    const BYTE two[] = {0x34, 0x12};
    Put(L"bmax", REG_DWORD, two, 2);
    const BYTE one[] = {0xFF};
    Put(L"bmin", REG_DWORD, one, 1);
    Put(L"wcache", REG_DWORD, nullptr, 0);
    for (int round = 0; round < 3; ++round) {
        Fields fields;
        fields.text[0] = L"x";
        EXPECT_EQ(L"", LoadError(fields));
        EXPECT_EQ(L"4660", fields.text[0]);
        EXPECT_EQ(L"255", fields.text[2]);
        EXPECT_FALSE(fields.check[0]);
    }
}

TEST_F(StoreTest, SaveWritesFiveDwordsFromTheConvertedTexts) {
    Fields fields;
    fields.text[0] = L" 42";
    fields.text[1] = L"$FFFFFFFF";
    fields.text[2] = L"-0x10";
    fields.check[0] = false;
    EXPECT_EQ(L"", SaveError(fields));
    const std::map<std::wstring, Value> expected = {
        {L"bmax", Dword(42)}, {L"bratio", Dword(0xFFFFFFFFu)}, {L"bmin", Dword(static_cast<uint32_t>(-16))},
        {L"wcache", Dword(0)}, {L"expand", Dword(1)},
    };
    EXPECT_EQ(expected, *Stored());
    EXPECT_EQ(nullptr, reg_);
}

TEST_F(StoreTest, SaveStopsAtTheFirstBadFieldAndKeepsWhatItWrote) {
    PutDword(L"bmax", 1);
    PutDword(L"bratio", 2);
    PutDword(L"bmin", 3);
    PutDword(L"wcache", 4);
    PutString(L"expand", L"old");
    Fields fields;
    fields.text[0] = L"2000";
    fields.text[1] = L"abc";
    fields.text[2] = L"x";  // also bad, but never reached
    fields.check[0] = false;
    EXPECT_EQ(L"''abc'' is not a valid integer value", SaveError(fields));
    const auto stored = *Stored();
    EXPECT_EQ(Dword(2000), stored.at(L"bmax"));
    EXPECT_EQ(Dword(2), stored.at(L"bratio"));
    EXPECT_EQ(Dword(3), stored.at(L"bmin"));
    EXPECT_EQ(Dword(4), stored.at(L"wcache"));
    EXPECT_EQ(REG_SZ, stored.at(L"expand").type);
    EXPECT_EQ(nullptr, reg_) << "the accessor outlived a failed save";

    fields.text[1] = L"";
    EXPECT_EQ(L"'''' is not a valid integer value", SaveError(fields));
}

TEST_F(StoreTest, SaveToAKeyThatCannotBeOpenedSaysSoAndWritesNothing) {
    // A root key deleted under its open handle cannot take a subkey.
    HKEY gone;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(scratch_.handle(), L"gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &gone, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(scratch_.handle(), L"gone"));
    const SettingsLocation where = {gone, L"HKEY_CURRENT_USER\\Software\\BrellcfgStoreTest\\gone", kSettingsPath};
    HKEY probe;
    const LONG status =
        RegCreateKeyExW(gone, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &probe, nullptr);
    ASSERT_NE(ERROR_SUCCESS, status) << "the deleted key still takes subkeys";

    Fields fields;
    fields.text[0] = L"5";
    LoadSettings(fields, reg_, where);  // silent
    EXPECT_EQ(L"5", fields.text[0]);
    EXPECT_EQ(nullptr, reg_);

    std::wstring message;
    try {
        SaveSettings(fields, reg_, where);
    } catch (const Exception& e) {
        message = e.Message();
    }
    EXPECT_NE(std::wstring::npos,
              message.find(L"'HKEY_CURRENT_USER\\Software\\BrellcfgStoreTest\\gone\\software\\Halvorin\\Brellow\\init'"))
        << Utf8(message);
    const std::wstring reason = SystemErrorMessage(static_cast<DWORD>(status));
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(std::wstring::npos, message.find(reason)) << Utf8(message);
    EXPECT_EQ(nullptr, reg_);
    RegCloseKey(gone);
}

#ifdef _WIN64
TEST_F(StoreTest, MachineKeyLiesInTheProcessOwnRegistryView) {
    // KEY_ALL_ACCESS and no view flag: a 64-bit process writes the 64-bit
    // view, nothing lands under WOW6432Node.
    brelltest::ForgetProduct();
    Fields fields;
    SaveSettings(fields, reg_, MachineSettings());
    DWORD value = 0;
    EXPECT_TRUE(brelltest::ReadDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"bmax", &value, KEY_WOW64_64KEY));
    EXPECT_EQ(1700u, value);
    EXPECT_FALSE(brelltest::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Halvorin"));
    brelltest::ForgetProduct();
}
#endif

}  // namespace
}  // namespace brell
