// The token reader: quoting, blanks, the token length limit, and how the
// walker reacts to malformed token streams.
#include "ScratchTest.h"

#include "registrar/RegScriptParser.h"

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

TEST(TokenReader, SplitsOnTheFourBlanksOnly) {
    EXPECT_EQ((V{L"a", L"{", L"b=c", L"}", L"x\x01y", L"\x0Bz"}), Tokens(L" a\t{\r\nb=c } x\x01y \x0Bz\n"));
}

TEST(TokenReader, QuotedTokensKeepBlanksBracesAndPercentSigns) {
    EXPECT_EQ((V{L"a b { } = %x%", L"c"}), Tokens(L"'a b { } = %x%' c"));
}

TEST(TokenReader, DoubledQuoteStandsForOneAndTwoQuotesAloneAreEmpty) {
    EXPECT_EQ((V{L"it's", L"", L"'", L"x"}), Tokens(L"'it''s' '' '''' x"));
}

TEST(TokenReader, QuotedTokenEndsAtItsClosingQuoteEvenWithoutBlank) {
    EXPECT_EQ((V{L"a", L"b", L"c", L"d'"}), Tokens(L"'a'b 'c'd'"));
}

TEST(TokenReader, UnterminatedQuoteAndEndOfTextFail) {
    std::vector<std::wstring> tokens;
    EXPECT_HR(DISP_E_EXCEPTION, ReadAll(L"x 'abc", &tokens));
    EXPECT_HR(DISP_E_EXCEPTION, ReadAll(L"x 'abc''", &tokens));

    CRegScriptParser parser(nullptr);
    wchar_t token[kTokenBufferSize];
    parser.SetPosition(L" \t\r\n ");
    EXPECT_HR(DISP_E_EXCEPTION, parser.ReadToken(token));
}

TEST(TokenReader, TokenOf4094UnitsIsReadAnd4095Fails) {
    std::vector<std::wstring> tokens;
    const std::wstring fits(4094, L'x');
    ASSERT_HR(S_OK, ReadAll(fits + L" y", &tokens));
    ASSERT_EQ(2u, tokens.size());
    EXPECT_EQ(fits, tokens[0]);

    EXPECT_HR(DISP_E_EXCEPTION, ReadAll(std::wstring(4095, L'x'), &tokens));
    EXPECT_HR(S_OK, ReadAll(L"'" + fits + L"'", &tokens));
    EXPECT_HR(DISP_E_EXCEPTION, ReadAll(L"'" + std::wstring(4093, L'x') + L"''''", &tokens));
    EXPECT_HR(DISP_E_EXCEPTION, ReadAll(L"'" + std::wstring(100000, L'x') + L"'", &tokens));
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

TEST_F(TokenScripts, EmptyScriptSucceedsAndBlankScriptFails) {
    EXPECT_HR(S_OK, Run(L"", true));
    EXPECT_HR(S_OK, Run(L"", false));
    EXPECT_HR(DISP_E_EXCEPTION, Run(L" \r\n\t", true));
    EXPECT_HR(DISP_E_EXCEPTION, Run(L" \r\n\t", false));
}

TEST_F(TokenScripts, RootNameGluedToItsBraceIsNoRootKey) {
    EXPECT_HR(DISP_E_EXCEPTION, Run(L"HKCU{ }", true));
    EXPECT_HR(DISP_E_EXCEPTION, Run(L"HKXX { }", true));
    EXPECT_HR(DISP_E_EXCEPTION, Run(L"HKCU x }", true));
    // the brace token only has to begin with "{" after a root name
    EXPECT_HR(S_OK, Run(L"hkey_current_user {x }", true));
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

TEST_F(TokenScripts, BackslashInKeyNameIsRefusedInBothModes) {
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"'A\\B'"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"ForceRemove A\\B"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"Delete A\\B"));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"A\\B"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(TokenScripts, ValueEntryNeedsAnEqualSignAndAKnownType) {
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"A { val x s 'y' }"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"A { val x = sz 'y' }"));
    EXPECT_HR(DISP_E_EXCEPTION, Register(L"A = q 'y'"));
    EXPECT_HR(DISP_E_EXCEPTION, Unregister(L"A { val x s 'y' }"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(TokenScripts, ScriptEndingInsideABlockFails) {
    EXPECT_HR(DISP_E_EXCEPTION, Run(Wrap(L"A {"), true));
    EXPECT_HR(DISP_E_EXCEPTION, Run(L"HKCU { NoRemove Software { NoRemove BrellTest", false));
    EXPECT_EQ(L"[]\n", Tree());
}
