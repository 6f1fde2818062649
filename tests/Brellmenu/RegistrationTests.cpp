// Self-registration through the real regsvr32 and through the exports: the
// registry tree afterwards, machine-wide and per user, and the type library.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "harness/ServerDll.h"
#include "server/Identifiers.h"
#include "support/Folders.h"
#include "support/KeyDacl.h"
#include "support/Process.h"
#include "support/Product.h"
#include "support/Registry.h"
#include "support/Text.h"

using namespace brelltest;

namespace {


// A classes root: HKCR's machine part, or the user's own classes.
struct Classes {
    HKEY root;
    const wchar_t* prefix;
    std::wstring operator()(const std::wstring& path) const { return prefix + path; }
};
const Classes kMachine{HKEY_LOCAL_MACHINE, L"Software\\Classes\\"};
const Classes kUser{HKEY_CURRENT_USER, L"Software\\Classes\\"};

const wchar_t* const kHandlerParents[] = {
    L"Directory\\Background\\ShellEx\\ContextMenuHandlers",
    L"LibraryFolder\\Background\\ShellEx\\ContextMenuHandlers",
};

std::wstring Str(const Classes& c, const std::wstring& path, const wchar_t* value) {
    return StringValue(c.root, c(path), value);
}

void ExpectRegistered(const Classes& c, const std::wstring& module) {
    EXPECT_EQ(L"Brellmenu", Str(c, std::wstring(L"AppID\\") + kMenuAppId, nullptr));
    EXPECT_EQ(kMenuAppId, Str(c, L"AppID\\Brellmenu.DLL", L"AppID"));
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kMenuClsid;
    EXPECT_EQ(L"BrellowShellMenu Class", Str(c, clsidKey, nullptr));
    EXPECT_EQ(module, Str(c, clsidKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", Str(c, clsidKey + L"\\InprocServer32", L"ThreadingModel"));
    for (const wchar_t* parent : kHandlerParents) {
        EXPECT_EQ(kMenuClsid, Str(c, std::wstring(parent) + L"\\Brellow", nullptr)) << parent;
    }
}

void ExpectUnregistered(const Classes& c) {
    EXPECT_FALSE(KeyExists(c.root, c(std::wstring(L"AppID\\") + kMenuAppId)));
    EXPECT_FALSE(KeyExists(c.root, c(L"AppID\\Brellmenu.DLL")));
    EXPECT_FALSE(KeyExists(c.root, c(std::wstring(L"CLSID\\") + kMenuClsid)));
    for (const wchar_t* parent : kHandlerParents) {
        EXPECT_FALSE(KeyExists(c.root, c(std::wstring(parent) + L"\\Brellow"))) << parent;
    }
}

// The keys every registration passes through and no unregistration removes.
void ExpectKeptKeys(const Classes& c) {
    for (const wchar_t* key : {L"AppID", L"CLSID", L"Directory\\Background\\ShellEx",
                               L"LibraryFolder\\Background\\ShellEx"}) {
        EXPECT_TRUE(KeyExists(c.root, c(key))) << key;
    }
    for (const wchar_t* parent : kHandlerParents) EXPECT_TRUE(KeyExists(c.root, c(parent))) << parent;
}

bool TypeLibraryRegistered() {
    const std::wstring key = std::wstring(L"TypeLib\\") + kMenuLibId + L"\\1.0";
    return KeyExists(kMachine.root, kMachine(key)) || KeyExists(kUser.root, kUser(key));
}

// The registry view of the build of the other bitness.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

void WipeRegistration() {
    for (const Classes* c : {&kMachine, &kUser}) {
        DeleteTree(c->root, (*c)(std::wstring(L"CLSID\\") + kMenuClsid), kOtherView);
        DeleteTree(c->root, (*c)(std::wstring(L"AppID\\") + kMenuAppId));
        DeleteTree(c->root, (*c)(L"AppID\\Brellmenu.DLL"));
        DeleteTree(c->root, (*c)(std::wstring(L"CLSID\\") + kMenuClsid));
        DeleteTree(c->root, (*c)(std::wstring(L"TypeLib\\") + kMenuLibId));
        for (const wchar_t* parent : kHandlerParents) {
            DeleteTree(c->root, (*c)(std::wstring(parent) + L"\\Brellow"));
        }
    }
}

std::wstring TempPath(const std::wstring& name) { return TempFolder() + L"\\" + name; }

// A folder whose path is longer than MAX_PATH, in its long form.
std::wstring DeepFolder(const std::wstring& name) {
    std::wstring folder = L"\\\\?\\" + TempPath(name);
    while (folder.size() < 4 + 270) folder += L"\\abcdefghijklmnopqrstuvwxyz";
    return folder;
}

DWORD Regsvr32(const std::wstring& switches, const std::wstring& dll) {
    return RunAndWait(L"regsvr32 " + switches + L" \"" + dll + L"\"");
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { WipeRegistration(); }
    void TearDown() override { WipeRegistration(); }
};

TEST_F(RegistrationTest, Regsvr32RegistersReregistersAndUnregistersMachineWide) {
    const std::wstring dll = BinPath(L"Brellmenu.dll");
    ASSERT_EQ(0u, Regsvr32(L"/s", dll));
    ExpectRegistered(kMachine, dll);
    EXPECT_TRUE(TypeLibraryRegistered());
    EXPECT_FALSE(KeyExists(kUser.root, kUser(std::wstring(L"CLSID\\") + kMenuClsid)));

    // Values and keys added by hand vanish with the ForceRemove keys.
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kMenuClsid;
    ASSERT_EQ(ERROR_SUCCESS, WriteString(kMachine.root, kMachine(clsidKey), L"Extra", L"x"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(kMachine.root, kMachine(clsidKey + L"\\Junk"), nullptr, L"x"));
    for (const wchar_t* parent : kHandlerParents) {
        ASSERT_EQ(ERROR_SUCCESS, WriteString(kMachine.root, kMachine(std::wstring(parent) + L"\\Brellow"),
                                             L"Extra", L"x"));
    }
    ASSERT_EQ(0u, Regsvr32(L"/s", dll));
    ExpectRegistered(kMachine, dll);
    EXPECT_FALSE(ValueExists(kMachine.root, kMachine(clsidKey), L"Extra"));
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(clsidKey + L"\\Junk")));
    for (const wchar_t* parent : kHandlerParents) {
        EXPECT_FALSE(ValueExists(kMachine.root, kMachine(std::wstring(parent) + L"\\Brellow"), L"Extra"));
    }

    ASSERT_EQ(0u, Regsvr32(L"/s /u", dll));
    ExpectUnregistered(kMachine);
    ExpectKeptKeys(kMachine);
    EXPECT_FALSE(TypeLibraryRegistered());
}

// The handler keys and the AppID are shared by both registry views on 64-bit
// Windows (the test prefix shares them too): while the other bitness's build
// has its class registered in its view, unregistering this one leaves them.
TEST_F(RegistrationTest, UnregisteringLeavesTheSharedKeysToTheOtherBitnessBuild) {
    const std::wstring dll = BinPath(L"Brellmenu.dll");
    const std::wstring otherServer = kMachine(std::wstring(L"CLSID\\") + kMenuClsid + L"\\InprocServer32");
    ASSERT_EQ(0u, Regsvr32(L"/s", dll));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(kMachine.root, otherServer, nullptr, L"C:\\other\\Brellmenu.dll", kOtherView));

    ASSERT_EQ(0u, Regsvr32(L"/s /u", dll));
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(L"CLSID\\") + kMenuClsid)));
    EXPECT_TRUE(KeyExists(kMachine.root, otherServer, kOtherView));
    for (const wchar_t* parent : kHandlerParents) {
        EXPECT_EQ(kMenuClsid, Str(kMachine, std::wstring(parent) + L"\\Brellow", nullptr)) << parent;
    }
    EXPECT_EQ(L"Brellmenu", Str(kMachine, std::wstring(L"AppID\\") + kMenuAppId, nullptr));
    EXPECT_EQ(kMenuAppId, Str(kMachine, L"AppID\\Brellmenu.DLL", L"AppID"));
    EXPECT_FALSE(TypeLibraryRegistered());

    // An entry in the other view that names this very file is this build
    // seen through a view that is not split: everything goes.
    ASSERT_EQ(0u, Regsvr32(L"/s", dll));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(kMachine.root, otherServer, nullptr, dll, kOtherView));
    ASSERT_EQ(0u, Regsvr32(L"/s /u", dll));
    ExpectUnregistered(kMachine);
    ExpectKeptKeys(kMachine);
}

