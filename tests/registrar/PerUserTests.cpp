// Per-user redirection of "HKCR" root blocks to HKCU\Software\Classes.
#include "ScratchTest.h"

namespace {

std::wstring PreprocessPerUser(const std::wstring& text) {
    CRegObject registrar;
    registrar.AddVariable(L"Q", L"'HKCR { }'");
    g_perUserRegistration = true;
    const std::wstring result = Preprocess(registrar, text);
    g_perUserRegistration = false;
    return result;
}

const std::wstring kOpen = L"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const std::wstring kClose = L"\r\n\t}\r\n}\r\n";

}  // namespace

// Only a root block named exactly HKCR is rewritten, every one of them,
// byte for byte; braces are counted outside quotes and after substitution.
TEST(PerUserPreprocessing, RewritesEveryHkcrRootBlockAndNothingElse) {
    const struct {
        std::wstring script;
        std::wstring expected;
    } cases[] = {
        {L"HKCR\r\n{\r\n\tA\r\n}\r\n", kOpen + L"\r\n{\r\n\tA\r\n" + kClose + L"}\r\n"},
        // the long name, small letters and a nested name stay
        {L"HKEY_CLASSES_ROOT { A }", L"HKEY_CLASSES_ROOT { A }"},
        {L"hkcr { A }", L"hkcr { A }"},
        {L"HKLM { HKCR { } }", L"HKLM { HKCR { } }"},
        // braces inside quotes and in variables do not count
        {L"HKCR { A = s 'x}}''{' B { } } HKLM { }", kOpen + L" { A = s 'x}}''{' B { } " + kClose + L"} HKLM { }"},
        {L"HKCR { %Q% }", kOpen + L" { 'HKCR { }' " + kClose + L"}"},
        // a second block too
        {L"HKCR { A } HKCR { B }", kOpen + L" { A " + kClose + L"} " + kOpen + L" { B " + kClose + L"}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, PreprocessPerUser(c.script)) << Utf8(c.script);
}

TEST(PerUserPreprocessing, OffByDefaultWithoutQuoteTracking) {
    CRegObject registrar;
    CRegScriptParser parser(&registrar);
    wchar_t* out = nullptr;
    ASSERT_HR(S_OK, parser.PreprocessScript(L"HKCR { '' }", &out));
    EXPECT_STREQ(L"HKCR { '' }", out);
    CoTaskMemFree(out);
}

class PerUserScripts : public ScratchTest {
protected:
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellTestPerUser");
        DeleteTree(HKEY_CLASSES_ROOT, L"BrellTestMachine");
        ScratchTest::TearDown();
    }
};

TEST_F(PerUserScripts, HkcrBlockLandsUnderCurrentUserClasses) {
    const std::wstring script =
        L"HKCR\r\n{\r\n\tBrellTestPerUser = s 'a{b}'\r\n\t{\r\n\t\tval V = s '''x'''\r\n\t}\r\n}\r\n"
        L"HKEY_CLASSES_ROOT\r\n{\r\n\tBrellTestMachine\r\n}\r\n";
    const std::wstring classesBefore = SubkeyNames(HKEY_CURRENT_USER, L"Software\\Classes");
    g_perUserRegistration = true;
    ASSERT_HR(S_OK, Run(script, true));
    EXPECT_EQ(L"[]\n@=sz:\"a{b}\"\nV=sz:\"'x'\"\n",
              DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellTestPerUser"));
    EXPECT_EQ(L"[]\n", DumpTree(HKEY_CLASSES_ROOT, L"BrellTestMachine"));

    ASSERT_HR(S_OK, Run(script, false));
    EXPECT_EQ(L"<absent>", DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellTestPerUser"));
    EXPECT_EQ(L"<absent>", DumpTree(HKEY_CLASSES_ROOT, L"BrellTestMachine"));
    // Software and Classes carry no NoRemove but keep their other subkeys
    EXPECT_EQ(classesBefore, SubkeyNames(HKEY_CURRENT_USER, L"Software\\Classes"));
}
