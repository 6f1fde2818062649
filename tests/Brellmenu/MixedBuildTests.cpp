// The x86 and the x64 server registered side by side on 64-bit Windows, each
// through the regsvr32 of its bitness: each registry view gets its own class,
// the keys both views share (the shell's handler keys, the AppID, the type
// library) serve both, and unregistering one build leaves the other's menu
// working. The menu of either bitness finds the engine through the 32-bit
// view. This program is x64 and drives the x86 build beside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/RegistryDump.h"

using namespace brelltest;

namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t* const kHandlerKeys[] = {
    L"Software\\Classes\\Directory\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
    L"Software\\Classes\\LibraryFolder\\Background\\ShellEx\\ContextMenuHandlers\\Brellow",
};

enum class Bits { x86, x64 };

const wchar_t* Name(Bits bits) { return bits == Bits::x86 ? L"x86" : L"x64"; }
Bits Other(Bits bits) { return bits == Bits::x86 ? Bits::x64 : Bits::x86; }
REGSAM View(Bits bits) { return bits == Bits::x86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
const wchar_t* TypeLibPlatform(Bits bits) { return bits == Bits::x86 ? L"win32" : L"win64"; }

// The x86 build's bin folder, which the build names on the host.
std::wstring BuildFile(Bits bits, const wchar_t* file) {
    return (bits == Bits::x86 ? HostPath(BRELL_X86_BIN_DIR) : BinDir()) + L"\\" + file;
}

// Each build's server is copied to a folder of its own on C:, as an
// installer would place it.
std::wstring ServerPath(Bits bits) { return std::wstring(L"C:\\mixed\\") + Name(bits) + L"\\Brellmenu.dll"; }

// This program is 64-bit: system32 is the 64-bit folder, syswow64 the 32-bit one.
std::wstring Regsvr32(Bits bits) {
    return bits == Bits::x86 ? L"C:\\windows\\syswow64\\regsvr32.exe" : L"C:\\windows\\system32\\regsvr32.exe";
}

DWORD Register(Bits bits) { return RunAndWait(Regsvr32(bits) + L" /s \"" + ServerPath(bits) + L"\""); }
DWORD Unregister(Bits bits) {
    return RunAndWait(Regsvr32(bits) + L" /u /s \"" + ServerPath(bits) + L"\"");
}

std::wstring ClassServerKey() { return std::wstring(kClasses) + L"CLSID\\" + kMenuClsid + L"\\InprocServer32"; }

std::wstring ServerIn(Bits view) { return StringValue(HKEY_LOCAL_MACHINE, ClassServerKey(), nullptr, View(view)); }

std::wstring TypeLibVersionKey() { return std::wstring(kClasses) + L"TypeLib\\" + kMenuLibId + L"\\1.0"; }

// Whether the type library is registered for that build's platform, under
// whichever locale subkey.
bool TypeLibRegisteredFor(Bits bits) {
    bool found = false;
    for (const std::wstring& locale : Subkeys(HKEY_LOCAL_MACHINE, TypeLibVersionKey(), KEY_WOW64_64KEY))
        found = found || KeyExists(HKEY_LOCAL_MACHINE, TypeLibVersionKey() + L"\\" + locale + L"\\" +
                                                           TypeLibPlatform(bits), KEY_WOW64_64KEY);
    return found;
}

void WipeRegistration() {
    for (Bits view : {Bits::x86, Bits::x64}) {
        const REGSAM v = View(view);
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"CLSID\\" + kMenuClsid, v);
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID\\" + kMenuAppId, v);
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID\\Brellmenu.DLL", v);
        DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"TypeLib\\" + kMenuLibId, v);
        for (const wchar_t* key : kHandlerKeys) DeleteTree(HKEY_LOCAL_MACHINE, key, v);
    }
    ForgetProduct();
}

// Builds a folder's background menu the way Explorer of that bitness does,
// with a file on the clipboard, and optionally invokes the paste.
Captured BackgroundMenu(Bits bits, const std::wstring& folder, bool paste) {
    std::wstring line = L"\"" + BuildFile(bits, L"menuhost.exe") + L"\" \"" + folder +
                        L"\" --put-files C:\\windows\\win.ini";
    if (paste) line += L" --invoke \"Paste with Brellow\" --wait-engine";
    return RunAndCapture(line);
}