TEST_F(RegistrationTest, Regsvr32PerUserWritesTheUsersClassesOnly) {
    const std::wstring dll = BinPath(L"Brellmenu.dll");
    ASSERT_EQ(0u, Regsvr32(L"/s /n /i:user", dll));
    ExpectRegistered(kUser, dll);
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(L"CLSID\\") + kMenuClsid)));
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(L"AppID\\") + kMenuAppId)));
    // Wine's RegisterTypeLibForUser writes machine-wide; either place counts.
    EXPECT_TRUE(TypeLibraryRegistered());

    ASSERT_EQ(0u, Regsvr32(L"/s /u /n /i:user", dll));
    ExpectUnregistered(kUser);
    ExpectKeptKeys(kUser);
    EXPECT_FALSE(TypeLibraryRegistered());
}

TEST_F(RegistrationTest, LaterRegistrationInTheSameProcessStaysPerUser) {
    const std::wstring path = CopyServer(TempPath(L"brell-peruser"));
    ASSERT_FALSE(path.empty());
    ServerDll dll(path);
    ASSERT_TRUE(dll.ok());
    ASSERT_EQ(S_OK, dll.DllInstall(TRUE, L"USER"));
    ExpectRegistered(kUser, path);
    WipeRegistration();

    ASSERT_EQ(S_OK, dll.DllRegisterServer());
    ExpectRegistered(kUser, path);
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(L"CLSID\\") + kMenuClsid)));
    ASSERT_EQ(S_OK, dll.DllUnregisterServer());
    ExpectUnregistered(kUser);
}

