// Register and unregister semantics: ForceRemove, Delete, NoRemove, protected
// names, keys kept for their subkeys, absent keys, idempotence.
#include "ScratchTest.h"

class Semantics : public ScratchTest {};

namespace {

const wchar_t kServerBody[] =
    L"NoRemove CLSID\r\n{\r\n"
    L"\tForceRemove {5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24} = s 'BrellowShellMenu Class'\r\n\t{\r\n"
    L"\t\tInprocServer32 = s '%MODULE%'\r\n\t\t{\r\n\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t}\r\n\t}\r\n}\r\n"
    L"NoRemove Directory { NoRemove Background { NoRemove ShellEx { NoRemove ContextMenuHandlers {\r\n"
    L"\tForceRemove Brellow = s '{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}' } } } }";

const wchar_t kServerTree[] =
    L"[]\n"
    L"[CLSID]\n"
    L"[CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}]\n"
    L"@=sz:\"BrellowShellMenu Class\"\n"
    L"[CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}\\InprocServer32]\n"
    L"@=sz:\"C:\\o'k\\Brellmenu.dll\"\n"
    L"ThreadingModel=sz:\"Apartment\"\n"
    L"[Directory]\n"
    L"[Directory\\Background]\n"
    L"[Directory\\Background\\ShellEx]\n"
    L"[Directory\\Background\\ShellEx\\ContextMenuHandlers]\n"
    L"[Directory\\Background\\ShellEx\\ContextMenuHandlers\\Brellow]\n"
    L"@=sz:\"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}\"\n";

}  // namespace

TEST_F(Semantics, RegistrationIsIdempotentAndForceRemoveDropsHandMadeExtras) {
    variables_ = {{L"Module", L"C:\\o''k\\Brellmenu.dll"}};
    ASSERT_HR(S_OK, Register(kServerBody));
    EXPECT_EQ(kServerTree, Tree());

    const std::wstring classKey = L"CLSID\\{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}";
    ASSERT_TRUE(PutString(classKey, L"Extra", L"x"));
    ASSERT_TRUE(MakeKey(classKey + L"\\Sub\\Deeper"));
    ASSERT_TRUE(PutString(L"CLSID", L"Kept", L"y"));
    ASSERT_HR(S_OK, Register(kServerBody));
    std::wstring expected = kServerTree;
    expected.replace(expected.find(L"[CLSID]\n") + 8, 0, L"Kept=sz:\"y\"\n");
    EXPECT_EQ(expected, Tree());
}

TEST_F(Semantics, UnregistrationRemovesWhatWasWrittenAndKeepsNoRemoveKeys) {
    variables_ = {{L"Module", L"C:\\o''k\\Brellmenu.dll"}};
    ASSERT_HR(S_OK, Register(kServerBody));
    ASSERT_HR(S_OK, Unregister(kServerBody));
    EXPECT_EQ(L"[]\n[CLSID]\n[Directory]\n[Directory\\Background]\n[Directory\\Background\\ShellEx]\n"
              L"[Directory\\Background\\ShellEx\\ContextMenuHandlers]\n",
              Tree());
    // nothing left to remove is no error, and changes nothing
    ASSERT_HR(S_OK, Unregister(kServerBody));
    EXPECT_HR(S_OK, Unregister(L"Absent { Deeper { val v = s 1 } } val Missing = s 2"));
    EXPECT_EQ(L"[]\n[CLSID]\n[Directory]\n[Directory\\Background]\n[Directory\\Background\\ShellEx]\n"
              L"[Directory\\Background\\ShellEx\\ContextMenuHandlers]\n",
              Tree());
}

TEST_F(Semantics, UnlistedValuesGoWithAnEmptyKeyButSubkeysKeepIt) {
    ASSERT_HR(S_OK, Register(L"Empty = s 'd' Parent { val Listed = s 1 }"));
    ASSERT_TRUE(PutString(L"Empty", L"Unlisted", L"u"));
    ASSERT_TRUE(PutString(L"Parent", L"Unlisted", L"u"));
    ASSERT_TRUE(MakeKey(L"Parent\\Child"));
    ASSERT_HR(S_OK, Unregister(L"Empty = s 'd' Parent { val Listed = s 1 }"));
    EXPECT_EQ(L"[]\n[Parent]\nUnlisted=sz:\"u\"\n[Parent\\Child]\n", Tree());
}

