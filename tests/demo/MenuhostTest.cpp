// menuhost against the real Brellmenu.dll registered with the real regsvr32,
// and the real engine behind it: the menu Explorer would show, and the paste.
// The same again for Windows 11's top-level menu (--modern), with the
// packaged command's class registered as its package registers it.
#include "PutClipboardFiles.h"
#include "command/CommandIdentity.h"
#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using namespace brelltest;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr wchar_t kHandlers[] = L"Directory\\Background\\shellex\\ContextMenuHandlers";

DWORD RegisterTheMenu() { return RunAndCapture(L"regsvr32 /s \"" + BinPath(L"Brellmenu.dll") + L"\"").exitCode; }

class Menuhost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(RegisterTheMenu(), 0u);
        // The engine lies next to the tests; the menu reads its folder
        // through the 32-bit view, as the installer writes it.
        ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", BinDir(), KEY_WOW64_32KEY), ERROR_SUCCESS);

        // The command's class as its package declares it (machine-wide:
        // Wine's COM reads no per-user classes).
        ASSERT_EQ(RegisterInprocServer(CLSID_PasteCommand, BinPath(L"Brellcmd.dll"), L"Apartment"), ERROR_SUCCESS);
    }

    // menu: "" for the classic menu, "--modern " for Windows 11's.
    static Captured RunMenuhost(const wchar_t* menu, const std::wstring& arguments) {
        return RunAndCapture(L"\"" + BinPath(L"menuhost.exe") + L"\" " + menu + arguments);
    }
};

// Both menus: the classic one and (--modern) Windows 11's top-level one.
class BothMenus : public Menuhost, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(BothMenus, ListsTheItemOnlyWhileTheClipboardHoldsFiles) {
    const ScratchFolder folder(L"menuhost-list");
    ASSERT_TRUE(brell::PutClipboardText(L"just text"));
    Captured run = RunMenuhost(GetParam(), L"\"" + folder.path() + L"\" --invoke \"Paste with Brellow\"");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_THAT(run.output, Not(HasSubstr("Paste with Brellow  --")));

    ASSERT_TRUE(brell::PutClipboardFiles({BinPath(L"menuhost.exe")}));
    run = RunMenuhost(GetParam(), L"\"" + folder.path() + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("[1] Paste with Brellow  -- "));
}

INSTANTIATE_TEST_SUITE_P(Menus, BothMenus, ::testing::Values(L"", L"--modern "),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "Classic" : "Modern";
                         });

TEST_F(Menuhost, FindsAHandlerNamedByItsClassId) {
    // The other form Explorer accepts: the subkey's name is the class id.
    const std::wstring handlers = kHandlers;
    DeleteTree(HKEY_CLASSES_ROOT, handlers + L"\\Brellow");
    ASSERT_TRUE(CreateKey(HKEY_CLASSES_ROOT, handlers + L"\\" + kMenuClsid));

    const ScratchFolder folder(L"menuhost-named");
    ASSERT_TRUE(brell::PutClipboardFiles({BinPath(L"menuhost.exe")}));
    const Captured run = RunMenuhost(L"", L"\"" + folder.path() + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Paste with Brellow"));

    DeleteTree(HKEY_CLASSES_ROOT, handlers + L"\\" + kMenuClsid);
    // Back to the form registration writes, for the other tests.
    ASSERT_EQ(RegisterTheMenu(), 0u);
}

// A copy (files put on the clipboard) and a move (files cut) through "Paste
// with Brellow": menuhost puts the file on the clipboard and stays until the
// engine ends.
struct Paste {
    const char* name;
    const wchar_t* menu;
    const wchar_t* clipboardSwitch;
    const char* told;  // what menuhost prints on the way
    bool moves;
};

class Pastes : public Menuhost, public ::testing::WithParamInterface<Paste> {};

TEST_P(Pastes, PasteWithBrellowPutsTheFilesIntoTheFolder) {
    const Paste& paste = GetParam();
    const ScratchFolder source(L"menuhost-source");
    const ScratchFolder target(L"menuhost target with spaces");
    const std::wstring file = source / L"pasted.txt";
    ASSERT_TRUE(WriteBytes(file, paste.name));

    SetEnvironmentVariableW(L"BRELLOW_REPORT", (source / L"report.txt").c_str());
    const Captured run = RunMenuhost(paste.menu, L"\"" + target.path() + L"\" " + paste.clipboardSwitch + L" \"" +
                                                     file + L"\" --invoke \"Paste with Brellow\" --wait-engine");
    SetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr);

    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr(paste.told));
    EXPECT_THAT(run.output, HasSubstr("brellow.exe ended with exit code 0"));
    EXPECT_EQ(ReadBytes(target / L"pasted.txt"), paste.name) << run.output;
    // A move leaves nothing where the file was, and nothing on the clipboard
    // for a second paste.
    EXPECT_EQ(Exists(file), !paste.moves);
    if (paste.moves) {
        EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));
    }
}

INSTANTIATE_TEST_SUITE_P(
    CopyAndMove, Pastes,
    ::testing::Values(Paste{"Copy", L"", L"--put-files", "invoke \"Paste with Brellow\": 0x00000000", false},
                      Paste{"CopyModern", L"--modern ", L"--put-files", "invoke \"Paste with Brellow\": 0x00000000",
                            false},
                      Paste{"Move", L"", L"--cut-files", "clipboard: 1 file(s), cut", true}),
    [](const ::testing::TestParamInfo<Paste>& info) { return std::string(info.param.name); });

}  // namespace
