// Seeded, bounded random mutations of valid scripts, each run in register and
// then unregister mode below a scratch root: the engine must return an
// HRESULT, stay inside the scratch root, and (without NoRemove) a failed
// registration must leave no key it created, and a successful register
// followed by a successful unregister must restore the scratch root.
#include "ScratchTest.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using Tokens = std::vector<std::wstring>;

const wchar_t kFuzzRoot[] = L"Software\\BrellTest\\Fuzz";
// Levels between the scratch root and the mutated text: stray closing braces
// climb through these instead of leaving the scratch root.
constexpr int kGuardLevels = 8;

const std::vector<Tokens>& BaseBodies() {
    static const std::vector<Tokens> bodies = {
        {L"A", L"=", L"s", L"'x'", L"{", L"val", L"V", L"=", L"s", L"'y z'", L"B", L"{", L"val", L"D", L"=", L"d",
         L"5", L"}", L"}"},
        {L"ForceRemove", L"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}", L"=", L"s", L"'Cls'", L"{", L"InprocServer32",
         L"=", L"s", L"'%Module%'", L"{", L"val", L"ThreadingModel", L"=", L"s", L"'Apartment'", L"}", L"}"},
        {L"Multi", L"=", L"m", L"'a\\0b'", L"{", L"Bin", L"=", L"b", L"0aff", L"}", L"val", L"Top", L"=", L"s",
         L"'v'"},
        {L"Delete", L"Old", L"K", L"{", L"L", L"{", L"M", L"{", L"val", L"x", L"=", L"s", L"''", L"}", L"}", L"}"},
        {L"NoRemove", L"Kept", L"{", L"val", L"Gone", L"=", L"s", L"1", L"Child", L"}"},
        {L"CLSID", L"{", L"X", L"=", L"s", L"'y'", L"}", L"'Quoted Name'", L"=", L"D", L"'7'"},
    };
    return bodies;
}

const Tokens& Vocabulary() {
    static const Tokens words = {
        L"{", L"}", L"=", L"s", L"d", L"b", L"m", L"S", L"val", L"Val", L"ForceRemove", L"Delete", L"NoRemove",
        L"A", L"Z", L"'q'", L"''", L"'", L"%", L"%%", L"%Module%", L"%nope%", L"'x y'", L"HKCR", L"HKCU",
        L"CLSID", L"zz\\yy", L"'it''s'", L"\x00DC\x00F1\x00EF", L"\x4E2D\x6587", L"\xD83D\xDE00", L"e\x0301",
        L"12345", L"0x10", L"gg", L"'}'", L"'{'", L"\\0", L"a\\0\\0b",
        std::wstring(4094, L'L'), std::wstring(4095, L'L'), L"'" + std::wstring(4094, L'Q') + L"'",
        std::wstring(255, L'n'), std::wstring(256, L'n'), std::wstring(300, L'k'),
        L"'" + std::wstring(5000, L'v') + L"'",
    };
    return words;
}

const wchar_t* const kBlanks[] = {L" ", L"\r\n", L"\t", L"\r\n\t\t", L"  "};
const wchar_t kStrays[] = {L'\'', L'%', L'{', L'}', L'\\', L'=', L'\x00E9', L' '};

class Mutator {
public:
    explicit Mutator(unsigned seed) : rng_(seed) {}

    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    Tokens Mutate(Tokens tokens) {
        const size_t count = 1 + Pick(3);
        for (size_t i = 0; i < count; ++i) {
            const size_t where = Pick(tokens.size() + 1);
            switch (Pick(5)) {
            case 0:  // insert
                tokens.insert(tokens.begin() + where, Vocabulary()[Pick(Vocabulary().size())]);
                break;
            case 1:  // drop
                if (where < tokens.size()) tokens.erase(tokens.begin() + where);
                break;
            case 2:  // duplicate
                if (where < tokens.size()) tokens.insert(tokens.begin() + where, tokens[where]);
                break;
            case 3:  // stray character inside a token
                if (where < tokens.size()) {
                    std::wstring& t = tokens[where];
                    t.insert(t.begin() + Pick(t.size() + 1), kStrays[Pick(sizeof(kStrays) / sizeof(kStrays[0]))]);
                }
                break;
            default:  // swap two neighbours
                if (where + 1 < tokens.size()) std::swap(tokens[where], tokens[where + 1]);
                break;
            }
        }
        return tokens;
    }

    std::wstring Join(const Tokens& tokens) {
        std::wstring text;
        for (const std::wstring& t : tokens) {
            text += kBlanks[Pick(sizeof(kBlanks) / sizeof(kBlanks[0]))];
            text += t;
        }
        return text;
    }

private:
    std::mt19937 rng_;
};

// Written a few guard levels above the body, where the tokens of an entry the
// body leaves unfinished cannot reach it. Registration writes it only once
// it is past the whole body; a failed registration that kept it therefore
// failed after its root block had been completed (the body closed that block
// early and the surplus braces are no root name), and that block stays
// registered by design.
const wchar_t kDoneMarker[] = L"FuzzBlockDone";

std::wstring WrapFuzz(const std::wstring& body) {
    std::wstring text = L"HKCU {\r\n NoRemove Software { NoRemove BrellTest { NoRemove Fuzz {";
    for (int i = 1; i <= kGuardLevels; ++i) text += L" NoRemove w" + std::to_wstring(i) + L" {";
    text += L"\r\n" + body + L"\r\n";
    for (int i = 0; i < kGuardLevels / 2; ++i) text += L" }";
    text += std::wstring(L" val ") + kDoneMarker + L" = s 1";
    for (int i = kGuardLevels / 2; i < kGuardLevels + 4; ++i) text += L" }";
    return text + L"\r\n";
}

