// Scripts loaded from "REGISTRY" resources of a module file and decoded in
// the thread's ANSI code page.
#include "ScratchTest.h"
#include "support/Folders.h"

namespace {

const wchar_t kResourceKey[] = L"Software\\BrellTest\\Resource";

class ResourceScripts : public ::testing::Test {
protected:
    void SetUp() override { DeleteTree(HKEY_CURRENT_USER, kResourceKey); }
    void TearDown() override {
        SetThreadLocale(savedLocale_);
        DeleteTree(HKEY_CURRENT_USER, kResourceKey);
    }

    HRESULT RunResource(UINT id, bool doRegister) {
        CRegObject registrar;
        registrar.AddVariable(L"Module", L"C:\\It''s.dll");
        return registrar.RunResourceScript(ProgramFile().c_str(), id, doRegister ? TRUE : FALSE);
    }
    std::wstring Tree() const { return DumpTree(HKEY_CURRENT_USER, kResourceKey); }

    LCID savedLocale_ = GetThreadLocale();
};

}  // namespace

TEST_F(ResourceScripts, SmallScriptRegistersAndUnregisters) {
    ASSERT_HR(S_OK, RunResource(1, true));
    EXPECT_EQ(L"[]\n[Simple]\n@=sz:\"C:\\It's.dll\"\n", Tree());
    ASSERT_HR(S_OK, RunResource(1, false));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(ResourceScripts, ScriptLongerThanTheFrameBufferIsReadWhole) {
    ASSERT_HR(S_OK, RunResource(2, true));
    std::wstring expected = L"[]\n";
    for (int i = 0; i < 40; ++i) {
        wchar_t line[64];
        swprintf(line, 64, L"[Key%02d]\n@=sz:\"value number %d\"\n", i, i);
        expected += line;
    }
    EXPECT_EQ(expected, Tree());
}

TEST_F(ResourceScripts, ScriptStoredUnderAnotherLanguageIsFound) {
    ASSERT_HR(S_OK, RunResource(6, true));
    EXPECT_EQ(L"[]\n[Simple]\n@=sz:\"C:\\It's.dll\"\n", Tree());
}

TEST_F(ResourceScripts, EightBitTextFollowsTheThreadCodePage) {
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
    ASSERT_HR(S_OK, RunResource(3, true));
    EXPECT_EQ(L"[]\n[Ansi]\n@=sz:\"\x00E9\x00C4\"\n", Tree());

    // the same bytes in the Cyrillic code page of a Russian thread locale
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT)));
    ASSERT_HR(S_OK, RunResource(3, true));
    EXPECT_EQ(L"[]\n[Ansi]\n@=sz:\"\x0439\x0414\"\n", Tree());
}

TEST_F(ResourceScripts, LoadFailuresGiveTheSystemStatus) {
    CRegObject registrar;
    const HRESULT missing = registrar.RunResourceScript(L"C:\\no\\such\\module.dll", 1, TRUE);
    EXPECT_TRUE(missing == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) || missing == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << HResultText(missing);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), RunResource(99, true));
    // an empty resource cannot be decoded
    EXPECT_HR(E_INVALIDARG, RunResource(4, true));
    EXPECT_EQ(L"<absent>", Tree());
}

TEST_F(ResourceScripts, SyntaxErrorInAResourceWritesNothing) {
    EXPECT_HR(DISP_E_EXCEPTION, RunResource(5, true));
    EXPECT_EQ(L"<absent>", Tree());
}
