// Per-user redirection of "HKCR" root blocks to HKCU\Software\Classes.
#include "ScratchTest.h"

#include <objbase.h>

#include "registrar/RegScriptParser.h"

namespace {

std::wstring PreprocessPerUser(const std::wstring& text) {
    CRegObject registrar;
    registrar.AddVariable(L"Q", L"'HKCR { }'");
    CRegScriptParser parser(&registrar);
    wchar_t* out = nullptr;
    g_perUserRegistration = true;
    const HRESULT hr = parser.PreprocessScript(text.c_str(), &out);
    g_perUserRegistration = false;
    if (FAILED(hr)) return L"hr=" + Hr(hr);
    std::wstring result(out);
    CoTaskMemFree(out);
    return result;
}

const std::wstring kOpen = L"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const std::wstring kClose = L"\r\n\t}\r\n}\r\n";

}  // namespace

TEST(PerUserPreprocessing, RewritesHkcrBlocksByteForByte) {
    EXPECT_EQ(kOpen + L"\r\n{\r\n\tA\r\n" + kClose + L"}\r\n", PreprocessPerUser(L"HKCR\r\n{\r\n\tA\r\n}\r\n"));
}

TEST(PerUserPreprocessing, LeavesLongNameSmallLettersAndNestedNamesAlone) {
    EXPECT_EQ(L"HKEY_CLASSES_ROOT { A }", PreprocessPerUser(L"HKEY_CLASSES_ROOT { A }"));
    EXPECT_EQ(L"hkcr { A }", PreprocessPerUser(L"hkcr { A }"));
    EXPECT_EQ(L"HKLM { HKCR { } }", PreprocessPerUser(L"HKLM { HKCR { } }"));
}

TEST(PerUserPreprocessing, BracesInsideQuotesAndInVariablesDoNotCount) {
    EXPECT_EQ(kOpen + L" { A = s 'x}}''{' B { } " + kClose + L"} HKLM { }",
              PreprocessPerUser(L"HKCR { A = s 'x}}''{' B { } } HKLM { }"));
    EXPECT_EQ(kOpen + L" { 'HKCR { }' " + kClose + L"}", PreprocessPerUser(L"HKCR { %Q% }"));
}

TEST(PerUserPreprocessing, EverySecondHkcrBlockIsRewrittenToo) {
    EXPECT_EQ(kOpen + L" { A " + kClose + L"} " + kOpen + L" { B " + kClose + L"}",
              PreprocessPerUser(L"HKCR { A } HKCR { B }"));
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
