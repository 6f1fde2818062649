// What another program hands the engine: crafted clipboard blocks, paths
// spelled every way, a tree deeper than any stack. Nothing may crash it,
// nothing may land outside the chosen folder, and a failure is never told
// as success.
#include "CopyPlan.h"
#include "EngineHarness.h"
#include "PutClipboardFiles.h"
#include "support/Clipboard.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>

using namespace brelltest;

namespace {

class Inputs : public EngineFixture {};

std::string WideBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Ansi(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);  // the paths here are plain ASCII
    return out;
}

// A DROPFILES header (cut to headerBytes) followed by names, byte for byte.
std::string DropBlock(DWORD offset, bool wide, const std::string& names, size_t headerBytes = sizeof(DROPFILES)) {
    DROPFILES header = {};
    header.pFiles = offset;
    header.fWide = wide ? TRUE : FALSE;
    std::string block(reinterpret_cast<const char*>(&header), headerBytes);
    return block + names;
}

TEST_F(Inputs, AMalformedFileListIsRefusedWithoutCrashOrStrayPaths) {
    CreateDirectoryW((source / L"sub").c_str(), nullptr);
    WriteBytes(source / L"sub\\in.txt", "in");
    const std::wstring path = source / L"sub";
    const DWORD header = sizeof(DROPFILES);
    struct Case {
        const char* what;
        std::string block;
    };
    const Case cases[] = {
        {"names offset past the end", DropBlock(0x10000, true, WideBytes(path + std::wstring(2, L'\0')))},
        {"names offset inside the header", DropBlock(8, true, WideBytes(path + std::wstring(2, L'\0')))},
        {"no terminator at all", DropBlock(header, true, WideBytes(path))},
        {"the list's own terminator missing", DropBlock(header, true, WideBytes(path + std::wstring(1, L'\0')))},
        {"header cut short", DropBlock(header, true, "", 12)},
        {"ANSI name without a terminator", DropBlock(header, false, Ansi(path))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(PutClipboardBlock(CF_HDROP, c.block));
        const EngineRun run = RunEngine(EngineLine(target.path()));
        EXPECT_EQ(run.exitCode, 2u) << run.report;
        EXPECT_THAT(run.report, HasSubstr("fatal\tThe clipboard holds no files to paste."));
        EXPECT_THAT(ListTree(target.path()), IsEmpty());
    }
}

TEST_F(Inputs, EveryWellFormedFileListIsReadWhole) {
    WriteBytes(source / L"a.txt", "a");
    WriteBytes(source / L"b.txt", "b");

    // ANSI names, and bytes after the list's end that are no part of it.
    std::string block = DropBlock(sizeof(DROPFILES), false,
                                  Ansi(source / L"a.txt") + '\0' + Ansi(source / L"b.txt") + '\0' + '\0' + "junk");
    ASSERT_TRUE(PutClipboardBlock(CF_HDROP, block));
    EngineRun run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt", L"b.txt"));
    RemoveTree(target.path());
    CreateDirectoryW(target.path().c_str(), nullptr);

    // Wide names at an odd offset (nothing says they are aligned).
    block = DropBlock(sizeof(DROPFILES) + 1, true, std::string(1, '\x7f') + WideBytes(source / L"a.txt") +
                                                       std::string(4, '\0'));
    ASSERT_TRUE(PutClipboardBlock(CF_HDROP, block));
    run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt"));
    RemoveTree(target.path());
    CreateDirectoryW(target.path().c_str(), nullptr);

    // 10,000 names, every one read: 20 files that exist among missing ones.
    std::vector<std::wstring> names;
    for (int i = 0; i < 10000; ++i) {
        const std::wstring name = L"n" + std::to_wstring(i) + L".txt";
        if (i % 500 == 0) WriteBytes(source / name, std::to_string(i));
        names.push_back(source / name);
    }
    ASSERT_TRUE(brell::PutClipboardFiles(names));
    run = RunEngine(EngineLine(target.path()));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.report, HasSubstr("result\t1\t20\t0\t9980"));
    EXPECT_EQ(ListTree(target.path()).size(), 20u);
    EXPECT_EQ(ReadBytes(target / L"n9500.txt"), "9500");
}

TEST_F(Inputs, EverySpellingOfASourceStaysInsideTheChosenFolder) {
    const std::wstring esc = source / L"esc";
    CreateDirectoryW(esc.c_str(), nullptr);
    CreateDirectoryW((esc + L"\\inner").c_str(), nullptr);
    CreateDirectoryW((esc + L"\\inner\\sub").c_str(), nullptr);
    WriteBytes(esc + L"\\inner\\sub\\x.txt", "x");
    const std::wstring out = esc + L"\\out";
    CreateDirectoryW(out.c_str(), nullptr);

    // "sub\.." is the folder inner, copied as "inner", not into out's parent.
    ASSERT_TRUE(brell::PutClipboardFiles({esc + L"\\inner\\sub\\.."}));
    EngineRun run = RunEngine(EngineLine(out));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(esc), ElementsAre(L"inner\\", L"inner\\sub\\", L"inner\\sub\\x.txt", L"out\\",
                                           L"out\\inner\\", L"out\\inner\\sub\\", L"out\\inner\\sub\\x.txt"));
    RemoveTree(out + L"\\inner");

    // "sub\." is sub, copied as "sub", not poured into the target itself.
    ASSERT_TRUE(brell::PutClipboardFiles({esc + L"\\inner\\sub\\."}));
    run = RunEngine(EngineLine(out));
    EXPECT_EQ(run.exitCode, 0u) << run.report;
    EXPECT_THAT(ListTree(out), ElementsAre(L"sub\\", L"sub\\x.txt"));
    RemoveTree(out + L"\\sub");

    // A folder spelled with "/" or "." is still the folder that holds the target.
    std::wstring slashed = esc + L"\\inner";
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    for (const std::wstring& spelling : {slashed, esc + L"\\inner\\.", esc + L"\\inner\\sub\\..\\"}) {
        SCOPED_TRACE(Utf8(spelling));
        ASSERT_TRUE(brell::PutClipboardFiles({spelling}));
        run = RunEngine(EngineLine(esc + L"\\inner\\sub"));
        EXPECT_EQ(run.exitCode, 1u) << run.report;
        EXPECT_THAT(run.report, HasSubstr("cannot be copied into itself"));
        EXPECT_THAT(ListTree(esc + L"\\inner"), ElementsAre(L"sub\\", L"sub\\x.txt"));
    }
    EXPECT_THAT(ListTree(out), IsEmpty());
}

