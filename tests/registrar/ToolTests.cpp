// regscript.exe driven as a person would: a script file, a command line, the
// printed HRESULT and the exit code.
#include "ScratchTest.h"

#include <string>

namespace {

std::wstring ToolPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + L"regscript.exe";
}

struct ToolResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

ToolResult RunTool(const std::wstring& arguments) {
    ToolResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + ToolPath() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[512];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) result.output.append(buffer, read);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return result;
}

std::wstring WriteScriptFile(const std::wstring& name, const std::string& bytes) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

}  // namespace

class Tool : public ScratchTest {
protected:
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellToolUser");
        ScratchTest::TearDown();
    }
    std::string Body(const std::string& body) const {
        return "HKCU { NoRemove Software { NoRemove BrellTest { NoRemove '" + ToUtf8(scratchName_) + "' { " + body +
               " } } } }\r\n";
    }
};

TEST_F(Tool, RegistersAndUnregistersAFileWithVariables) {
    const std::wstring file =
        WriteScriptFile(L"brell-tool-1.rgs", Body("Key = s '%Module%' { val Raw = s '%First%;\xe9' }"));
    ToolResult r = RunTool(L"register \"" + file + L"\" --var Module=C:\\a''b.dll --var first=1 --var First=2");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ("0x00000000", r.output.substr(0, 10));
    // the 8-bit byte reads as the tool's ANSI code page has it
    wchar_t decoded[2] = {};
    MultiByteToWideChar(CP_ACP, 0, "\xe9", 1, decoded, 1);
    EXPECT_EQ(L"[]\n[Key]\n@=sz:\"C:\\a'b.dll\"\nRaw=sz:\"1;" + std::wstring(decoded) + L"\"\n", Tree());

    r = RunTool(L"unregister \"" + file + L"\" --var Module=x --var First=y");
    EXPECT_EQ(0u, r.exitCode);
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Tool, FailureIsPrintedAndGivesANonZeroExitCode) {
    const std::wstring file = WriteScriptFile(L"brell-tool-2.rgs", Body("Key = s '%Undefined%'"));
    ToolResult r = RunTool(L"register \"" + file + L"\"");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ("0x80020009", r.output.substr(0, 10));

    r = RunTool(L"register C:\\no\\such\\file.rgs");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ("0x80070003", r.output.substr(0, 10));

    r = RunTool(L"install \"" + file + L"\"");
    EXPECT_EQ(2u, r.exitCode);
    EXPECT_EQ(L"[]\n", Tree());
}

TEST_F(Tool, UserSwitchRedirectsHkcr) {
    const std::wstring file = WriteScriptFile(L"brell-tool-3.rgs", "HKCR\r\n{\r\n\tBrellToolUser = s 'u'\r\n}\r\n");
    ToolResult r = RunTool(L"register \"" + file + L"\" --user");
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ(L"[]\n@=sz:\"u\"\n", DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellToolUser"));
    r = RunTool(L"unregister \"" + file + L"\" --user");
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ(L"<absent>", DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellToolUser"));
}