bool RootBlockWasCompleted() {
    return DumpTree(HKEY_CURRENT_USER, kFuzzRoot).find(L"\n" + std::wstring(kDoneMarker) + L"=") != std::wstring::npos;
}

void ResetFuzzRoot() {
    DeleteTree(HKEY_CURRENT_USER, kFuzzRoot);
    std::wstring path = kFuzzRoot;
    for (int i = 1; i <= kGuardLevels; ++i) path += L"\\w" + std::to_wstring(i);
    CreateKey(HKEY_CURRENT_USER, path);
}

// What lies outside the scratch root and must not change.
std::wstring OutsideSnapshot() {
    return SubkeyNames(HKEY_CURRENT_USER, L"") + L"|" + SubkeyNames(HKEY_CURRENT_USER, L"Software") + L"|" +
           SubkeyNames(HKEY_CURRENT_USER, L"Software\\BrellTest") + L"|" + SubkeyNames(HKEY_CLASSES_ROOT, L"") +
           L"|" + SubkeyNames(HKEY_LOCAL_MACHINE, L"Software");
}

// Keys present now that were not there before, one a line.
std::wstring NewKeys(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
    std::wstring added;
    for (const std::wstring& key : after) {
        bool existed = false;
        for (const std::wstring& old : before) existed = existed || lstrcmpiW(old.c_str(), key.c_str()) == 0;
        if (!existed) added += key + L"\n";
    }
    return added;
}

bool ContainsNoRemove(const std::wstring& text) {
    std::wstring lower = text;
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    return lower.find(L"noremove") != std::wstring::npos;
}

HRESULT RunOnce(const std::wstring& script, bool doRegister) {
    CRegObject registrar;
    registrar.AddVariable(L"Module", L"C:\\fuzz''s.dll");
    return registrar.RunScript(script.c_str(), doRegister ? TRUE : FALSE);
}

}  // namespace

TEST(Robustness, MutatedScriptsStayInsideTheScratchRoot) {
    g_perUserRegistration = false;
    unsigned seed = 20261208;
    int cases = 1500;
    if (const char* s = getenv("BRELL_FUZZ_SEED")) seed = static_cast<unsigned>(strtoul(s, nullptr, 10));
    if (const char* c = getenv("BRELL_FUZZ_CASES")) cases = atoi(c);
    Mutator mutator(seed);

    DeleteTree(HKEY_CURRENT_USER, kFuzzRoot);
    // Wine itself adds keys below Software\\Wine now and then; the rest must stay
    const std::wstring fullBefore =
        DumpTree(HKEY_CURRENT_USER, L"Software\\Microsoft") + DumpTree(HKEY_CURRENT_USER, L"Environment");
    ResetFuzzRoot();
    const std::wstring outsideBefore = OutsideSnapshot();
    // every case starts from these keys
    const std::vector<std::wstring> guardKeys = KeyPaths(HKEY_CURRENT_USER, kFuzzRoot);

    int registered = 0;
    int failuresChecked = 0;
    int completedBlocks = 0;
    int roundTrips = 0;
    for (int i = 0; i < cases; ++i) {
        const Tokens& base = BaseBodies()[mutator.Pick(BaseBodies().size())];
        const std::wstring body = mutator.Join(mutator.Mutate(base));
        const std::wstring script = WrapFuzz(body);

        ResetFuzzRoot();
        const std::wstring scratchBefore = DumpTree(HKEY_CURRENT_USER, kFuzzRoot);
        const HRESULT hrRegister = RunOnce(script, true);
        // A failed root block is taken back: only a NoRemove key it created,
        // and the keys above such a key, may stay. A body that closed its
        // root block early failed after that block had been registered.
        if (FAILED(hrRegister) && !ContainsNoRemove(body)) {
            const std::wstring added = NewKeys(guardKeys, KeyPaths(HKEY_CURRENT_USER, kFuzzRoot));
            if (!added.empty() && RootBlockWasCompleted()) {
                ++completedBlocks;
            } else {
                ++failuresChecked;
                ASSERT_EQ(L"", added) << "case " << i << " " << HResultText(hrRegister) << " " << Utf8(body);
            }
        }
        const HRESULT hrUnregister = RunOnce(script, false);

        // success is always S_OK: nothing in the engine reports a success code
        ASSERT_TRUE(FAILED(hrRegister) || hrRegister == S_OK) << "case " << i << " " << Utf8(body);
        ASSERT_TRUE(FAILED(hrUnregister) || hrUnregister == S_OK) << "case " << i << " " << Utf8(body);
        ASSERT_EQ(outsideBefore, OutsideSnapshot()) << "case " << i << " " << Utf8(body);
        if (hrRegister == S_OK) ++registered;
        if (hrRegister == S_OK && hrUnregister == S_OK && !ContainsNoRemove(body)) {
            ++roundTrips;
            ASSERT_EQ(scratchBefore, DumpTree(HKEY_CURRENT_USER, kFuzzRoot)) << "case " << i << " " << Utf8(body);
        }
    }
    DeleteTree(HKEY_CURRENT_USER, kFuzzRoot);
    EXPECT_EQ(fullBefore,
              DumpTree(HKEY_CURRENT_USER, L"Software\\Microsoft") + DumpTree(HKEY_CURRENT_USER, L"Environment"));
    printf("robustness: %d cases (seed %u), %d registered, %d failed registrations checked for leftover keys "
           "(%d more failed after their root block), %d register/unregister round trips compared\n",
           cases, seed, registered, failuresChecked, completedBlocks, roundTrips);
    EXPECT_GT(registered, cases / 20);
    EXPECT_GT(roundTrips, cases / 20);
}
