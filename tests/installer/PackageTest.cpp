// Windows 11's package as the installer sets it up on 64-bit Windows 11: its
// files in package\, its certificate trusted, its registration for this user
// and the Active Setup entry for the others; each step failing without
// failing the install or leaving a certificate trusted; an upgrade; the
// uninstaller removing the package before anything else; and other Windows
// getting none of it. Wine has neither packages nor these tools: the prefix
// reports the build the test sets, and a stand-in in place of certutil.exe
// and powershell.exe records each command line and fails on demand.
#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "InstallerSupport.h"
#include "support/KeyDacl.h"

namespace {

using namespace brell::installer_test;

constexpr wchar_t kBuildKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kActiveSetupKey[] = L"Software\\Microsoft\\Active Setup\\Installed Components\\" BRELL_PACKAGE_NAME;
constexpr wchar_t kCertValue[] = L"PackageCertificate";
constexpr wchar_t kCertFile[] = L"brellow-package.cer";

std::wstring WindowsFolder() {
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

// The shipped certificate's thumbprint, as Windows computes it.
std::wstring ShippedThumbprint() {
    const std::string der = ReadBytes(PackagePath(kCertFile));
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()));
    if (!cert) return L"(no certificate)";
    BYTE hash[20];
    DWORD size = sizeof(hash);
    std::wstring hex;
    if (CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size))
        for (DWORD i = 0; i < size; ++i) hex += L"0123456789ABCDEF"[hash[i] >> 4], hex += L"0123456789ABCDEF"[hash[i] & 15];
    CertFreeCertificateContext(cert);
    return hex;
}

// The commands the tools must be given, as the log below shows them.
std::wstring Quoted(std::wstring text) {
    for (size_t at = 0; (at = text.find(L'\'', at)) != std::wstring::npos; at += 2) text.insert(at, 1, L'\'');
    return text;
}
std::wstring Registration(const std::wstring& folder) {
    const std::wstring package = Quoted(folder + L"\\package");
    return L"$ErrorActionPreference = 'Stop'; Add-AppxPackage -Path '" + package + L"\\Brellow.msix' -ExternalLocation '" +
           package + L"'";
}
const std::wstring kRemoval = L"$ErrorActionPreference = 'Stop'; Get-AppxPackage -AllUsers -Name '" BRELL_PACKAGE_NAME
                              L"' | Remove-AppxPackage -AllUsers; if (Get-AppxPackage -AllUsers -Name '" BRELL_PACKAGE_NAME
                              L"') { exit 1 }";
std::wstring PowerShell(int code, const std::wstring& command) {
    return std::to_wstring(code) + L" powershell -NoProfile -NonInteractive -Command " + command;
}
std::wstring AddStore(int code) { return std::to_wstring(code) + L" certutil -addstore TrustedPeople brellow-package.cer"; }
std::wstring DelStore(int code, const std::wstring& thumbprint) {
    return std::to_wstring(code) + L" certutil -delstore TrustedPeople " + thumbprint;
}

// The stand-in (brell_stand_in.exe) in place of the 64-bit tools, loaded by
// Wine instead of its own, logging to a file of the test's.
class StandInTools {
public:
    StandInTools() : log_(scratch_ / L"calls.log") {
        const std::wstring system = WindowsFolder() + L"\\System32\\";
        ok_ = MakeFolders(system + L"WindowsPowerShell\\v1.0");
        for (const wchar_t* tool : {L"certutil.exe", L"WindowsPowerShell\\v1.0\\powershell.exe"})
            ok_ = ok_ && CopyFileW(BinPath(L"brell_stand_in.exe").c_str(), (system + tool).c_str(), FALSE) &&
                  WriteString(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", LastName(tool).c_str(), L"native") ==
                      ERROR_SUCCESS;
        SetEnvironmentVariableW(L"BRELL_STAND_IN_LOG", log_.c_str());
        FailWhen(L"");
    }
    bool ok() const { return ok_; }
    // Calls whose command line holds this text fail from now on.
    void FailWhen(const std::wstring& text) { SetEnvironmentVariableW(L"BRELL_STAND_IN_FAIL", text.c_str()); }
    void Forget() { DeleteFileW(log_.c_str()); }

    // One line per call: the exit code, the tool ("certutil", "powershell"
    // when called at its 64-bit place, else the path as called) and its
    // arguments; a certificate file by its name (it was in a folder of the
    // installer's own).
    std::vector<std::wstring> Calls() const {
        const std::wstring text = ReadUtf16File(log_);
        const std::wstring native = WindowsFolder() + L"\\Sysnative\\";
        std::vector<std::wstring> calls;
        for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1) {
            const std::wstring entry = text.substr(at, end - at);
            std::wstring line = entry.substr(0, entry.find(L'\t'));
            int count = 0;
            LPWSTR* args = CommandLineToArgvW(entry.substr(entry.find(L'\t') + 1).c_str(), &count);
            for (int i = 0; args && i < count; ++i) {
                std::wstring arg = args[i];
                if (_wcsicmp(arg.c_str(), (native + L"certutil.exe").c_str()) == 0) arg = L"certutil";
                if (_wcsicmp(arg.c_str(), (native + L"WindowsPowerShell\\v1.0\\powershell.exe").c_str()) == 0)
                    arg = L"powershell";
                if (arg.size() > 4 && arg.compare(arg.size() - 4, 4, L".cer") == 0) arg = arg.substr(arg.rfind(L'\\') + 1);
                line += L" " + arg;
            }
            LocalFree(args);
            calls.push_back(line);
        }
        return calls;
    }

