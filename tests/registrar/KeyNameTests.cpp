// Key-name length: a name of 255 UTF-16 units is the longest the registry
// takes; a longer one is refused as a script error before anything is
// written, wherever the script names the key and however the name was built.
#include "ScratchTest.h"

namespace {

std::wstring Quoted(const std::wstring& name) {
    return L"'" + name + L"'";
}

const std::wstring kLongest(255, L'K');
const std::wstring kTooLong(256, L'K');
// 127 characters outside the basic plane and one inside: 255 units.
std::wstring PairsOf255Units() {
    std::wstring name;
    for (int i = 0; i < 127; ++i) name += L"\xD83D\xDE00";
    return name + L"x";
}

}  // namespace

class KeyNames : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        // "abcde" and "abcdef" before it make names of 255 and 256 units
        variables_ = {{L"Tail", std::wstring(250, L'v')}};
        ASSERT_TRUE(PutString(L"Kept", L"v", L"old"));
        ASSERT_TRUE(MakeKey(L"Debris"));
    }

    // The scratch tree and the first levels of HKCU, where a root-block
    // subkey would land.
    std::wstring Snapshot() const {
        return SubkeyNames(HKEY_CURRENT_USER, L"") + L"|" + SubkeyNames(HKEY_CURRENT_USER, L"Software") + L"|" +
               Tree();
    }
};

TEST_F(KeyNames, NameOf255UnitsIsWrittenAndRemovedAgain) {
    const std::wstring pairs = PairsOf255Units();
    const std::wstring body = Quoted(kLongest) + L" = s 1 { " + Quoted(kLongest) + L" }" +
                              L" NoRemove Kept { 'abcde%Tail%' { ForceRemove " + Quoted(pairs) + L" } }";
    ASSERT_HR(S_OK, Register(body));
    const std::wstring substituted = L"abcde" + std::wstring(250, L'v');
    EXPECT_EQ(L"[]\n[Debris]\n[Kept]\nv=sz:\"old\"\n[Kept\\" + substituted + L"]\n[Kept\\" + substituted + L"\\" +
                  pairs + L"]\n[" + kLongest + L"]\n@=sz:\"1\"\n[" + kLongest + L"\\" + kLongest + L"]\n",
              Tree());
    ASSERT_HR(S_OK, Unregister(body));
    EXPECT_EQ(L"[]\n[Debris]\n[Kept]\nv=sz:\"old\"\n", Tree());
}

TEST_F(KeyNames, LongerNameFailsRegistrationBeforeAnythingIsWritten) {
    const std::wstring tooLong = Quoted(kTooLong);
    const std::wstring bodies[] = {
        // the name inside a new key, inside a NoRemove key, beside a new key
        L"Fresh { " + tooLong + L" }",
        // long enough for Wine's registry to refuse it as well (it takes 256)
        L"Fresh { " + Quoted(std::wstring(300, L'K')) + L" }",
        L"NoRemove Kept { val w = s 1 " + tooLong + L" = s 2 }",
        L"Fresh = s 1 " + tooLong + L" { Deeper }",
        // behind each modifier
        L"Fresh ForceRemove " + tooLong + L" = s 1",
        L"Fresh NoRemove " + tooLong,
        L"Fresh Delete " + tooLong,
        L"Fresh { Deeper { ForceRemove NoRemove " + tooLong + L" } }",
        // 256 units only once the variable is substituted
        L"Fresh { Deeper { 'abcdef%Tail%' } }",
        // the empty name, refused the same way
        L"Fresh { '' }",
    };
    const std::wstring before = Snapshot();
    for (const std::wstring& body : bodies) {
        EXPECT_HR(DISP_E_EXCEPTION, Register(body)) << Utf8(body.substr(0, 60));
        EXPECT_EQ(before, Snapshot()) << Utf8(body.substr(0, 60));
    }
    // a subkey of the root block itself
    EXPECT_HR(DISP_E_EXCEPTION, Run(L"HKCU { BrellTestFresh " + tooLong + L" }", true));
    EXPECT_EQ(before, Snapshot());
}

TEST_F(KeyNames, LongerNameFailsUnregistrationWhereverTheWalkMeetsIt) {
    // Unregistration stops at the name, as at an empty one, before the key
    // that holds it is removed; inside an absent key, whose block is only
    // read, the name is refused all the same.
    const std::wstring tooLong = Quoted(kTooLong);
    const std::wstring bodies[] = {
        L"Debris { " + tooLong + L" } Kept",
        L"NoRemove Kept { " + tooLong + L" val v = s 1 }",
        L"Absent { Deeper { " + tooLong + L" } } Debris",
        L"Debris { ForceRemove NoRemove " + tooLong + L" }",
        L"Absent { 'abcdef%Tail%' } Debris",
        tooLong + L" Debris",
    };
    const std::wstring before = Snapshot();
    for (const std::wstring& body : bodies) {
        EXPECT_HR(DISP_E_EXCEPTION, Unregister(body)) << Utf8(body.substr(0, 60));
        EXPECT_EQ(before, Snapshot()) << Utf8(body.substr(0, 60));
    }
}
