// Keys whose security refuses the walk: unregistration stopped by a key that
// cannot be opened or changed, registration below a read-only key and its
// rollback, and ForceRemove of a tree it cannot delete completely.
#include "ScratchTest.h"
#include "support/KeyDacl.h"

namespace {

const wchar_t kNoAccess[] = L"D:P";              // nobody may open the key
const wchar_t kReadOnly[] = L"D:P(A;;KR;;;WD)";  // read, but no write, subkey or delete

}  // namespace

// Checks that the DACL went on and skips the test when the registry does not
// refuse what it should.
#define LOCK_KEY(guard, refusedAccess, why)                  \
    ASSERT_TRUE((guard).applied());                          \
    if (!(guard).Refuses(refusedAccess)) GTEST_SKIP() << why

class Acl : public ScratchTest {
protected:
    void Reset() { ASSERT_TRUE(scratch_.Reset()); }
};

TEST_F(Acl, UnreadableKeyStopsUnregistrationAfterReadingPastItsBlock) {
    ASSERT_TRUE(MakeKey(L"Before"));
    ASSERT_TRUE(PutString(L"Denied\\Inner", L"v", L"1"));
    ASSERT_TRUE(MakeKey(L"After"));
    ASSERT_TRUE(MakeKey(L"Later"));
    // The block of the denied key names keys of this level and a value: read
    // as entries of the scratch key, they would be deleted.
    const std::wstring denied = L"Denied { After Later { val v = s 1 } Inner }";
    {
        KeyDacl guard(HKEY_CURRENT_USER, Path(L"Denied"), kNoAccess);
        LOCK_KEY(guard, KEY_READ, "this registry lets everybody read every key");
        const std::wstring script =
            Block(L"Before " + denied + L" After") + Block(L"Later");
        EXPECT_HR(E_ACCESSDENIED, Run(script, false));
        EXPECT_EQ(L"[]\n[After]\n[Denied] <unreadable>\n[Later]\n", Tree());
        // The block is read before the access failure is returned: a fault
        // in its text is what the run reports.
        EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"Denied { Inner { Bad\\Name } } After"));
        EXPECT_EQ(L"[]\n[After]\n[Denied] <unreadable>\n[Later]\n", Tree());
    }
    EXPECT_EQ(L"[]\n[After]\n[Denied]\n[Denied\\Inner]\nv=sz:\"1\"\n[Later]\n", Tree());

    // Readable again, the same entries remove everything they list.
    EXPECT_HR(S_OK, Unregister(L"Before " + denied + L" After Later"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Acl, ValueInReadOnlyKeyStopsUnregistration) {
    // The key opens for reading, but not again for writing to delete a value.
    ASSERT_TRUE(PutString(L"Kept", L"v", L"1"));
    ASSERT_TRUE(PutString(L"Kept\\Sub", L"w", L"2"));
    ASSERT_TRUE(MakeKey(L"After"));
    KeyDacl guard(HKEY_CURRENT_USER, Path(L"Kept"), kReadOnly);
    LOCK_KEY(guard, KEY_WRITE, "this registry lets everybody write every key");
    ASSERT_TRUE(guard.Allows(KEY_READ));
    // Sub's own security is untouched: its value and the key go first.
    EXPECT_HR(E_ACCESSDENIED, Unregister(L"NoRemove Kept { Sub { val w = s 2 } val v = s 1 } After"));
    EXPECT_EQ(L"[]\n[After]\n[Kept]\nv=sz:\"1\"\n", Tree());
}

TEST_F(Acl, KeyWithoutDeleteRightStopsUnregistration) {
    ASSERT_TRUE(PutString(L"Kept", L"v", L"1"));
    ASSERT_TRUE(MakeKey(L"After"));
    KeyDacl guard(HKEY_CURRENT_USER, Path(L"Kept"), kReadOnly);
    LOCK_KEY(guard, DELETE, "this registry grants DELETE on keys whatever their DACL says (Wine does)");
    EXPECT_HR(E_ACCESSDENIED, Unregister(L"Kept After"));
    EXPECT_EQ(L"[]\n[After]\n[Kept]\nv=sz:\"1\"\n", Tree());
}

TEST_F(Acl, ValueWrittenToReadOnlyKeyFailsAndItsRootBlockIsTakenBack) {
    // A named value and the default value of a key that opens only for reading.
    for (const wchar_t* entry : {L"NoRemove Locked { val v = s 3 }", L"NoRemove Locked = s 3"}) {
        SCOPED_TRACE(Utf8(entry));
        Reset();
        ASSERT_TRUE(MakeKey(L"Locked"));
        KeyDacl guard(HKEY_CURRENT_USER, Path(L"Locked"), kReadOnly);
        LOCK_KEY(guard, KEY_WRITE, "this registry lets everybody write every key");
        const std::wstring script =
            Block(L"First = s 1") +
            Block(L"Earlier = s 2 { Sub { val w = s 4 } } " + std::wstring(entry) + L" Later") +
            Block(L"Last");
        EXPECT_HR(E_ACCESSDENIED, Run(script, true));
        // The first root block stays, the failing one is taken back, the last
        // one never ran.
        EXPECT_EQ(L"[]\n[First]\n@=sz:\"1\"\n[Locked]\n", Tree());
    }
}

TEST_F(Acl, SubkeyOfReadOnlyKeyCannotBeCreated) {
    ASSERT_TRUE(MakeKey(L"Locked"));
    KeyDacl guard(HKEY_CURRENT_USER, Path(L"Locked"), kReadOnly);
    LOCK_KEY(guard, KEY_WRITE, "this registry lets everybody write every key");
    {
        // What the walk does: create through the handle it opened for reading.
        HKEY readOnly = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"Locked").c_str(), 0, KEY_READ, &readOnly));
        HKEY probe = nullptr;
        const LONG status =
            RegCreateKeyExW(readOnly, L"Probe", 0, nullptr, 0, KEY_READ, nullptr, &probe, nullptr);
        if (status == ERROR_SUCCESS) {
            RegCloseKey(probe);
            RegDeleteKeyW(readOnly, L"Probe");
        }
        RegCloseKey(readOnly);
        if (status == ERROR_SUCCESS) {
            GTEST_SKIP() << "this registry creates subkeys through a handle without KEY_CREATE_SUB_KEY (Wine does)";
        }
    }
    EXPECT_HR(E_ACCESSDENIED, Register(L"Earlier = s 2 { Sub } NoRemove Locked { Child = s 3 } Later"));
    EXPECT_EQ(L"[]\n[Locked]\n", Tree());
}

