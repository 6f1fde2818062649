// The token reader: quoting, blanks, the token length limit, and how the
// walker reacts to malformed token streams.
#include "ScratchTest.h"

namespace {

// Reads every token of text; the HRESULT of the first failure or S_OK at the end.
HRESULT ReadAll(const std::wstring& text, std::vector<std::wstring>* tokens) {
    CRegScriptParser parser(nullptr);
    parser.SetPosition(text.c_str());
    std::vector<wchar_t> token(kTokenBufferSize);
    for (;;) {
        parser.SkipSpaces();
        if (*parser.Position() == L'\0') return S_OK;
        HRESULT hr = parser.ReadToken(token.data());
        if (FAILED(hr)) return hr;
        tokens->emplace_back(token.data());
    }
}

std::vector<std::wstring> Tokens(const std::wstring& text) {
    std::vector<std::wstring> tokens;
    EXPECT_HR(S_OK, ReadAll(text, &tokens));
    return tokens;
}

using V = std::vector<std::wstring>;

}  // namespace

TEST(TokenReader, ReadsEachTokenAsItsRuleSays) {
    const struct {
        const char* rule;
        const wchar_t* text;
        V tokens;
    } cases[] = {
        {"splits on the four blanks only", L" a\t{\r\nb=c } x\x01y \x0Bz\n",
         {L"a", L"{", L"b=c", L"}", L"x\x01y", L"\x0Bz"}},
        {"quoted tokens keep blanks, braces and percent signs", L"'a b { } = %x%' c", {L"a b { } = %x%", L"c"}},
        {"a doubled quote stands for one, two quotes alone are empty", L"'it''s' '' '''' x",
         {L"it's", L"", L"'", L"x"}},
        {"a quoted token ends at its closing quote even without a blank", L"'a'b 'c'd'", {L"a", L"b", L"c", L"d'"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.tokens, Tokens(c.text)) << c.rule;
}

TEST(TokenReader, UnterminatedQuoteOverlongTokenAndEndOfTextFail) {
    const std::wstring failing[] = {
        L"x 'abc",
        L"x 'abc''",
        std::wstring(4095, L'x'),
        L"'" + std::wstring(4093, L'x') + L"''''",
        L"'" + std::wstring(100000, L'x') + L"'",
    };
    for (const std::wstring& text : failing) {
        std::vector<std::wstring> tokens;
        EXPECT_HR(DISP_E_EXCEPTION, ReadAll(text, &tokens)) << Utf8(text.substr(0, 20));
    }

    CRegScriptParser parser(nullptr);
    wchar_t token[kTokenBufferSize];
    parser.SetPosition(L" \t\r\n ");
    EXPECT_HR(DISP_E_EXCEPTION, parser.ReadToken(token));
}

TEST(TokenReader, TokenOf4094UnitsIsReadWhole) {
    std::vector<std::wstring> tokens;
    const std::wstring fits(4094, L'x');
    ASSERT_HR(S_OK, ReadAll(fits + L" y", &tokens));
    ASSERT_EQ(2u, tokens.size());
    EXPECT_EQ(fits, tokens[0]);
    EXPECT_HR(S_OK, ReadAll(L"'" + fits + L"'", &tokens));
}

TEST(TokenReader, SkipValueAssignmentConsumesTypeValueAndNextToken) {
    CRegScriptParser parser(nullptr);
    wchar_t token[kTokenBufferSize] = L"=";
    parser.SetPosition(L" s 'a b' next rest");
    ASSERT_HR(S_OK, parser.SkipValueAssignment(token));
    EXPECT_STREQ(L"next", token);

    wcscpy(token, L"other");
    parser.SetPosition(L"untouched");
    ASSERT_HR(S_OK, parser.SkipValueAssignment(token));
    EXPECT_STREQ(L"other", token);
    EXPECT_STREQ(L"untouched", parser.Position());

    wcscpy(token, L"=");
    parser.SetPosition(L" s 'a b'");
    EXPECT_HR(DISP_E_EXCEPTION, parser.SkipValueAssignment(token));
}

class TokenScripts : public ScratchTest {};

TEST_F(TokenScripts, EmptyScriptAndABraceTokenThatOnlyBeginsWithABraceSucceed) {
    EXPECT_HR(S_OK, Run(L"", true));
    EXPECT_HR(S_OK, Run(L"", false));
    // the brace token only has to begin with "{" after a root name
    EXPECT_HR(S_OK, Run(L"hkey_current_user {x }", true));
}

// Scripts that are no scripts: refused whole, in either mode, with nothing
// written.
TEST_F(TokenScripts, MalformedScriptsFailAndWriteNothing) {
    const struct {
        const wchar_t* text;
        bool inScratch;  // a body for the scratch key, or a whole script
        bool doRegister;
    } cases[] = {
        // only blanks
        {L" \r\n\t", false, true},
        {L" \r\n\t", false, false},
        // a root name glued to its brace is no root key
        {L"HKCU{ }", false, true},
        {L"HKXX { }", false, true},
        {L"HKCU x }", false, true},
        // a backslash in a key name
        {L"'A\\B'", true, true},
        {L"ForceRemove A\\B", true, true},
        {L"Delete A\\B", true, true},
        {L"A\\B", true, false},
        // a value entry without its equal sign, or of an unknown type
        {L"A { val x s 'y' }", true, true},
        {L"A { val x = sz 'y' }", true, true},
        {L"A = q 'y'", true, true},
        {L"A { val x s 'y' }", true, false},
        // the script ends inside a block
        {L"A {", true, true},
        {L"HKCU { NoRemove Software { NoRemove BrellTest", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_HR(DISP_E_EXCEPTION, Run(c.inScratch ? Wrap(c.text) : c.text, c.doRegister))
            << Utf8(c.text) << (c.doRegister ? ", registered" : ", unregistered");
        EXPECT_EQ(L"[]\n", Tree()) << Utf8(c.text);
    }
}

TEST_F(TokenScripts, QuotedNamesAndValuesReachTheRegistryExactly) {
    ASSERT_HR(S_OK, Register(L"'a key { }' = s 'it''s %% = {x}' { val 'v \\ name' = s '' }"
                             L" {5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}"));
    EXPECT_EQ(L"[]\n"
              L"[{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}]\n"
              L"[a key { }]\n"
              L"@=sz:\"it's % = {x}\"\n"
              L"v \\ name=sz:\"\"\n",
              Tree());
}

TEST_F(TokenScripts, QuotedClosingBraceStillEndsABlock) {
    ASSERT_HR(S_OK, Register(L"A { B '}' C"));
    EXPECT_EQ(L"[]\n[A]\n[A\\B]\n[C]\n", Tree());
}

TEST_F(TokenScripts, LongestValueIsWrittenWholeAndOneMoreUnitFails) {
    const std::wstring value(4094, L'v');
    ASSERT_HR(S_OK, Register(L"A = s '" + value + L"'"));
    EXPECT_EQ(L"[]\n[A]\n@=sz:\"" + value + L"\"\n", Tree());
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"B = s '" + value + L"v'"));
    EXPECT_EQ(L"[]\n[A]\n@=sz:\"" + value + L"\"\n", Tree());
}
