// The preprocessing output buffer: its initial capacity, doubling and limit.
#include "ScratchTest.h"

#include "registrar/ScriptBuffer.h"

TEST(ScriptBuffer, InitialCapacityIsTwiceTheInputOrAThousand) {
    CScriptBuffer small;
    ASSERT_HR(S_OK, small.Init(49));
    EXPECT_EQ(1000, small.Capacity());
    CScriptBuffer exact;
    ASSERT_HR(S_OK, exact.Init(50));
    EXPECT_EQ(100, exact.Capacity());
    EXPECT_EQ(0, exact.Length());
    EXPECT_STREQ(L"", exact.Text());
}

TEST(ScriptBuffer, GrowsByDoublingUntilTheNeedFitsAndStaysTerminated) {
    CScriptBuffer buffer;
    ASSERT_HR(S_OK, buffer.Init(50));
    const std::wstring chunk(99, L'a');
    ASSERT_HR(S_OK, buffer.Append(chunk.c_str(), 98));
    EXPECT_EQ(100, buffer.Capacity());
    // 98 + 1 + 1 reaches the capacity of 100: doubled once
    ASSERT_HR(S_OK, buffer.AppendChar(L'b'));
    EXPECT_EQ(200, buffer.Capacity());
    // 99 + 700 + 1 needs three doublings
    const std::wstring big(700, L'c');
    ASSERT_HR(S_OK, buffer.AppendString(big.c_str()));
    EXPECT_EQ(1600, buffer.Capacity());
    EXPECT_EQ(799, buffer.Length());
    EXPECT_EQ(std::wstring(98, L'a') + L"b" + big, std::wstring(buffer.Text()));

    wchar_t* text = buffer.Detach();
    EXPECT_EQ(nullptr, buffer.Text());
    EXPECT_EQ(799u, wcslen(text));
    CoTaskMemFree(text);
}

TEST(ScriptBuffer, CapacityBeyondTheLimitIsOutOfMemory) {
    CScriptBuffer tooLarge;
    EXPECT_HR(E_OUTOFMEMORY, tooLarge.Init(0x20000000));
    EXPECT_EQ(nullptr, tooLarge.Text());
    EXPECT_HR(E_OUTOFMEMORY, tooLarge.AppendChar(L'x'));
}
