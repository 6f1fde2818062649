// regscript.exe driven as a person would: a script file, a command line, the
// printed HRESULT and the exit code.
#include "ScratchTest.h"

#include <string>

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"

namespace {

Captured RunTool(const std::wstring& arguments) {
    return RunAndCapture(L"\"" + BinPath(L"regscript.exe") + L"\" " + arguments);
}

std::wstring WriteScriptFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = TempFolder() + L"\\" + name;
    WriteBytes(path, bytes);
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
        return "HKCU { NoRemove Software { NoRemove BrellTest { NoRemove '" + Utf8(scratchName_) + "' { " + body +
               " } } } }\r\n";
    }
};

TEST_F(Tool, RegistersAndUnregistersAFileWithVariables) {
    const std::wstring file =
        WriteScriptFile(L"brell-tool-1.rgs", Body("Key = s '%Module%' { val Raw = s '%First%;\xe9' }"));
    Captured r = RunTool(L"register \"" + file + L"\" --var Module=C:\\a''b.dll --var first=1 --var First=2");
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
    Captured r = RunTool(L"register \"" + file + L"\"");
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
    Captured r = RunTool(L"register \"" + file + L"\" --user");
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ(L"[]\n@=sz:\"u\"\n", DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellToolUser"));
    r = RunTool(L"unregister \"" + file + L"\" --user");
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ(L"<absent>", DumpTree(HKEY_CURRENT_USER, L"Software\\Classes\\BrellToolUser"));
}