    // The certificates the calls leave in Trusted People: an -addstore adds
    // the shipped one (even one that failed: it may have got that far), a
    // -delstore that succeeded takes the one it names away.
    std::set<std::wstring> Trusted() const {
        std::set<std::wstring> trusted;
        for (const std::wstring& call : Calls()) {
            if (call.find(L" certutil -addstore TrustedPeople ") != std::wstring::npos) trusted.insert(ShippedThumbprint());
            if (call.rfind(DelStore(0, L""), 0) == 0) trusted.erase(call.substr(DelStore(0, L"").size()));
        }
        return trusted;
    }

private:
    ScratchFolder scratch_{L"brell-stand-in"};
    std::wstring log_;
    bool ok_ = false;
};

// The build this Windows reports, for as long as it lives.
class ReportedBuild {
public:
    explicit ReportedBuild(const std::wstring& build) {
        ReadString(HKEY_LOCAL_MACHINE, kBuildKey, L"CurrentBuildNumber", &old_, View64());
        Set(build);
    }
    ~ReportedBuild() { Set(old_); }
    void Set(const std::wstring& build) {
        for (const wchar_t* name : {L"CurrentBuildNumber", L"CurrentBuild"})
            EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kBuildKey, name, build, View64()));
    }

private:
    std::wstring old_;
};

class Package : public Installer {
protected:
    void SetUp() override {
        Installer::SetUp();
        ASSERT_TRUE(tools_.ok()) << "the stand-in tools could not be put in place";
        DeleteTree(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64());
        tools_.Forget();
    }
    void TearDown() override {
        tools_.FailWhen(L"");
        Installer::TearDown();
        DeleteTree(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64());
        tools_.Forget();
    }
    std::wstring Record() { return MachineString(kProductKey, kCertValue, View32()); }
    std::wstring ActiveSetup(const wchar_t* name) { return MachineString(kActiveSetupKey, name, View64()); }
    // The classic entry is there for Explorer, whatever became of the package.
    void ExpectClassicMenu(const std::wstring& folder) {
        EXPECT_EQ(_wcsicmp(ClassServer(View64()).c_str(), (folder + L"\\Brellmenu.dll").c_str()), 0);
    }
    // Nothing of the package is left but its files.
    void ExpectNoPackageSetUp() {
        EXPECT_TRUE(tools_.Trusted().empty()) << "a certificate stays trusted";
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));
        EXPECT_EQ(Record(), L"");
    }

    StandInTools tools_;
    ReportedBuild build_{L"22631"};
};

TEST_F(Package, InstallSetsItUpForEveryUserAndUninstallTakesItAwayFirst) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    // A folder that a PowerShell string must quote.
    const std::wstring folder = L"C:\\Tools\\Bob's Brellow";
    RemoveTree(L"C:\\Tools");
    ASSERT_EQ(Install(L"/D=" + folder), 0u);

    const std::wstring package = folder + L"\\package\\";
    for (const wchar_t* program : {L"Brellcmd.dll", L"brellow.exe"})
        EXPECT_EQ(MachineOf(package + program), IMAGE_FILE_MACHINE_AMD64) << Utf8(program);
    for (const wchar_t* file : {L"Brellow.msix", L"BrellowLogo.png"}) {
        const std::string shipped = ReadBytes(PackagePath(file));
        EXPECT_NE(shipped, kMissing) << Utf8(file);
        EXPECT_EQ(ReadBytes(package + file), shipped) << "package\\" << Utf8(file);
    }
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{AddStore(0), PowerShell(0, Registration(folder))}));
    EXPECT_EQ(Record(), ShippedThumbprint());
    EXPECT_EQ(ActiveSetup(L"StubPath"), L"\"" + WindowsFolder() +
                                            L"\\System32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile "
                                            L"-NonInteractive -WindowStyle Hidden -Command \"" +
                                            Registration(folder) + L"\"");
    std::wstring version;
    ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", &version, View64()));
    for (wchar_t& c : version) c = c == L'.' ? L',' : c;
    EXPECT_EQ(ActiveSetup(L"Version"), version) << "raised with the product's version";
    EXPECT_EQ(MachineDword(kActiveSetupKey, L"IsInstalled", View64()), 1u);
    ExpectClassicMenu(folder);

    tools_.Forget();
    ASSERT_EQ(Uninstall(folder), 0u);
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{PowerShell(0, kRemoval), DelStore(0, ShippedThumbprint())}));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Halvorin", View32())) << "the record goes with Path";
    RemoveTree(L"C:\\Tools");
}

