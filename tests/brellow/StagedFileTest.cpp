// The engine's crash-safe write, in-process: a staged file takes its final
// name only when free, keeps the times and attributes it was given, and
// leaves nothing behind when it is not committed.
#include "EngineHarness.h"
#include "StagedFile.h"

#include <gtest/gtest.h>

using namespace brelltest;

namespace {

void Write(HANDLE file, const char* text) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr));
}

TEST(StagedFile, TakesOnlyAFreeNameAndLeavesNothingWhenNotCommitted) {
    ScratchFolder folder;
    WriteBytes(folder / L"taken.txt", "theirs");
    LARGE_INTEGER created, written;
    created.QuadPart = 0x01C0000012345600LL;
    written.QuadPart = 0x01D0000065432100LL;
    {
        brellow::StagedFile staged;
        ASSERT_EQ(staged.Create(folder.path(), 0, false), 0u);
        const std::wstring temporary = staged.path();
        EXPECT_TRUE(IsStagedName(temporary.substr(temporary.find_last_of(L'\\') + 1)));
        EXPECT_TRUE(GetFileAttributesW(temporary.c_str()) & FILE_ATTRIBUTE_HIDDEN);
        Write(staged.handle(), "ours");
        ASSERT_EQ(staged.Finish(created, written, FILE_ATTRIBUTE_READONLY), 0u);

        // A name in use is refused and left as it was; the copy stays staged.
        EXPECT_THAT(staged.Commit(folder / L"taken.txt"),
                    AnyOf(static_cast<DWORD>(ERROR_ALREADY_EXISTS), static_cast<DWORD>(ERROR_FILE_EXISTS)));
        EXPECT_EQ(ReadBytes(folder / L"taken.txt"), "theirs");
        EXPECT_TRUE(Exists(temporary));
        ASSERT_EQ(staged.Commit(folder / L"free.txt"), 0u);
        EXPECT_FALSE(Exists(temporary));
    }
    EXPECT_EQ(ReadBytes(folder / L"free.txt"), "ours");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW((folder / L"free.txt").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // Wine keeps no creation time, so only the last write time is compared.
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, static_cast<DWORD>(written.HighPart));
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, written.LowPart);

    // Given up after Finish (read-only by then), marked or not: removed.
    for (bool marked : {false, true}) {
        brellow::StagedFile staged;
        ASSERT_EQ(staged.Create(folder.path(), 0, marked), 0u);
        Write(staged.handle(), "given up");
        ASSERT_EQ(staged.Finish(created, written, FILE_ATTRIBUTE_READONLY), 0u);
    }
    EXPECT_THAT(ListTree(folder.path()), ElementsAre(L"free.txt", L"taken.txt"));
}

}  // namespace
