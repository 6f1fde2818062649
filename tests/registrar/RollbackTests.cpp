// Rollback of a failing root block, and registry failures Wine can produce.
#include "ScratchTest.h"

class Rollback : public ScratchTest {};

TEST_F(Rollback, FailingSecondRootBlockIsTakenBackAndTheFirstStays) {
    const std::wstring script =
        Block(L"First = s 1") + Block(L"Second = s 2 { Deep { val v = s 3 } } Bad = x 4");
    EXPECT_HR(DISP_E_EXCEPTION, Run(script, true));
    EXPECT_EQ(L"[]\n[First]\n@=sz:\"1\"\n", Tree());
}

TEST_F(Rollback, RollbackAlsoRemovesListedKeysThatExistedBefore) {
    ASSERT_TRUE(PutString(L"Existing", L"v", L"old"));
    ASSERT_TRUE(PutString(L"Guarded", L"v", L"old"));
    EXPECT_HR(E_FAIL, Register(L"Existing NoRemove Guarded { val w = s 1 } Bad = b 123"));
    EXPECT_EQ(L"[]\n[Guarded]\nv=sz:\"old\"\n", Tree());
}

TEST_F(Rollback, BlockThatCannotBeReadToItsEndWritesNothing) {
    ASSERT_TRUE(MakeKey(L"Existing"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"New { Deeper = s 1 } Existing { Bad\\Name }"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"New { Deeper = s '" + std::wstring(5000, L'x') + L"' }"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"New { Deeper = s 'unterminated }"));
    EXPECT_EQ(L"[]\n[Existing]\n", Tree());
}

TEST_F(Rollback, KeyThatCannotBeCreatedFailsWithItsWin32Status) {
    // Wine refuses lasting subkeys below a volatile key
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Path(L"Volatile").c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE),
              Register(L"Before = s 1 NoRemove Volatile { Child = s 2 }"));
    EXPECT_EQ(L"[]\n[Volatile]\n", Tree());
}

TEST_F(Rollback, ReadOnlyRootsReportWriteFailures) {
    const HRESULT hr = Run(L"HKEY_PERFORMANCE_DATA { BrellTestKey = s 1 }", true);
    EXPECT_TRUE(FAILED(hr)) << HResultText(hr);
    EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32) << HResultText(hr);
}

TEST_F(Rollback, KeyThatCannotBeOpenedStopsUnregistration) {
    // Wine answers every open below HKEY_PERFORMANCE_DATA with ERROR_INVALID_HANDLE
    ASSERT_HR(S_OK, Register(L"Before After"));
    const std::wstring script = Block(L"Before") + L"HKPD { X { val v = s 1 } Y }\r\n" +
                                Block(L"After");
    const HRESULT hr = Run(script, false);
    EXPECT_TRUE(FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32 && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << HResultText(hr);
    // the block before ran, the one after did not
    EXPECT_EQ(L"[]\n[After]\n", Tree());
}