TEST_F(Acl, UnopenableKeyCannotBeRegisteredInto) {
    ASSERT_TRUE(PutString(L"Denied", L"v", L"old"));
    {
        KeyDacl guard(HKEY_CURRENT_USER, Path(L"Denied"), kNoAccess);
        LOCK_KEY(guard, KEY_READ, "this registry lets everybody read every key");
        EXPECT_HR(E_ACCESSDENIED, Register(L"Earlier { Sub } Denied { Child = s 1 } Later"));
        EXPECT_EQ(L"[]\n[Denied] <unreadable>\n", Tree());
    }
    EXPECT_EQ(L"[]\n[Denied]\nv=sz:\"old\"\n", Tree());
}

TEST_F(Acl, RollbackStopsAtAKeyItCannotOpen) {
    // "Delete" of a key that cannot be opened fails unreported and the walk
    // goes on; the rollback reads the same entry as a key to remove, cannot
    // open it, and ends there, before the key the failing entry created.
    ASSERT_TRUE(MakeKey(L"Denied"));
    {
        KeyDacl guard(HKEY_CURRENT_USER, Path(L"Denied"), kNoAccess);
        LOCK_KEY(guard, KEY_READ, "this registry lets everybody read every key");
        EXPECT_HR(E_FAIL, Register(L"Earlier Delete Denied After = b 123"));
    }
    EXPECT_EQ(L"[]\n[After]\n[Denied]\n", Tree());
}

TEST_F(Acl, ForceRemoveOfATreeWithALockedSubkeyStillRegisters) {
    // Children go in name order: A is deleted, Locked cannot be opened for
    // writing, and that ends the tree delete, leaving Z and the tree's own
    // values. The failed delete is not reported; the key is then written
    // over as usual ("Delete" creates nothing).
    for (const wchar_t* sddl : {kReadOnly, kNoAccess}) {
        SCOPED_TRACE(Utf8(sddl));
        for (const bool force : {true, false}) {
            SCOPED_TRACE(force ? "ForceRemove" : "Delete");
            Reset();
            ASSERT_TRUE(PutString(L"Tree", L"extra", L"x"));
            ASSERT_TRUE(PutString(L"Tree\\A", L"a", L"1"));
            ASSERT_TRUE(PutString(L"Tree\\Locked", L"l", L"2"));
            ASSERT_TRUE(MakeKey(L"Tree\\Z"));
            {
                KeyDacl guard(HKEY_CURRENT_USER, Path(L"Tree\\Locked"), sddl);
                LOCK_KEY(guard, KEY_WRITE, "this registry lets everybody write every key");
                EXPECT_HR(S_OK, Register(force ? L"ForceRemove Tree = s new { Fresh }" : L"Delete Tree After"));
            }
            EXPECT_EQ(force ? L"[]\n[Tree]\n@=sz:\"new\"\nextra=sz:\"x\"\n[Tree\\Fresh]\n[Tree\\Locked]\n"
                              L"l=sz:\"2\"\n[Tree\\Z]\n"
                            : L"[]\n[After]\n[Tree]\nextra=sz:\"x\"\n[Tree\\Locked]\nl=sz:\"2\"\n[Tree\\Z]\n",
                      Tree());
            // With the subkey open to all again the whole tree goes.
            EXPECT_HR(S_OK, Register(L"ForceRemove Tree { Fresh }"));
            EXPECT_EQ(force ? L"[]\n[Tree]\n[Tree\\Fresh]\n" : L"[]\n[After]\n[Tree]\n[Tree\\Fresh]\n", Tree());
        }
    }
}
