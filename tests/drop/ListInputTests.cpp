// The engine's second input: the list the right-drag menu hands over through
// an inherited pipe. Well-formed lists go through the menu's own hand-over
// (StartEngineWithList) to the real brellow.exe; crafted streams are written
// into a pipe byte by byte. Whatever the stream, a list that is not whole
// and well-formed copies nothing, and the clipboard is never touched.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"
#include "launch/ListLaunch.h"
#include "support/Clipboard.h"
#include "Owners.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>

using namespace brelltest;

namespace {

std::string WideBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

// A wide CF_HDROP block of the paths.
std::string HdropBlock(const std::vector<std::wstring>& paths) {
    DROPFILES header = {};
    header.pFiles = sizeof(header);
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof(header));
    for (const std::wstring& path : paths) block += WideBytes(path);
    return block + std::string(2, '\0');
}

std::string Header(brell::DropMode mode, uint32_t blockBytes, const char* magic = "BrDL",
                   uint32_t version = brell::kDropListVersion) {
    brell::DropListHeader header = {};
    std::memcpy(header.magic, magic, 4);
    header.version = version;
    header.mode = static_cast<uint32_t>(mode);
    header.blockBytes = blockBytes;
    return std::string(reinterpret_cast<const char*>(&header), sizeof(header));
}

// Waits for the engine and reads its report, as RunEngine does.
EngineRun Finish(HANDLE process, const std::wstring& reportPath) {
    EngineRun run;
    if (!process) return run;
    if (WaitForSingleObject(process, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &run.exitCode);
    CloseHandle(process);
    run.report = ReadBytes(reportPath);
    return run;
}

// Starts the engine with arguments (after its name) and one inherited handle.
HANDLE StartInheriting(const std::wstring& arguments, HANDLE handle) {
    std::wstring line = L"\"" + EnginePath() + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (!handle) {
        STARTUPINFOW plain = {};
        plain.cb = sizeof(plain);
        if (!CreateProcessW(EnginePath().c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &plain,
                            &process))
            return nullptr;
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> buffer(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return nullptr;
    UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle, sizeof(handle), nullptr,
                              nullptr);
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes;
    const BOOL started = CreateProcessW(EnginePath().c_str(), &line[0], nullptr, nullptr, TRUE,
                                        EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &process);
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    DeleteProcThreadAttributeList(attributes);
    if (!started) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// The names directly in folder (the scratch folders of the tests among them).
std::vector<std::wstring> TopLevel(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : ListTree(folder))
        if (name.find(L'\\') == std::wstring::npos || name.find(L'\\') == name.size() - 1) names.push_back(name);
    return names;
}

std::wstring Decimal(HANDLE handle) { return std::to_wstring(reinterpret_cast<ULONG_PTR>(handle)); }

class ListInput : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(WriteBytes(source / L"a.txt", "a"));
        ASSERT_TRUE(WriteBytes(source / L"b.txt", "b"));
        // The clipboard holds something else; no list run may change it.
        ASSERT_TRUE(brell::PutClipboardText(L"keep me"));
        sequence_ = GetClipboardSequenceNumber();
        SetEnvironmentVariableW(L"BRELLOW_REPORT", report_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);
        EXPECT_EQ(sequence_, GetClipboardSequenceNumber());
        EXPECT_FALSE(ClipboardHasFiles());
        EngineFixture::TearDown();
    }

    std::vector<std::wstring> Sources() const { return {source / L"a.txt", source / L"b.txt"}; }

    // The menu's own hand-over of a list.
    EngineRun HandOver(brell::DropMode mode, const std::string& block) {
        HANDLE process = nullptr;
        EXPECT_EQ(S_OK, StartEngineWithList(EnginePath().c_str(), target.path().c_str(), mode, block.data(),
                                            block.size(), &process));
        return Finish(process, report_);
    }

    // A stream written whole into a pipe before the engine starts, then the
    // writer gone: flag is "copy" or "move".
    EngineRun Stream(const std::string& bytes, const wchar_t* flag = L"copy") {
        brell::UniqueHandle readEnd, writeEnd;
        EXPECT_TRUE(CreatePipe(readEnd.put(), writeEnd.put(), nullptr, static_cast<DWORD>(bytes.size() + 1)));
        DWORD written = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(WriteFile(writeEnd.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        }
        writeEnd.reset();
        return Finish(StartInheriting(std::wstring(L"--list-") + flag + L"=" + Decimal(readEnd.get()) + L" \"" +
                                          target.path() + L"\"",
                                      readEnd.get()),
                      report_);
    }

    void ExpectNothingDone(const EngineRun& run, const char* fatal) {
        EXPECT_EQ(2u, run.exitCode) << run.report;
        EXPECT_THAT(run.report, HasSubstr(std::string("fatal\t") + fatal)) << run.report;
        EXPECT_THAT(ListTree(target.path()), IsEmpty());
        EXPECT_EQ("a", ReadBytes(source / L"a.txt"));
        EXPECT_EQ("b", ReadBytes(source / L"b.txt"));
    }

    ScratchFolder reportFolder_{L"list-report"};
    std::wstring report_ = reportFolder_ / L"report.txt";
    DWORD sequence_ = 0;
};

TEST_F(ListInput, CopyTakesTheListAndLeavesTheSources) {
    const EngineRun run = HandOver(brell::DropMode::Copy, HdropBlock(Sources()));
    EXPECT_EQ(0u, run.exitCode) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt", L"b.txt"));
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"a.txt", L"b.txt"));
}