TEST_F(Inputs, RelativeEntriesAreRefusedWhereverTheEngineStarts) {
    CreateDirectoryW((source / L"rel").c_str(), nullptr);
    WriteBytes(source / L"rel\\r.txt", "r");
    WriteBytes(source / L"plain.txt", "p");
    const std::wstring drive = source.path().substr(0, 2);
    ASSERT_TRUE(brell::PutClipboardFiles({L"rel", L"plain.txt", L".\\rel", L"..\\" + LastName(source.path()),
                                          drive + L"rel", source.path().substr(2) + L"\\plain.txt"}));
    // Started inside the sources' folder: a relative name would find them there.
    const EngineRun run = RunEngine(EngineLine(target.path()), nullptr, source.path());
    EXPECT_EQ(run.exitCode, 1u) << run.report;
    EXPECT_THAT(run.report, HasSubstr("result\t1\t0\t0\t6"));
    EXPECT_THAT(run.report, HasSubstr("not a full path"));
    EXPECT_THAT(ListTree(target.path()), IsEmpty());
}

struct PlanOnSmallStack {
    const std::wstring* source;
    const std::wstring* target;
    brellow::CopyPlan plan;
    bool returned;
};

constexpr size_t kPlanningStack = 128 * 1024;

// Wine gives every thread at least a megabyte of stack, whatever was asked:
// the stack is used up here to the last kPlanningStack bytes before planning.
DWORD WINAPI PlanThread(void* parameter) {
    auto* job = static_cast<PlanOnSmallStack*>(parameter);
    using Limits = void(WINAPI*)(PULONG_PTR, PULONG_PTR);
    const auto proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentThreadStackLimits");
    ULONG_PTR low = 0, high = 0;
    if (proc) reinterpret_cast<Limits>(reinterpret_cast<void (*)()>(proc))(&low, &high);
    const auto here = reinterpret_cast<ULONG_PTR>(&low);
    volatile char* padding = nullptr;
    if (low && here - low > kPlanningStack + 4096) {
        padding = static_cast<volatile char*>(__builtin_alloca(here - low - kPlanningStack));
        padding[0] = 0;
    }
    job->plan = brellow::MakeCopyPlan({*job->source}, *job->target);
    job->returned = true;
    return padding ? 0 : 2;
}

TEST_F(Inputs, ATreeThreeThousandLevelsDeepIsCopiedWholeOrClearlyNot) {
    // Nine characters a level: 3,000 levels stay below the 32,767 characters
    // of a long path, far past what a recursive walk's stack holds. Wine
    // stops at its own path limit (4,096 bytes of the host's path) after a
    // few hundred levels: that must be a failure, told as one.
    const std::wstring name = L"levelname";
    const std::wstring deep = source / L"deep";
    ASSERT_TRUE(MakeDeepChain(deep, name, 3000));
    WriteBytes(deep + L"\\top.txt", "top");

    // The planner alone, with 128 KiB of stack: a walk that recursed would
    // overflow it within a few hundred levels, and end this process.
    PlanOnSmallStack job = {&deep, &target.path(), {}, false};
    HANDLE thread = CreateThread(nullptr, 0, PlanThread, &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_TRUE(job.returned);
    EXPECT_EQ(code, 0u);  // 2: the stack could not be limited
    EXPECT_GT(job.plan.items.size(), 300u);

    ASSERT_TRUE(brell::PutClipboardFiles({deep}));
    const EngineRun run = RunEngine(EngineLine(target.path()));
    if (run.exitCode == 0) {
        // No path limit on the way: all of it arrived.
        std::wstring bottom = L"\\\\?\\" + target / L"deep";
        for (int level = 0; level < 3000; ++level) bottom += L"\\" + name;
        EXPECT_EQ(ReadBytes(bottom + L"\\bottom.txt"), "bottom");
        EXPECT_EQ(job.plan.items.size(), 3003u);  // deep, 3,000 levels, top.txt and bottom.txt
    } else {
        EXPECT_EQ(run.exitCode, 1u) << run.report;
        EXPECT_THAT(run.report, HasSubstr("failed\t"));
        EXPECT_THAT(run.report, Not(HasSubstr("result\t0")));
        // The folders made on the way down, empty after the failure, are gone.
        EXPECT_THAT(ListTree(target.path()), ElementsAre(L"deep\\", L"deep\\top.txt"));
    }
    RemoveDeepChain(target / L"deep", name);
    RemoveDeepChain(deep, name);
}

}  // namespace