class MixedBuilds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (Bits bits : {Bits::x86, Bits::x64}) {
            MakeFolders(std::wstring(L"C:\\mixed\\") + Name(bits));
            ASSERT_TRUE(CopyFileW(BuildFile(bits, L"Brellmenu.dll").c_str(), ServerPath(bits).c_str(), FALSE))
                << "no " << Name(bits) << " build at " << BuildFile(bits, L"Brellmenu.dll");
        }
    }

    void SetUp() override {
        WipeRegistration();
        // The prefix must share the handler keys between the views as
        // Windows does (tests/wine/share-class-keys.py), or nothing here
        // would tell.
        ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kHandlerKeys[0], nullptr, L"probe",
                                             KEY_WOW64_32KEY));
        std::wstring seen;
        ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kHandlerKeys[0], nullptr, &seen, KEY_WOW64_64KEY))
            << "the test prefix does not share Directory between the registry views";
        DeleteTree(HKEY_LOCAL_MACHINE, kHandlerKeys[0], KEY_WOW64_64KEY);
    }
    void TearDown() override { WipeRegistration(); }

    void ExpectHandlerKeys(bool present) {
        for (Bits view : {Bits::x86, Bits::x64}) {
            for (const wchar_t* key : kHandlerKeys) {
                std::wstring clsid;
                const bool found = ReadString(HKEY_LOCAL_MACHINE, key, nullptr, &clsid, View(view));
                EXPECT_EQ(present, found) << key << " in the " << Name(view) << " view";
                if (present && found) {
                    EXPECT_EQ(kMenuClsid, clsid) << key;
                }
            }
        }
    }

    void ExpectAppId(bool present) {
        EXPECT_EQ(present, KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID\\" + kMenuAppId,
                                     KEY_WOW64_64KEY));
        EXPECT_EQ(present, KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kClasses) + L"AppID\\Brellmenu.DLL",
                                     KEY_WOW64_64KEY));
    }
};

TEST_F(MixedBuilds, EachViewGetsItsOwnServerWhicheverRegistersFirst) {
    for (Bits first : {Bits::x86, Bits::x64}) {
        SCOPED_TRACE(std::wstring(L"first: ") + Name(first));
        WipeRegistration();
        ASSERT_EQ(0u, Register(first));
        ASSERT_EQ(0u, Register(Other(first)));

        EXPECT_EQ(ServerPath(Bits::x86), ServerIn(Bits::x86));
        EXPECT_EQ(ServerPath(Bits::x64), ServerIn(Bits::x64));
        ExpectHandlerKeys(true);
        ExpectAppId(true);
        for (Bits bits : {Bits::x86, Bits::x64}) EXPECT_TRUE(TypeLibRegisteredFor(bits)) << Name(bits);

        // Explorer of either bitness shows the item.
        for (Bits bits : {Bits::x86, Bits::x64}) {
            const Captured menu = BackgroundMenu(bits, L"C:\\windows", false);
            EXPECT_EQ(0u, menu.exitCode) << Name(bits) << ": " << menu.output;
            EXPECT_NE(std::string::npos, menu.output.find("Paste with Brellow")) << Name(bits) << ": " << menu.output;
        }
    }
}

TEST_F(MixedBuilds, UnregisteringOneBuildLeavesTheOthersMenu) {
    for (Bits gone : {Bits::x86, Bits::x64}) {
        const Bits stays = Other(gone);
        SCOPED_TRACE(std::wstring(L"unregistered first: ") + Name(gone));
        WipeRegistration();
        ASSERT_EQ(0u, Register(Bits::x86));
        ASSERT_EQ(0u, Register(Bits::x64));

        ASSERT_EQ(0u, Unregister(gone));
        EXPECT_EQ(L"<missing>", ServerIn(gone));
        EXPECT_EQ(ServerPath(stays), ServerIn(stays));
        ExpectHandlerKeys(true);
        ExpectAppId(true);
        EXPECT_FALSE(TypeLibRegisteredFor(gone));
        EXPECT_TRUE(TypeLibRegisteredFor(stays));

        const Captured menu = BackgroundMenu(stays, L"C:\\windows", false);
        EXPECT_NE(std::string::npos, menu.output.find("Paste with Brellow")) << menu.output;

        // The last build out takes the shared keys with it.
        ASSERT_EQ(0u, Unregister(stays));
        EXPECT_EQ(L"<missing>", ServerIn(stays));
        ExpectHandlerKeys(false);
        ExpectAppId(false);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TypeLibVersionKey(), KEY_WOW64_64KEY));
    }
}

TEST_F(MixedBuilds, EitherMenuStartsTheEngineNamedInThe32BitView) {
    // Two stand-in engines: the one the installer's Path names (32-bit
    // view), and a decoy under the same key in the 64-bit view.
    const std::wstring named = L"C:\\mixed\\engine32", decoy = L"C:\\mixed\\engine64";
    for (const std::wstring& folder : {named, decoy}) {
        ASSERT_TRUE(MakeFolders(folder));
        ASSERT_TRUE(CopyFileW(BinPath(L"brell_stub_engine.exe").c_str(), (folder + L"\\brellow.exe").c_str(), FALSE));
    }
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", named, KEY_WOW64_32KEY));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Path", decoy, KEY_WOW64_64KEY));
    ASSERT_EQ(0u, Register(Bits::x86));
    ASSERT_EQ(0u, Register(Bits::x64));

    for (Bits bits : {Bits::x86, Bits::x64}) {
        SCOPED_TRACE(Name(bits));
        DeleteFileW((named + L"\\launches.log").c_str());
        DeleteFileW((decoy + L"\\launches.log").c_str());
        const std::wstring target = std::wstring(L"C:\\mixed\\into-") + Name(bits);
        ASSERT_TRUE(MakeFolders(target));

        const Captured paste = BackgroundMenu(bits, target, true);
        EXPECT_EQ(0u, paste.exitCode) << paste.output;
        const std::wstring log = ReadUtf16File(named + L"\\launches.log");
        EXPECT_NE(std::wstring::npos, log.find(L"\"" + target + L"\"")) << log;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((decoy + L"\\launches.log").c_str()));
    }
}

}  // namespace