// A move: nothing of the clipboard (TearDown), nothing left in the
// temporary folder, the sources gone.
TEST_F(ListInput, MoveTakesTheListAndLeavesNothingBehind) {
    const std::vector<std::wstring> before = TopLevel(TempFolder());
    const EngineRun run = HandOver(brell::DropMode::Move, HdropBlock(Sources()));
    EXPECT_EQ(0u, run.exitCode) << run.report;
    EXPECT_THAT(run.report, HasSubstr("moved\t"));
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt", L"b.txt"));
    EXPECT_THAT(ListTree(source.path()), IsEmpty());
    EXPECT_EQ(before, TopLevel(TempFolder()));
}

TEST_F(ListInput, AStreamThatIsNotWholeAndWellFormedCopiesNothing) {
    const std::string block = HdropBlock(Sources());
    const auto size = static_cast<uint32_t>(block.size());
    DROPFILES badOffset = {};
    badOffset.pFiles = 0x10000;
    badOffset.fWide = TRUE;
    const std::string badBlock = std::string(reinterpret_cast<const char*>(&badOffset), sizeof(badOffset)) +
                                 WideBytes(source / L"a.txt") + std::string(2, '\0');
    const std::string emptyBlock = HdropBlock({});
    struct Case {
        const char* name;
        std::string stream;
        const wchar_t* flag;
        const char* fatal;
    };
    const Case cases[] = {
        {"nothing at all", "", L"copy", "The list of dragged files is gone"},
        {"half a header", Header(brell::DropMode::Copy, size).substr(0, 10), L"copy",
         "The list of dragged files ends before its end"},
        {"the block cut short", Header(brell::DropMode::Copy, size) + block.substr(0, block.size() - 5), L"copy",
         "The list of dragged files ends before its end"},
        {"bytes after the block", Header(brell::DropMode::Copy, size) + block + "x", L"copy",
         "The list of dragged files is longer than Brellow takes"},
        {"a length past the limit", Header(brell::DropMode::Copy, brell::kMaxDropListBytes + 1) + block, L"copy",
         "The list of dragged files is longer than Brellow takes"},
        {"another magic", Header(brell::DropMode::Copy, size, "BrDX") + block, L"copy",
         "The list of dragged files is not in Brellow's form"},
        {"another version", Header(brell::DropMode::Copy, size, "BrDL", 2) + block, L"copy",
         "The list of dragged files is not in Brellow's form"},
        {"a move list run as a copy", Header(brell::DropMode::Move, size) + block, L"copy",
         "The list of dragged files is not in Brellow's form, or asks for another operation"},
        {"a copy list run as a move", Header(brell::DropMode::Copy, size) + block, L"move",
         "The list of dragged files is not in Brellow's form, or asks for another operation"},
        {"a block that does not parse",
         Header(brell::DropMode::Copy, static_cast<uint32_t>(badBlock.size())) + badBlock, L"copy",
         "The list of dragged files is not in Brellow's form"},
        {"a list that names nothing",
         Header(brell::DropMode::Copy, static_cast<uint32_t>(emptyBlock.size())) + emptyBlock, L"copy",
         "The list of dragged files names no files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectNothingDone(Stream(c.stream, c.flag), c.fatal);
    }
}

// The handle on the command line must be a pipe the engine inherited.
TEST_F(ListInput, AHandleThatIsNoHandedOverListCopiesNothing) {
    const std::wstring folder = L" \"" + target.path() + L"\"";
    ExpectNothingDone(Finish(StartInheriting(L"--list-copy=999996" + folder, nullptr), report_),
                      "The list of dragged files is gone");

    // A file of the caller's, inherited under the list's switch.
    brell::UniqueHandle file(CreateFileW((source / L"a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    ExpectNothingDone(Finish(StartInheriting(L"--list-copy=" + Decimal(file.get()) + folder, file.get()), report_),
                      "The list of dragged files was not handed over");

    // A switch without a number, or with more after it, is no command line
    // the engine takes.
    for (const wchar_t* line : {L"--list-copy=", L"--list-copy=12x", L"--list-link=12", L"--list-move=-4"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        ExpectNothingDone(Finish(StartInheriting(line + folder, nullptr), report_), "Brellow takes one argument");
    }
}

// An engine that dies while the handler has not yet written (killed, as a
// crash would end it) leaves nothing anywhere, and the handler's write then
// fails at once instead of waiting for a reader.
TEST_F(ListInput, AnEngineKilledBeforeTheListLeavesNothingAndFreesTheWriter) {
    const std::vector<std::wstring> before = TopLevel(TempFolder());
    brell::UniqueHandle readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(readEnd.put(), writeEnd.put(), nullptr, 1));
    HANDLE engine = StartInheriting(L"--list-move=" + Decimal(readEnd.get()) + L" \"" + target.path() + L"\"",
                                    readEnd.get());
    ASSERT_NE(nullptr, engine);
    readEnd.reset();
    TerminateProcess(engine, 9);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(engine, 60000));
    CloseHandle(engine);

    const std::string block = HdropBlock(Sources());
    const std::string stream = Header(brell::DropMode::Move, static_cast<uint32_t>(block.size())) + block;
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(writeEnd.get(), stream.data(), static_cast<DWORD>(stream.size()), &written, nullptr));
    EXPECT_THAT(ListTree(target.path()), IsEmpty());
    EXPECT_THAT(ListTree(source.path()), ElementsAre(L"a.txt", L"b.txt"));
    EXPECT_EQ(before, TopLevel(TempFolder()));
}

// A list is read once: a second engine given the same pipe finds it gone.
TEST_F(ListInput, ASecondRunOnTheSameListFindsItGone) {
    const std::string block = HdropBlock(Sources());
    const std::string stream = Header(brell::DropMode::Move, static_cast<uint32_t>(block.size())) + block;
    brell::UniqueHandle readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(readEnd.put(), writeEnd.put(), nullptr, static_cast<DWORD>(stream.size())));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd.get(), stream.data(), static_cast<DWORD>(stream.size()), &written, nullptr));
    writeEnd.reset();
    const std::wstring arguments = L"--list-move=" + Decimal(readEnd.get()) + L" \"" + target.path() + L"\"";
    EngineRun run = Finish(StartInheriting(arguments, readEnd.get()), report_);
    EXPECT_EQ(0u, run.exitCode) << run.report;
    EXPECT_THAT(ListTree(target.path()), ElementsAre(L"a.txt", L"b.txt"));

    RemoveTree(target.path());
    ASSERT_TRUE(MakeFolders(target.path()));
    run = Finish(StartInheriting(arguments, readEnd.get()), report_);
    EXPECT_EQ(2u, run.exitCode) << run.report;
    EXPECT_THAT(run.report, HasSubstr("fatal\tThe list of dragged files is gone"));
    EXPECT_THAT(ListTree(target.path()), IsEmpty());
}

}  // namespace
