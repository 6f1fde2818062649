// Conversion of S, D, B and M values, checked byte for byte in the registry.
#include "ScratchTest.h"

class Values : public ScratchTest {};

TEST_F(Values, NumbersAreLittleEndianDwords) {
    ASSERT_HR(S_OK, Register(L"val One = d 1 val Max = D 4294967295 val Spaced = d ' 17 ' val Zero = d 0"));
    EXPECT_EQ(L"[]\nMax=dword:ffffffff\nOne=dword:00000001\nSpaced=dword:00000011\nZero=dword:00000000\n", Tree());
}

TEST_F(Values, TextThatIsNoNumberFailsAndWritesNothing) {
    HRESULT hr = Register(L"K { val N = d 'twelve' }");
    EXPECT_TRUE(FAILED(hr)) << Hr(hr);
    EXPECT_HR(DISP_E_TYPEMISMATCH, hr);
    EXPECT_HR(DISP_E_OVERFLOW, Register(L"K { val N = d 4294967296 }"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Values, BinaryIsHexPairsHighDigitFirst) {
    ASSERT_HR(S_OK, Register(L"val B = b 0aFF val Empty = B '' val Odd = b 'g1Zz'"));
    EXPECT_EQ(L"[]\nB=hex(3):0a,ff\nEmpty=hex(3):\nOdd=hex(3):01,00\n", Tree());
}

TEST_F(Values, BinaryOfOddLengthFailsAndIsTakenBack) {
    EXPECT_HR(E_FAIL, Register(L"K { val B = b 0aF }"));
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Values, LongBinaryAndMultiStringsUseTheHeapIntact) {
    std::wstring hex;
    std::wstring expected;
    for (int i = 0; i < 600; ++i) {
        wchar_t pair[8];
        swprintf(pair, 8, L"%02X", i % 256);
        hex += pair;
        swprintf(pair, 8, i ? L",%02x" : L"%02x", i % 256);
        expected += pair;
    }
    const std::wstring longText(300, L'm');
    ASSERT_HR(S_OK, Register(L"val B = b " + hex + L" val M = m '" + longText + L"\\0" + longText + L"'"));
    std::wstring multi;
    for (wchar_t c : longText + L'\0' + longText + L'\0' + L'\0') {
        wchar_t unit[16];
        swprintf(unit, 16, L",%02x,%02x", c & 0xFF, c >> 8);
        multi += unit;
    }
    EXPECT_EQ(L"[]\nB=hex(3):" + expected + L"\nM=hex(7):" + multi.substr(1) + L"\n", Tree());
}

TEST_F(Values, MultiStringSeparatorsAndEmptyElements) {
    ASSERT_HR(S_OK, Register(L"val Two = m 'a\\0b' val Cut = m 'a\\0\\0b' val Empty = m '' "
                             L"val Backslash = m 'c:\\x\\1\\0' val Tail = m 'a\\'"));
    EXPECT_EQ(L"[]\n"
              L"Backslash=hex(7):63,00,3a,00,5c,00,78,00,5c,00,31,00,00,00,00,00\n"
              L"Cut=hex(7):61,00,00,00,00,00\n"
              L"Empty=hex(7):00,00\n"
              L"Tail=hex(7):61,00,5c,00,00,00,00,00\n"
              L"Two=hex(7):61,00,00,00,62,00,00,00,00,00\n",
              Tree());
}

TEST_F(Values, StringsAndDefaultValuesKeepTheirExactText) {
    ASSERT_HR(S_OK, Register(L"K = s '' { val 'a\\b' = S 'x y\tz' } L = s \x00E9\x4E2D\xD83D\xDE00"));
    EXPECT_EQ(L"[]\n[K]\n@=sz:\"\"\na\\b=sz:\"x y\tz\"\n[L]\n@=sz:\"\x00E9\x4E2D\xD83D\xDE00\"\n", Tree());
}
