// Conversion of S, D, B and M values, checked byte for byte in the registry.
#include "ScratchTest.h"

namespace {

// 600 bytes of binary as the script spells them and as the dump shows them,
// and a multi-string of two 300-character strings: longer than any stack
// buffer of the engine.
std::wstring LongBinaryAndMultiString(std::wstring* tree) {
    std::wstring hex, dumped;
    for (int i = 0; i < 600; ++i) {
        wchar_t pair[8];
        swprintf(pair, 8, L"%02X", i % 256);
        hex += pair;
        swprintf(pair, 8, i ? L",%02x" : L"%02x", i % 256);
        dumped += pair;
    }
    const std::wstring longText(300, L'm');
    std::wstring multi;
    for (wchar_t c : longText + L'\0' + longText + L'\0' + L'\0') {
        wchar_t unit[16];
        swprintf(unit, 16, L",%02x,%02x", c & 0xFF, c >> 8);
        multi += unit;
    }
    *tree = L"[]\nB=hex(3):" + dumped + L"\nM=hex(7):" + multi.substr(1) + L"\n";
    return L"val B = b " + hex + L" val M = m '" + longText + L"\\0" + longText + L"'";
}

}  // namespace

class Values : public ScratchTest {};

// Each body registered into an empty scratch key: its result, and the tree
// it leaves (a failure takes back all it wrote).
TEST_F(Values, EachTypeIsWrittenByteForByteOrRefusedWhole) {
    std::wstring longTree;
    const std::wstring longBody = LongBinaryAndMultiString(&longTree);
    const struct {
        const char* what;
        std::wstring body;
        HRESULT result;
        std::wstring tree;
    } cases[] = {
        {"numbers are little-endian DWORDs",
         L"val One = d 1 val Max = D 4294967295 val Spaced = d ' 17 ' val Zero = d 0", S_OK,
         L"[]\nMax=dword:ffffffff\nOne=dword:00000001\nSpaced=dword:00000011\nZero=dword:00000000\n"},
        {"text that is no number", L"K { val N = d 'twelve' }", DISP_E_TYPEMISMATCH, L"[]\n"},
        {"a number beyond 32 bits", L"K { val N = d 4294967296 }", DISP_E_OVERFLOW, L"[]\n"},
        {"binary is hex pairs, high digit first", L"val B = b 0aFF val Empty = B '' val Odd = b 'g1Zz'", S_OK,
         L"[]\nB=hex(3):0a,ff\nEmpty=hex(3):\nOdd=hex(3):01,00\n"},
        {"binary of odd length", L"K { val B = b 0aF }", E_FAIL, L"[]\n"},
        {"long binary and multi-strings use the heap intact", longBody, S_OK, longTree},
        {"multi-string separators and empty elements",
         L"val Two = m 'a\\0b' val Cut = m 'a\\0\\0b' val Empty = m '' val Backslash = m 'c:\\x\\1\\0' "
         L"val Tail = m 'a\\'",
         S_OK,
         L"[]\n"
         L"Backslash=hex(7):63,00,3a,00,5c,00,78,00,5c,00,31,00,00,00,00,00\n"
         L"Cut=hex(7):61,00,00,00,00,00\n"
         L"Empty=hex(7):00,00\n"
         L"Tail=hex(7):61,00,5c,00,00,00,00,00\n"
         L"Two=hex(7):61,00,00,00,62,00,00,00,00,00\n"},
        {"strings and default values keep their exact text",
         L"K = s '' { val 'a\\b' = S 'x y\tz' } L = s \x00E9\x4E2D\xD83D\xDE00", S_OK,
         L"[]\n[K]\n@=sz:\"\"\na\\b=sz:\"x y\tz\"\n[L]\n@=sz:\"\x00E9\x4E2D\xD83D\xDE00\"\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(scratch_.Reset());
        EXPECT_HR(c.result, Register(c.body)) << c.what;
        EXPECT_EQ(c.tree, Tree()) << c.what;
    }
}