TEST_F(RegistrationTest, OnlyTheExactWordUserSelectsPerUser) {
    int round = 0;
    for (const wchar_t* commandLine : {static_cast<const wchar_t*>(nullptr), L"users", L"user ", L"", L"use"}) {
        const std::wstring path = CopyServer(TempPath(L"brell-cmdline-" + std::to_wstring(round++)));
        ServerDll dll(path);
        ASSERT_TRUE(dll.ok());
        const std::wstring shown = commandLine ? commandLine : L"(null)";
        SCOPED_TRACE(Utf8(shown));
        ASSERT_EQ(S_OK, dll.DllInstall(TRUE, commandLine));
        ExpectRegistered(kMachine, path);
        EXPECT_FALSE(KeyExists(kUser.root, kUser(std::wstring(L"CLSID\\") + kMenuClsid)));
        ASSERT_EQ(S_OK, dll.DllInstall(FALSE, commandLine));
        ExpectUnregistered(kMachine);
    }
}

TEST_F(RegistrationTest, ModulePathWithSingleQuoteIsRegisteredExactly) {
    const std::wstring path = CopyServer(TempPath(L"brell o'quote 'd"));
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(0u, Regsvr32(L"/s", path));
    ExpectRegistered(kMachine, path);
    ASSERT_EQ(0u, Regsvr32(L"/s /u", path));
    ExpectUnregistered(kMachine);
}

TEST_F(RegistrationTest, ModulePathOf260CharactersFailsBeforeWritingAnything) {
    const std::wstring path = CopyServer(DeepFolder(L"brell-deep"));
    ASSERT_FALSE(path.empty());
    ServerDll dll(path);
    ASSERT_TRUE(dll.ok());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), dll.DllRegisterServer());
    ExpectUnregistered(kMachine);
    EXPECT_FALSE(TypeLibraryRegistered());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), dll.DllInstall(TRUE, nullptr));
    ExpectUnregistered(kMachine);
}

// The scripts are read in the system's locale; the caller's own thread locale
// is back afterwards, after success and after failure alike.
TEST_F(RegistrationTest, CallersThreadLocaleIsRestoredOnEveryPath) {
    const LCID callers = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    const LCID saved = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(callers));
    ASSERT_EQ(callers, GetThreadLocale());

    ServerDll dll(BinPath(L"Brellmenu.dll"));
    ASSERT_TRUE(dll.ok());
    EXPECT_EQ(S_OK, dll.DllRegisterServer());
    EXPECT_EQ(callers, GetThreadLocale());
    EXPECT_EQ(S_OK, dll.DllUnregisterServer());
    EXPECT_EQ(callers, GetThreadLocale());
    // Nothing registered now: the unregistration fails at the type library.
    EXPECT_TRUE(FAILED(dll.DllUnregisterServer()));
    EXPECT_EQ(callers, GetThreadLocale());

    const std::wstring path = CopyServer(DeepFolder(L"brell-deep-locale"));
    ASSERT_FALSE(path.empty());
    ServerDll deep(path);
    ASSERT_TRUE(deep.ok());
    EXPECT_TRUE(FAILED(deep.DllInstall(TRUE, nullptr)));
    EXPECT_EQ(callers, GetThreadLocale());
    SetThreadLocale(saved);
}

