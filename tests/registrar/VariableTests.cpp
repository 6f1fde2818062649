// Replacement variables: lookup rules, name limits, and failures that must
// stop a run before the registry is touched.
#include "ScratchTest.h"

TEST(Registrar, IUnknownSlotsCountNothingAndRefuseInterfaces) {
    CRegObject registrar;
    void* sentinel = &registrar;
    void* out = sentinel;
    EXPECT_HR(E_NOTIMPL, registrar.QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(sentinel, out);
    EXPECT_EQ(1u, registrar.AddRef());
    EXPECT_EQ(0u, registrar.Release());
    EXPECT_EQ(0u, registrar.Release());
}

TEST(Registrar, AddVariableRefusesNullsAndClearForgetsEverything) {
    CRegObject registrar;
    EXPECT_HR(E_INVALIDARG, registrar.AddVariable(nullptr, L"v"));
    EXPECT_HR(E_INVALIDARG, registrar.AddVariable(L"n", nullptr));
    EXPECT_EQ(nullptr, registrar.FindReplacement(L"n"));
    ASSERT_HR(S_OK, registrar.AddVariable(L"n", L"v"));
    EXPECT_STREQ(L"v", registrar.FindReplacement(L"N"));
    EXPECT_HR(S_OK, registrar.ClearVariables());
    EXPECT_EQ(nullptr, registrar.FindReplacement(L"n"));
}

TEST(Registrar, VariablesAreCopiesAndTheFirstOfEqualNamesWins) {
    CRegObject registrar;
    wchar_t name[] = L"Module";
    wchar_t value[] = L"first";
    ASSERT_HR(S_OK, registrar.AddVariable(name, value));
    name[0] = L'X';
    value[0] = L'X';
    ASSERT_HR(S_OK, registrar.AddVariable(L"MODULE", L"second"));
    for (int i = 0; i < 100; ++i) ASSERT_HR(S_OK, registrar.AddVariable(L"other", L"x"));
    EXPECT_STREQ(L"first", registrar.FindReplacement(L"module"));
    EXPECT_EQ(L"a first b", Preprocess(registrar, L"a %MoDuLe% b"));
}

TEST(Preprocessing, SubstitutesEverywhereAndDoublePercentIsOnePercent) {
    CRegObject registrar;
    ASSERT_HR(S_OK, registrar.AddVariable(L"V", L"it''s %V% HKCR"));
    EXPECT_EQ(L"%'it''s %V% HKCR'%x%%", Preprocess(registrar, L"%%'%v%'%%x%%%%"));
    EXPECT_EQ(L"", Preprocess(registrar, L""));
}

TEST(Preprocessing, NameLimitsAndUnknownNames) {
    CRegObject registrar;
    const std::wstring name31(31, L'n');
    const std::wstring name32(32, L'n');
    ASSERT_HR(S_OK, registrar.AddVariable(name31.c_str(), L"ok"));
    ASSERT_HR(S_OK, registrar.AddVariable(name32.c_str(), L"never"));
    EXPECT_EQ(L"[ok]", Preprocess(registrar, L"[%" + name31 + L"%]"));
    EXPECT_EQ(L"hr=0x80004005", Preprocess(registrar, L"[%" + name32 + L"%]"));
    EXPECT_EQ(L"hr=0x80020009", Preprocess(registrar, L"[%missing%]"));
    EXPECT_EQ(L"hr=0x80020009", Preprocess(registrar, L"[%ok"));
    EXPECT_EQ(L"hr=0x80020009", Preprocess(registrar, L"50%"));
}

TEST(Preprocessing, NullArgumentsGivePointerErrors) {
    CRegObject registrar;
    CRegScriptParser parser(&registrar);
    wchar_t* out = reinterpret_cast<wchar_t*>(1);
    EXPECT_HR(E_POINTER, parser.PreprocessScript(nullptr, &out));
    EXPECT_HR(E_POINTER, parser.PreprocessScript(L"x", nullptr));
    EXPECT_HR(E_POINTER, registrar.RunScript(nullptr, TRUE));
}

TEST(Preprocessing, LongTextGrowsTheBufferIntact) {
    CRegObject registrar;
    ASSERT_HR(S_OK, registrar.AddVariable(L"big", std::wstring(5000, L'b').c_str()));
    std::wstring text;
    std::wstring expected;
    for (int i = 0; i < 50; ++i) {
        text += L"x%big%";
        expected += L"x" + std::wstring(5000, L'b');
    }
    EXPECT_EQ(expected, Preprocess(registrar, text));
}

class VariableScripts : public ScratchTest {};

TEST_F(VariableScripts, ValuesAreSubstitutedIntoKeysAndData) {
    variables_ = {{L"Module", L"C:\\It''s here\\a.dll"}, {L"APPID", L"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}"}};
    ASSERT_HR(S_OK, Register(L"'%appid%' = s '%MODULE%' { val AppID = s '%APPID%%%' }"));
    EXPECT_EQ(L"[]\n"
              L"[{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}]\n"
              L"@=sz:\"C:\\It's here\\a.dll\"\n"
              L"AppID=sz:\"{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}%\"\n",
              Tree());
}

TEST_F(VariableScripts, UndefinedOrOverlongNamesFailBeforeAnythingIsWritten) {
    ASSERT_TRUE(PutString(L"Kept", L"v", L"1"));
    const std::wstring before = Tree();
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"ForceRemove Kept A = s 'x' B = s '%nothere%'"));
    EXPECT_HR(E_FAIL, Register(L"ForceRemove Kept A = s '%" + std::wstring(32, L'n') + L"%'"));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"Kept A '%nothere%'"));
    EXPECT_EQ(before, Tree());
}
