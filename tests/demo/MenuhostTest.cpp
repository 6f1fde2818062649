// menuhost against the real Brellmenu.dll registered with the real regsvr32,
// and the real engine behind it: the menu Explorer would show, and the paste.
// The same again for Windows 11's top-level menu (--modern), with the
// packaged command's class registered as its package registers it.
#include "PutClipboardFiles.h"
#include "command/CommandIdentity.h"
#include "support/TestSupport.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using brelltest::Captured;
using brelltest::RunAndCapture;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr wchar_t kClsid[] = L"{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}";
constexpr wchar_t kHandlers[] = L"Directory\\Background\\shellex\\ContextMenuHandlers";

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring Scratch(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

class Menuhost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring dll = ProgramFolder() + L"\\Brellmenu.dll";
        ASSERT_EQ(RunAndCapture(L"regsvr32 /s \"" + dll + L"\"").exitCode, 0u);
        // The engine lies next to the tests; the menu reads its folder
        // through the 32-bit view, as the installer writes it.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Halvorin\\Brellow", 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring folder = ProgramFolder();
        RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);

        // The command's class as its package declares it (machine-wide:
        // Wine's COM reads no per-user classes).
        wchar_t clsid[40] = L"";
        ASSERT_GT(StringFromGUID2(CLSID_PasteCommand, clsid, 40), 0);
        const std::wstring server = std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\InprocServer32";
        ASSERT_EQ(brelltest::WriteString(HKEY_LOCAL_MACHINE, server, nullptr, ProgramFolder() + L"\\Brellcmd.dll"),
                  ERROR_SUCCESS);
        ASSERT_EQ(brelltest::WriteString(HKEY_LOCAL_MACHINE, server, L"ThreadingModel", L"Apartment"), ERROR_SUCCESS);
    }

    std::wstring MenuhostLine(const std::wstring& arguments) {
        return L"\"" + ProgramFolder() + L"\\menuhost.exe\" " + arguments;
    }
};

// Both menus: the classic one and (--modern) Windows 11's top-level one.
class BothMenus : public Menuhost, public ::testing::WithParamInterface<const wchar_t*> {
protected:
    std::wstring MenuhostLine(const std::wstring& arguments) {
        return Menuhost::MenuhostLine(std::wstring(GetParam()) + arguments);
    }
};

TEST_P(BothMenus, ListsTheItemOnlyWhileTheClipboardHoldsFiles) {
    const std::wstring folder = Scratch(L"menuhost-list");
    ASSERT_TRUE(brell::PutClipboardText(L"just text"));
    Captured run = RunAndCapture(MenuhostLine(L"\"" + folder + L"\" --invoke \"Paste with Brellow\""));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_THAT(run.output, Not(HasSubstr("Paste with Brellow  --")));

    ASSERT_TRUE(brell::PutClipboardFiles({ProgramFolder() + L"\\menuhost.exe"}));
    run = RunAndCapture(MenuhostLine(L"\"" + folder + L"\""));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("[1] Paste with Brellow  -- "));
    RemoveDirectoryW(folder.c_str());
}

INSTANTIATE_TEST_SUITE_P(Menus, BothMenus, ::testing::Values(L"", L"--modern "),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "Classic" : "Modern";
                         });

TEST_F(Menuhost, FindsAHandlerNamedByItsClassId) {
    // The other form Explorer accepts: the subkey's name is the class id.
    HKEY handlers = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kHandlers, 0, KEY_ALL_ACCESS, &handlers), ERROR_SUCCESS);
    RegDeleteTreeW(handlers, L"Brellow");
    HKEY named = nullptr;
    ASSERT_EQ(RegCreateKeyExW(handlers, kClsid, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &named, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(named);

    const std::wstring folder = Scratch(L"menuhost-named");
    ASSERT_TRUE(brell::PutClipboardFiles({ProgramFolder() + L"\\menuhost.exe"}));
    const Captured run = RunAndCapture(MenuhostLine(L"\"" + folder + L"\""));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Paste with Brellow"));

    RegDeleteTreeW(handlers, kClsid);
    RegCloseKey(handlers);
    RemoveDirectoryW(folder.c_str());
    // Back to the form registration writes, for the other tests.
    ASSERT_EQ(RunAndCapture(L"regsvr32 /s \"" + ProgramFolder() + L"\\Brellmenu.dll\"").exitCode, 0u);
}

TEST_P(BothMenus, PasteWithBrellowCopiesTheFilesIntoTheFolder) {
    const std::wstring source = Scratch(L"menuhost-source");
    const std::wstring target = Scratch(L"menuhost target with spaces");
    const std::wstring file = source + L"\\pasted.txt";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(handle, "pasted", 6, &written, nullptr);
    CloseHandle(handle);

    // menuhost puts the file on the clipboard and stays until the engine ends.
    const std::wstring report = source + L"\\report.txt";
    SetEnvironmentVariableW(L"BRELLOW_REPORT", report.c_str());
    const Captured run = RunAndCapture(MenuhostLine(L"\"" + target + L"\" --put-files \"" + file +
                                         L"\" --invoke \"Paste with Brellow\" --wait-engine"));
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);

    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("invoke \"Paste with Brellow\": 0x00000000"));
    EXPECT_THAT(run.output, HasSubstr("brellow.exe ended with exit code 0"));
    const std::wstring pasted = target + L"\\pasted.txt";
    char data[16] = {};
    handle = CreateFileW(pasted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << run.output;
    DWORD read = 0;
    ReadFile(handle, data, sizeof(data), &read, nullptr);
    CloseHandle(handle);
    EXPECT_EQ(std::string(data, read), "pasted");

    DeleteFileW(pasted.c_str());
    DeleteFileW(file.c_str());
    DeleteFileW(report.c_str());
    RemoveDirectoryW(target.c_str());
    RemoveDirectoryW(source.c_str());
}

TEST_F(Menuhost, CutThenPasteWithBrellowMovesTheFiles) {
    const std::wstring source = Scratch(L"menuhost-cut");
    const std::wstring target = Scratch(L"menuhost move target");
    const std::wstring file = source + L"\\moved.txt";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(handle, "moved", 5, &written, nullptr);
    CloseHandle(handle);

    const std::wstring report = target + L"-report.txt";
    SetEnvironmentVariableW(L"BRELLOW_REPORT", report.c_str());
    const Captured run = RunAndCapture(MenuhostLine(L"\"" + target + L"\" --cut-files \"" + file +
                                         L"\" --invoke \"Paste with Brellow\" --wait-engine"));
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);

    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("clipboard: 1 file(s), cut"));
    EXPECT_THAT(run.output, HasSubstr("brellow.exe ended with exit code 0"));
    // Gone from where it was, whole where it went, and no longer on the
    // clipboard for a second paste.
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring moved = target + L"\\moved.txt";
    char data[16] = {};
    handle = CreateFileW(moved.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << run.output;
    DWORD read = 0;
    ReadFile(handle, data, sizeof(data), &read, nullptr);
    CloseHandle(handle);
    EXPECT_EQ(std::string(data, read), "moved");
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));

    DeleteFileW(moved.c_str());
    DeleteFileW(report.c_str());
    RemoveDirectoryW(target.c_str());
    RemoveDirectoryW(source.c_str());
}

}  // namespace