// Whichever step fails, the install succeeds with the classic entry, and
// what went before the step is taken back.
TEST_F(Package, EachStepThatFailsIsTakenBackAndTheInstallSucceeds) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    const std::wstring thumbprint = ShippedThumbprint();
    struct Case {
        const wchar_t* failing;  // text of the tool call that fails, or null
        bool lockActiveSetup;    // the Active Setup entry cannot be written
        std::vector<std::wstring> calls;
    };
    const Case cases[] = {
        {L"-addstore", false, {AddStore(1), DelStore(0, thumbprint)}},
        {nullptr, true, {AddStore(0), DelStore(0, thumbprint)}},
        {L"Add-AppxPackage", false,
         {AddStore(0), PowerShell(1, Registration(folder_)), PowerShell(0, kRemoval), DelStore(0, thumbprint)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing ? c.failing : L"Active Setup");
        ForgetEverything();
        tools_.Forget();
        tools_.FailWhen(c.failing ? c.failing : L"");
        {
            // Wine lets the key be created below a parent that forbids it,
            // but refuses the value in a key that does.
            std::unique_ptr<KeyDacl> locked;
            if (c.lockActiveSetup) locked = std::make_unique<KeyDacl>(HKEY_LOCAL_MACHINE, kActiveSetupKey, L"D:P(A;;KR;;;WD)");
            EXPECT_EQ(Install(), 0u);
        }
        EXPECT_EQ(tools_.Calls(), c.calls);
        ExpectNoPackageSetUp();
        ExpectClassicMenu(folder_);
        EXPECT_TRUE(Exists(folder_ + L"\\package\\Brellcmd.dll"));
        DeleteTree(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64());
    }
}

// An upgrade starts from nothing: the earlier package and the certificate it
// recorded go, then the new one is set up with the new version.
TEST_F(Package, UpgradeRemovesTheEarlierCertificateAndRaisesTheVersion) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    const std::wstring version = ActiveSetup(L"Version");
    // As an earlier version, signed with another certificate, left it.
    const std::wstring earlier = L"0123456789ABCDEF0123456789ABCDEF01234567";
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, kCertValue, earlier, View32()));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kActiveSetupKey, L"Version", L"0,9,0,0", View64()));
    tools_.Forget();

    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{PowerShell(0, kRemoval), DelStore(0, earlier), AddStore(0),
                                                         PowerShell(0, Registration(folder_))}));
    EXPECT_EQ(Record(), ShippedThumbprint());
    EXPECT_EQ(ActiveSetup(L"Version"), version);
}

// The package goes before anything else; when it cannot, the uninstaller
// stops with the installation whole, its entry kept to try again.
TEST_F(Package, UninstallThatCannotRemoveThePackageKeepsEverything) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    tools_.Forget();
    tools_.FailWhen(L"Remove-AppxPackage");
    EXPECT_EQ(UninstallInPlace(folder_), 2u);
    EXPECT_EQ(tools_.Calls(), std::vector<std::wstring>{PowerShell(1, kRemoval)});
    for (const wchar_t* file : {L"\\Brellmenu.dll", L"\\package\\Brellcmd.dll", L"\\uninstall.exe"})
        EXPECT_TRUE(Exists(folder_ + file)) << std::wstring(file);
    EXPECT_TRUE(Listed());
    ExpectClassicMenu(folder_);
    EXPECT_EQ(Record(), ShippedThumbprint());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));

    tools_.FailWhen(L"");
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(Exists(folder_));
    tools_.Forget();
    EXPECT_FALSE(Listed());
}

// Only 64-bit Windows 11 gets the package: Windows 10 would show it beside
// the classic entry, and 32-bit Windows has no x64 package.
TEST_F(Package, OnlySixtyFourBitWindowsElevenGetsIt) {
    for (const wchar_t* build : {L"19045", L"21999", L"22000"}) {
        SCOPED_TRACE(build);
        ForgetEverything();
        tools_.Forget();
        build_.Set(build);
        const bool expected = SixtyFourBitWindows() && std::wstring(build) >= L"22000";
        ASSERT_EQ(Install(), 0u);
        EXPECT_EQ(Exists(folder_ + L"\\package"), expected);
        EXPECT_EQ(Record().empty(), !expected);
        EXPECT_EQ(tools_.Calls().empty(), !expected);
        ASSERT_EQ(Uninstall(), 0u);
        if (!expected) {
            EXPECT_TRUE(tools_.Calls().empty()) << "the uninstaller calls no tool either";
        }
        ExpectNoPackageSetUp();
    }
}

}  // namespace