TEST_F(Semantics, NoRemoveGuardsOnlyTheEntryItPrecedes) {
    const std::wstring body = L"NoRemove Kept { val Gone = s 1 NoRemove val Stays = s 2 Child } Other";
    ASSERT_HR(S_OK, Register(body));
    EXPECT_EQ(L"[]\n[Kept]\nGone=sz:\"1\"\nStays=sz:\"2\"\n[Kept\\Child]\n[Other]\n", Tree());
    ASSERT_HR(S_OK, Unregister(body));
    EXPECT_EQ(L"[]\n[Kept]\nStays=sz:\"2\"\n", Tree());
}

TEST_F(Semantics, ForceRemoveAndDeleteSpareProtectedNames) {
    ASSERT_TRUE(PutString(L"CLSID\\Old", L"v", L"1"));
    ASSERT_TRUE(PutString(L"software\\Old", L"v", L"1"));
    ASSERT_TRUE(PutString(L"Plain\\Old", L"v", L"1"));
    ASSERT_HR(S_OK, Register(L"ForceRemove CLSID { New } Delete software ForceRemove Plain { New }"));
    EXPECT_EQ(L"[]\n[CLSID]\n[CLSID\\New]\n[CLSID\\Old]\nv=sz:\"1\"\n[Plain]\n[Plain\\New]\n"
              L"[software]\n[software\\Old]\nv=sz:\"1\"\n",
              Tree());
}

TEST_F(Semantics, DeleteRemovesATreeInRegisterModeAndIsIgnoredWhenUnregistering) {
    ASSERT_TRUE(PutString(L"Old\\A\\B\\C", L"v", L"1"));
    ASSERT_TRUE(MakeKey(L"Old\\D"));
    ASSERT_HR(S_OK, Register(L"Delete Old = s 'never' Delete Absent New"));
    EXPECT_EQ(L"[]\n[New]\n", Tree());

    ASSERT_TRUE(MakeKey(L"Old"));
    ASSERT_HR(S_OK, Unregister(L"Delete Old New"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Semantics, KeywordsMatchWithoutCaseAndOnlyInTheirOrder) {
    ASSERT_TRUE(MakeKey(L"NoRemove\\Inner"));
    // after NoRemove, ForceRemove is a key name
    ASSERT_HR(S_OK, Register(L"FORCEREMOVE noremove VAL v = S x noremove ForceRemove"));
    EXPECT_EQ(L"[]\nv=sz:\"x\"\n[ForceRemove]\n", Tree());
}

TEST_F(Semantics, DefaultValueIsNotRemovedOnItsOwn) {
    ASSERT_HR(S_OK, Register(L"NoRemove K = s 'd' { val v = s 1 }"));
    ASSERT_HR(S_OK, Unregister(L"NoRemove K = s 'd' { val v = s 1 }"));
    EXPECT_EQ(L"[]\n[K]\n@=sz:\"d\"\n", Tree());
}

TEST_F(Semantics, BlockAfterValueOrDeleteEntryIsASyntaxError) {
    ASSERT_TRUE(MakeKey(L"A"));
    const std::wstring before = Tree();
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"A { val v = s 1 { B } }"));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"A { val v = s 1 { B } }"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"Delete X { B }"));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"Delete A { B }"));
    EXPECT_EQ(before, Tree());
}

TEST_F(Semantics, RunawayNestingIsRefusedWithoutTouchingTheRegistry) {
    std::wstring body;
    for (int i = 0; i < 200; ++i) body += L"K {\r\n";
    for (int i = 0; i < 200; ++i) body += L"}\r\n";
    EXPECT_HR(DISP_E_EXCEPTION, Register(body));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(body));
    EXPECT_EQ(L"[]\n", Tree());

    body.clear();
    for (int i = 0; i < 20; ++i) body += L"K {\r\n";
    for (int i = 0; i < 20; ++i) body += L"}\r\n";
    ASSERT_HR(S_OK, Register(body));
    ASSERT_HR(S_OK, Unregister(body));
    EXPECT_EQ(L"[]\n", Tree());
}
