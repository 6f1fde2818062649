// The classic entry on Windows 11: where the packaged "Paste with Brellow"
// shows (64-bit Explorer, the package registered for the user, a folder of
// the file system) the classic handler adds nothing, so "Show more options"
// lists the entry once; everywhere else it adds its item as before. Driven
// through menuhost, which plays Explorer when it runs as explorer.exe and,
// with --package-registered, plays Windows 11 with the package registered
// for the user (Wine has no packages).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"

using namespace brelltest;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr wchar_t kFamily[] = BRELL_PACKAGE_FAMILY;
constexpr wchar_t kThisPc[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
constexpr char kItem[] = "Paste with Brellow  -- ";

class StepAside : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(RunAndWait(L"regsvr32 /s \"" + BinPath(L"Brellmenu.dll") + L"\""), 0u);
        ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", BinDir(), KEY_WOW64_32KEY), ERROR_SUCCESS);
    }

    // menuhost, or a copy of it named explorer.exe, on the folder's
    // background menu with a file on the clipboard.
    Captured Menu(bool asExplorer, const std::wstring& folder, const wchar_t* registered) {
        std::wstring host = BinPath(L"menuhost.exe");
        if (asExplorer) {
            host = explorer_.path() + L"\\explorer.exe";
            if (!Exists(host)) {
                EXPECT_TRUE(CopyFileW(BinPath(L"menuhost.exe").c_str(), host.c_str(), FALSE));
            }
        }
        std::wstring command = L"\"" + host + L"\" \"" + folder + L"\" --put-files \"" + BinPath(L"menuhost.exe") + L"\"";
        if (registered) command += std::wstring(L" --package-registered ") + registered;
        return RunAndCapture(command);
    }

    ScratchFolder explorer_{L"step-aside-host"};
    ScratchFolder folder_{L"step-aside-folder"};
};

TEST_F(StepAside, TheClassicItemStepsAsideOnlyWhereThePackagedOneShows) {
#if defined(_WIN64)
    const bool x64 = true;
#else
    const bool x64 = false;  // 32-bit programs' dialogs never show the packaged command
#endif
    struct Case {
        const char* name;
        bool asExplorer;
        const wchar_t* registered;  // the family registered for the user, or none
        bool thisPc;                // This PC rather than a folder of the file system
        bool shown;
        const wchar_t* asked;  // the families the handler asked about
    };
    const Case cases[] = {
        {"package registered in Explorer", true, kFamily, false, !x64, x64 ? kFamily : L""},
        {"no package registered", true, nullptr, false, true, L""},
        {"another family registered", true, L"Other.Package_0123456789abc", false, true, x64 ? kFamily : L""},
        {"not Explorer", false, kFamily, false, true, L""},
        {"This PC", true, kFamily, true, true, x64 ? kFamily : L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Captured run = Menu(c.asExplorer, c.thisPc ? kThisPc : folder_.path(), c.registered);
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        if (c.shown)
            EXPECT_THAT(run.output, HasSubstr(kItem));
        else
            EXPECT_THAT(run.output, Not(HasSubstr(kItem)));
        if (c.registered) {
            EXPECT_THAT(run.output, HasSubstr("package families asked: " + Utf8(c.asked) + "\r\n"));
        }
    }
}

}  // namespace