TEST_F(RegistrationTest, FailedInstallRunsTheWholeUnregistration) {
    const std::wstring path = CopyServer(TempPath(L"brell-failing"));
    ServerDll dll(path);
    ASSERT_TRUE(dll.ok());
    HRESULT registerResult = S_OK;
    {
        // The type library, the last step, cannot be written.
        // Everybody may read; nobody may create subkeys or change values.
        KeyDacl typeLibs(kMachine.root, kMachine(L"TypeLib"), L"D:P(A;;KR;;;WD)");
        ASSERT_TRUE(typeLibs.applied());
        registerResult = dll.DllRegisterServer();
        if (SUCCEEDED(registerResult)) GTEST_SKIP() << "this Wine ignores registry key security";
        // DllRegisterServer leaves what the earlier steps wrote.
        ExpectRegistered(kMachine, path);

        EXPECT_EQ(registerResult, dll.DllInstall(TRUE, nullptr));
    }
    // DllInstall took the class entries away again; the type library step of
    // the unregistration then stops it (nothing registered), so the AppID
    // entries stay.
    EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(L"CLSID\\") + kMenuClsid)));
    for (const wchar_t* parent : kHandlerParents) {
        EXPECT_FALSE(KeyExists(kMachine.root, kMachine(std::wstring(parent) + L"\\Brellow")));
    }
    EXPECT_EQ(L"Brellmenu", Str(kMachine, std::wstring(L"AppID\\") + kMenuAppId, nullptr));
}

TEST_F(RegistrationTest, UnregisteringWhatIsNotRegisteredStopsAtTheTypeLibrary) {
    // An AppID entry made by hand shows whether the AppID script ran.
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(kMachine.root, kMachine(std::wstring(L"AppID\\") + kMenuAppId), nullptr, L"Brellmenu"));
    ServerDll dll(BinPath(L"Brellmenu.dll"));
    ASSERT_TRUE(dll.ok());
    const HRESULT hr = dll.DllUnregisterServer();
    EXPECT_EQ(E_INVALIDARG, hr) << "what Wine's UnRegisterTypeLib gives for an unknown library";
    EXPECT_TRUE(KeyExists(kMachine.root, kMachine(std::wstring(L"AppID\\") + kMenuAppId)));
    ExpectKeptKeys(kMachine);
    EXPECT_EQ(5u, Regsvr32(L"/s /u", BinPath(L"Brellmenu.dll")));
}

// The name and the documentation string a type library or type gives itself.
template <class Described>
void ExpectDocumentation(Described* described, const wchar_t* name, const wchar_t* doc) {
    BSTR givenName = nullptr, givenDoc = nullptr;
    ASSERT_EQ(S_OK, described->GetDocumentation(MEMBERID_NIL, &givenName, &givenDoc, nullptr, nullptr));
    EXPECT_STREQ(name, givenName);
    EXPECT_STREQ(doc, givenDoc);
    SysFreeString(givenName);
    SysFreeString(givenDoc);
}

// The type library resource holds the library, the class and its interface.
TEST(TypeLibrary, HoldsTheLibraryTheClassAndTheInterface) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLib(BinPath(L"Brellmenu.dll").c_str(), &lib));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_BrellmenuLib, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0x0409u, attr->lcid);
    lib->ReleaseTLibAttr(attr);
    ExpectDocumentation(lib, L"BrellmenuLib", L"Brellmenu 1.0 Type Library");
    ASSERT_EQ(2u, lib->GetTypeInfoCount());

    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(CLSID_BrellowShellMenu, &coclass));
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_COCLASS, ta->typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, ta->wTypeFlags);
    EXPECT_EQ(1, ta->cImplTypes);
    coclass->ReleaseTypeAttr(ta);
    INT implFlags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, implFlags);
    ExpectDocumentation(coclass, L"BrellowShellMenu", L"BrellowShellMenu Class");
    coclass->Release();

    ITypeInfo* iface = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IBrellowShellMenu, &iface));
    ASSERT_EQ(S_OK, iface->GetTypeAttr(&ta));
    EXPECT_EQ(TKIND_INTERFACE, ta->typekind);
    EXPECT_EQ(0, ta->wTypeFlags);
    EXPECT_EQ(0, ta->cFuncs);
    EXPECT_EQ(1, ta->cImplTypes);
    iface->ReleaseTypeAttr(ta);
    HREFTYPE baseRef = 0;
    ITypeInfo* base = nullptr;
    ASSERT_EQ(S_OK, iface->GetRefTypeOfImplType(0, &baseRef));
    ASSERT_EQ(S_OK, iface->GetRefTypeInfo(baseRef, &base));
    ASSERT_EQ(S_OK, base->GetTypeAttr(&ta));
    EXPECT_TRUE(IsEqualGUID(IID_IUnknown, ta->guid));
    base->ReleaseTypeAttr(ta);
    base->Release();
    ExpectDocumentation(iface, L"IBrellowShellMenu", L"IBrellowShellMenu Interface");
    iface->Release();
    lib->Release();
}

}  // namespace
