// The installer and the right-drag menu (Brelldrop.dll): installed in the
// build of Explorer's bitness, registered machine-wide for folders, drives
// and libraries, and removed again by the uninstaller, also when the server
// cannot unregister itself. Both kinds of Windows: the x64 build's tests run
// in a 64-bit prefix, the x86 build's in a 32-bit one.
#include "InstallerSupport.h"

#include <gmock/gmock.h>

namespace {

using namespace brell::installer_test;

constexpr wchar_t kDropClsid[] = L"{01235473-D7EE-48CD-944F-1D3557DAD0CE}";
const wchar_t* const kDropClasses[] = {L"Directory", L"Drive", L"Folder"};

// The view Explorer's classes live in: the 64-bit one on 64-bit Windows.
REGSAM ExplorerView() { return SixtyFourBitWindows() ? View64() : 0; }

std::wstring HandlerKey(const wchar_t* cls) {
    return std::wstring(kClasses) + cls + L"\\shellex\\DragDropHandlers\\Brellow";
}
std::wstring DropClassKey() { return std::wstring(kClasses) + L"CLSID\\" + kDropClsid; }

// The shell keys the registration writes into, as one text.
std::string DropSharedKeys() {
    std::wstring dump;
    for (const wchar_t* cls : kDropClasses)
        dump += std::wstring(L"== ") + cls + L"\n" +
                DumpTree(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + cls + L"\\shellex", ExplorerView()) + L"\n";
    return Utf8(dump);
}

class DropInstall : public Installer {
protected:
    void ExpectRegistered() {
        EXPECT_EQ(_wcsicmp(MachineString(DropClassKey() + L"\\InprocServer32", nullptr, ExplorerView()).c_str(),
                           (folder_ + L"\\Brelldrop.dll").c_str()),
                  0);
        for (const wchar_t* cls : kDropClasses)
            EXPECT_EQ(MachineString(HandlerKey(cls), nullptr, ExplorerView()), kDropClsid) << Utf8(cls);
    }
    void ExpectGone() {
        for (REGSAM view : Views()) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DropClassKey(), view));
            for (const wchar_t* cls : kDropClasses) EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, HandlerKey(cls), view));
        }
    }
};

TEST_F(DropInstall, RegistersTheRightDragMenuAndTheUninstallTakesItAway) {
    const std::string sharedBefore = DropSharedKeys();
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(MachineOf(folder_ + L"\\Brelldrop.dll"),
              SixtyFourBitWindows() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    EXPECT_FALSE(Exists(folder_ + L"\\x86\\Brelldrop.dll")) << "32-bit programs' dialogs do not drag";
    ExpectRegistered();

    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(Exists(folder_));
    ExpectGone();
    EXPECT_EQ(DropSharedKeys(), sharedBefore);
}

// The DLL gone, regsvr32 /u cannot run it: the uninstaller removes the keys
// its script writes, and still succeeds.
TEST_F(DropInstall, ARegistrationTheServerCannotRemoveIsRemovedByTheUninstaller) {
    ASSERT_EQ(Install(), 0u);
    ASSERT_TRUE(DeleteFileW((folder_ + L"\\Brelldrop.dll").c_str()));
    ASSERT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(Exists(folder_));
    ExpectGone();
}

}  // namespace
