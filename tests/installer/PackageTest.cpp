// Windows 11's package as the installer sets it up on 64-bit Windows 11 for
// clients: its files in package\, its certificate trusted, the package
// staged with package\ as its external location and provisioned for every
// user, the folder handed to PowerShell as data and never as code; the same
// installer run twice removing nothing; each step failing without failing
// the install or leaving a certificate trusted; an upgrade; the uninstaller
// ending the command's surrogate and removing the package before anything
// else, or, with /FORCE, going on without it; and other Windows getting none
// of it. Wine has neither packages nor these tools: the prefix reports the
// build and edition the test sets, and a stand-in in place of certutil.exe
// and powershell.exe records each command line and the folder it was given
// as data, and fails on demand.
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

constexpr wchar_t kFolderVariable[] = L"BRELL_PACKAGE_FOLDER";
constexpr wchar_t kPowerShellOptions[] = L"-NoProfile -NonInteractive -InputFormat None -Command";

// The calls as the log below names them: the exit code, then "addstore",
// "delstore <thumbprint>", or for PowerShell the step its command takes.
std::wstring Call(int code, const std::wstring& step) { return std::to_wstring(code) + L" " + step; }
const wchar_t kAddStore[] = L"addstore";
const wchar_t kStage[] = L"stage";
const wchar_t kProvision[] = L"provision";
const wchar_t kRemove[] = L"remove";
const wchar_t kEndSurrogate[] = L"end-surrogate";
std::wstring DelStore(const std::wstring& thumbprint) { return L"delstore " + thumbprint; }

// What tells each PowerShell command apart.
struct Step {
    const wchar_t* name;
    const wchar_t* marker;
};
constexpr Step kSteps[] = {
    {kStage, L"StagePackageByUriAsync"},
    {kProvision, L"ProvisionPackageForAllUsersAsync"},
    {kRemove, L"Remove-AppxPackage"},
    {kEndSurrogate, L"Win32_Process"},
};

// One call of a tool: its exit code, its arguments and the package folder it
// found in its environment ("" when none).
struct ToolCall {
    int code = -1;
    std::vector<std::wstring> args;
    std::wstring folder;
    std::wstring commandLine;
};

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
        SetEnvironmentVariableW(L"BRELL_STAND_IN_DATA", kFolderVariable);
        FailWhen(L"");
    }
    bool ok() const { return ok_; }
    // Calls whose command line holds this text fail from now on.
    void FailWhen(const std::wstring& text) { SetEnvironmentVariableW(L"BRELL_STAND_IN_FAIL", text.c_str()); }
    void Forget() { DeleteFileW(log_.c_str()); }

    // Every call as the log holds it: "<code>\t<command line>\t<folder>".
    std::vector<ToolCall> Raw() const {
        const std::wstring text = ReadUtf16File(log_);
        std::vector<ToolCall> calls;
        for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1) {
            const std::wstring entry = text.substr(at, end - at);
            const size_t tab = entry.find(L'\t'), second = entry.find(L'\t', tab + 1);
            ToolCall call;
            call.code = _wtoi(entry.substr(0, tab).c_str());
            call.commandLine = entry.substr(tab + 1, second == std::wstring::npos ? std::wstring::npos : second - tab - 1);
            if (second != std::wstring::npos) call.folder = entry.substr(second + 1);
            int count = 0;
            LPWSTR* args = CommandLineToArgvW(call.commandLine.c_str(), &count);
            for (int i = 0; args && i < count; ++i) call.args.push_back(args[i]);
            LocalFree(args);
            calls.push_back(call);
        }
        return calls;
    }

    // One line per call: the exit code and "addstore", "delstore <thumbprint>"
    // or the PowerShell step; a tool called at another place than its 64-bit
    // one, or PowerShell with other options, shows as such.
    std::vector<std::wstring> Calls() const {
        const std::wstring native = WindowsFolder() + L"\\Sysnative\\";
        std::vector<std::wstring> calls;
        for (const ToolCall& call : Raw()) {
            std::wstring step = L"unexpected: " + call.commandLine;
            const std::wstring tool = call.args.empty() ? L"" : call.args[0];
            if (_wcsicmp(tool.c_str(), (native + L"certutil.exe").c_str()) == 0 && call.args.size() == 4 &&
                call.args[2] == L"TrustedPeople") {
                if (call.args[1] == L"-addstore" && LastName(call.args[3]) == L"brellow-package.cer") step = kAddStore;
                if (call.args[1] == L"-delstore") step = DelStore(call.args[3]);
            }
            if (_wcsicmp(tool.c_str(), (native + L"WindowsPowerShell\\v1.0\\powershell.exe").c_str()) == 0 &&
                call.args.size() == 7 && Joined(call.args, 1, 6) == kPowerShellOptions)
                for (const Step& known : kSteps)
                    if (call.args[6].find(known.marker) != std::wstring::npos) step = known.name;
            calls.push_back(Call(call.code, step));
        }
        return calls;
    }

    // The certificates the calls leave in Trusted People: an -addstore adds
    // the shipped one (even one that failed: it may have got that far), a
    // -delstore that succeeded takes the one it names away.
    std::set<std::wstring> Trusted() const {
        std::set<std::wstring> trusted;
        for (const std::wstring& call : Calls()) {
            if (call == Call(0, kAddStore) || call == Call(1, kAddStore)) trusted.insert(ShippedThumbprint());
            if (call.rfind(Call(0, DelStore(L"")), 0) == 0) trusted.erase(call.substr(Call(0, DelStore(L"")).size()));
        }
        return trusted;
    }

private:
    static std::wstring Joined(const std::vector<std::wstring>& args, size_t first, size_t end) {
        std::wstring text;
        for (size_t i = first; i < end; ++i) text += (i > first ? L" " : L"") + args[i];
        return text;
    }

    ScratchFolder scratch_{L"brell-stand-in"};
    std::wstring log_;
    bool ok_ = false;
};

// The build and the edition this Windows reports, for as long as it lives.
class ReportedBuild {
public:
    explicit ReportedBuild(const std::wstring& build) {
        ReadString(HKEY_LOCAL_MACHINE, kBuildKey, L"CurrentBuildNumber", &old_, View64());
        ReadString(HKEY_LOCAL_MACHINE, kBuildKey, L"InstallationType", &oldType_, View64());
        Set(build);
    }
    ~ReportedBuild() { Set(old_, oldType_); }
    void Set(const std::wstring& build, const std::wstring& type = L"Client") {
        for (const wchar_t* name : {L"CurrentBuildNumber", L"CurrentBuild"})
            EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kBuildKey, name, build, View64()));
        EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kBuildKey, L"InstallationType", type, View64()));
    }

private:
    std::wstring old_;
    std::wstring oldType_;
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
    std::wstring RecordedVersion() { return MachineString(kProductKey, L"PackageVersion", View32()); }
    std::wstring ProductVersion() { return MachineString(kUninstallKey, L"DisplayVersion", View64()); }
    // The classic entry is there for Explorer, whatever became of the package.
    void ExpectClassicMenu(const std::wstring& folder) {
        EXPECT_EQ(_wcsicmp(ClassServer(View64()).c_str(), (folder + L"\\Brellmenu.dll").c_str()), 0);
    }
    // Nothing of the package is left but its files.
    void ExpectNoPackageSetUp() {
        EXPECT_TRUE(tools_.Trusted().empty()) << "a certificate stays trusted";
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));
        EXPECT_EQ(Record(), L"");
        EXPECT_EQ(RecordedVersion(), L"");
    }
    // Every PowerShell call got its folder as data only: no part of the
    // folder's name is on its command line, and the staging found exactly
    // <folder>\package in its environment.
    void ExpectFolderAsDataOnly(const std::wstring& folder) {
        bool staged = false;
        for (const ToolCall& call : tools_.Raw()) {
            if (call.args.empty() || LastName(call.args[0]) != L"powershell.exe") continue;
            EXPECT_EQ(call.commandLine.find(LastName(folder)), std::wstring::npos) << Utf8(call.commandLine);
            if (call.commandLine.find(L"StagePackageByUriAsync") == std::wstring::npos) continue;
            staged = true;
            EXPECT_EQ(call.folder, folder + L"\\package");
            EXPECT_NE(call.commandLine.find(std::wstring(L"$env:") + kFolderVariable), std::wstring::npos);
        }
        EXPECT_TRUE(staged);
    }

    StandInTools tools_;
    ReportedBuild build_{L"22631"};
};

const std::vector<std::wstring> kSetUp = {Call(0, kAddStore), Call(0, kStage), Call(0, kProvision)};

TEST_F(Package, InstallProvisionsItForEveryUserAndUninstallTakesItAwayFirst) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    // A folder that a PowerShell string would have to quote.
    const std::wstring folder = L"C:\\Tools\\Bob's Brellow";
    RemoveTree(L"C:\\Tools");
    ASSERT_EQ(Install(L"/D=" + folder), 0u);

    const std::wstring package = folder + L"\\package\\";
    for (const wchar_t* program : {L"Brellcmd.dll", L"brellow.exe"})
        EXPECT_EQ(MachineOf(package + program), IMAGE_FILE_MACHINE_AMD64) << Utf8(program);
    for (const wchar_t* file : {L"Brellow.msix", L"BrellowLogo.png", L"BrellowLogo44.png"}) {
        const std::string shipped = ReadBytes(PackagePath(file));
        EXPECT_NE(shipped, kMissing) << Utf8(file);
        EXPECT_EQ(ReadBytes(package + file), shipped) << "package\\" << Utf8(file);
    }
    // Staged with its external location, then provisioned for every user;
    // nothing registered per user, no Active Setup entry.
    EXPECT_EQ(tools_.Calls(), kSetUp);
    ExpectFolderAsDataOnly(folder);
    EXPECT_EQ(Record(), ShippedThumbprint());
    EXPECT_EQ(RecordedVersion(), ProductVersion());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));
    ExpectClassicMenu(folder);

    // The surrogate goes first, then the provisioning and every user's
    // registration, then the certificate.
    tools_.Forget();
    ASSERT_EQ(Uninstall(folder), 0u);
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{Call(0, kEndSurrogate), Call(0, kRemove),
                                                         Call(0, DelStore(ShippedThumbprint()))}));
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Halvorin", View32())) << "the record goes with Path";
    RemoveTree(L"C:\\Tools");
}

// PowerShell never gets a path as code: whatever the folder is called, its
// commands are the same constant texts, the folder reaches them as data,
// and nothing but the expected calls runs.
TEST_F(Package, TheFolderReachesPowerShellAsDataWhateverItsName) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    struct Case {
        const char* name;
        const wchar_t* leaf;
    };
    const Case cases[] = {
        {"right single quote", L"Bob\u2019s Brellow"},
        {"left single quote", L"\u2018Brellow"},
        {"subexpression", L"a$(New-Item pwned)b"},
        {"semicolon", L"a'; New-Item pwned; 'b"},
        {"backtick", L"Bob`s `$Brellow"},
    };
    std::vector<std::wstring> commands;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = std::wstring(L"C:\\Tools\\") + c.leaf;
        RemoveTree(L"C:\\Tools");
        tools_.Forget();
        ASSERT_EQ(Install(L"/D=" + folder), 0u);
        EXPECT_EQ(tools_.Calls(), kSetUp);
        ExpectFolderAsDataOnly(folder);
        std::wstring texts;
        for (const ToolCall& call : tools_.Raw()) texts += call.commandLine.substr(call.commandLine.find(L" -")) + L"\n";
        commands.push_back(texts);
        tools_.Forget();
        ASSERT_EQ(Uninstall(folder), 0u);
        EXPECT_FALSE(Exists(folder));
    }
    // The certificate's temporary folder aside, the texts are the same.
    for (const std::wstring& texts : commands) EXPECT_EQ(texts.substr(texts.find(L"\n")), commands[0].substr(commands[0].find(L"\n")));
    RemoveTree(L"C:\\Tools");
}

// A repair or a redeployment of the same installer removes nothing: not the
// package, not its provisioning, not its certificate.
TEST_F(Package, TheSameInstallerTwiceRemovesNothing) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    tools_.Forget();
    ASSERT_EQ(Install(), 0u);
    // The surrogate is ended before Brellcmd.dll is replaced; staging the same
    // version changes nothing, and a provisioned family is not provisioned
    // again (which would remove every user's registration).
    std::vector<std::wstring> again = {Call(0, kEndSurrogate)};
    again.insert(again.end(), kSetUp.begin(), kSetUp.end());
    EXPECT_EQ(tools_.Calls(), again);
    for (const ToolCall& call : tools_.Raw()) {
        if (call.commandLine.find(L"ProvisionPackageForAllUsersAsync") == std::wstring::npos) continue;
        EXPECT_LT(call.commandLine.find(L"if(!(Get-AppxProvisionedPackage"),
                  call.commandLine.find(L"ProvisionPackageForAllUsersAsync"));
    }
    EXPECT_EQ(Record(), ShippedThumbprint());

    // A second run whose staging fails leaves the first run's set-up alone.
    tools_.Forget();
    tools_.FailWhen(L"StagePackageByUriAsync");
    ASSERT_EQ(Install(), 0u);
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{Call(0, kEndSurrogate), Call(0, kAddStore), Call(1, kStage)}));
    EXPECT_EQ(Record(), ShippedThumbprint());
}

// A surrogate of the command (dllhost.exe /Processid:<its class id>) holds
// Brellcmd.dll as a loaded DLL is held. A stand-in runs as one, and the
// stand-in PowerShell does what Windows PowerShell does with the command
// that ends it. Ended before the DLL is replaced and before the package is
// removed, it keeps neither the install nor the uninstall from finishing
// without a restart; a surrogate of another class keeps running.
class Surrogate {
public:
    Surrogate(const std::wstring& dllhost, const std::wstring& id, const std::wstring& held) {
        SetEnvironmentVariableW(L"BRELL_STAND_IN_HOLD", held.empty() ? nullptr : held.c_str());
        started_ = process_.Start(L"\"" + dllhost + L"\" /Processid:" + id);
        SetEnvironmentVariableW(L"BRELL_STAND_IN_HOLD", nullptr);
        // Until the file is held (a bounded wait, not a measure of time).
        for (int attempt = 0; started_ && !held.empty() && attempt < 400; ++attempt) {
            HANDLE file = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) break;
            CloseHandle(file);
            Sleep(50);
        }
    }
    ~Surrogate() { process_.Stop(0, 10000); }
    bool started() const { return started_; }
    bool Running() const { return process_.Running(); }

private:
    ChildProcess process_;
    bool started_ = false;
};

TEST_F(Package, TheCommandsSurrogateIsEndedBeforeReplacementAndRemoval) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    const ScratchFolder hosts(L"surrogates");
    const std::wstring dllhost = hosts / L"dllhost.exe";
    ASSERT_TRUE(CopyFileW(BinPath(L"brell_stand_in.exe").c_str(), dllhost.c_str(), FALSE));
    const std::wstring command = folder_ + L"\\package\\Brellcmd.dll";
    const Surrogate other(dllhost, L"{00000000-0000-0000-0000-0000000000A1}", L"");
    ASSERT_TRUE(other.started());

    {
        const Surrogate ours(dllhost, BRELL_COMMAND_CLASS_ID, command);
        ASSERT_TRUE(ours.started());
        tools_.Forget();
        EXPECT_EQ(Install(), 0u) << "Brellcmd.dll was replaced without a restart";
        EXPECT_FALSE(ours.Running());
        ASSERT_FALSE(tools_.Calls().empty());
        EXPECT_EQ(tools_.Calls().front(), Call(0, kEndSurrogate));
    }
    {
        const Surrogate ours(dllhost, BRELL_COMMAND_CLASS_ID, command);
        ASSERT_TRUE(ours.started());
        tools_.Forget();
        EXPECT_EQ(Uninstall(), 0u) << "the package folder went without a restart";
        EXPECT_FALSE(ours.Running());
        EXPECT_FALSE(Exists(folder_));
        EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{Call(0, kEndSurrogate), Call(0, kRemove),
                                                             Call(0, DelStore(ShippedThumbprint()))}));
    }
    EXPECT_TRUE(other.Running()) << "a surrogate of another class was ended";
}

// Whichever step fails, the install succeeds with the classic entry, and
// what went before the step is taken back.
TEST_F(Package, EachStepThatFailsIsTakenBackAndTheInstallSucceeds) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    const std::wstring thumbprint = ShippedThumbprint();
    const std::vector<std::wstring> takenBack = {Call(0, kEndSurrogate), Call(0, kRemove), Call(0, DelStore(thumbprint))};
    struct Case {
        const char* name;
        const wchar_t* failing;  // text of the tool call that fails
        std::vector<std::wstring> calls;
    };
    const Case cases[] = {
        {"certificate", L"-addstore", {Call(1, kAddStore), Call(0, DelStore(thumbprint))}},
        {"staging", L"StagePackageByUriAsync", {Call(0, kAddStore), Call(1, kStage)}},
        {"provisioning", L"ProvisionPackageForAllUsersAsync",
         {Call(0, kAddStore), Call(0, kStage), Call(1, kProvision)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetEverything();
        tools_.Forget();
        tools_.FailWhen(c.failing);
        EXPECT_EQ(Install(), 0u);
        std::vector<std::wstring> expected = c.calls;
        if (expected.back() != Call(0, DelStore(thumbprint)))
            expected.insert(expected.end(), takenBack.begin(), takenBack.end());
        EXPECT_EQ(tools_.Calls(), expected);
        ExpectNoPackageSetUp();
        ExpectClassicMenu(folder_);
        EXPECT_TRUE(Exists(folder_ + L"\\package\\Brellcmd.dll"));
    }
}

// An upgrade removes what the earlier version set up (its Active Setup entry
// too, which versions that registered user by user left), then sets the
// package up with the new certificate and version.
TEST_F(Package, UpgradeRemovesTheEarlierPackageAndItsCertificateFirst) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    const std::wstring earlier = L"0123456789ABCDEF0123456789ABCDEF01234567";
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, kCertValue, earlier, View32()));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kProductKey, L"PackageVersion", L"0.9.0.0", View32()));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, kActiveSetupKey, L"Version", L"0,9,0,0", View64()));
    tools_.Forget();

    ASSERT_EQ(Install(), 0u);
    std::vector<std::wstring> expected = {Call(0, kEndSurrogate), Call(0, kEndSurrogate), Call(0, kRemove),
                                          Call(0, DelStore(earlier))};
    expected.insert(expected.end(), kSetUp.begin(), kSetUp.end());
    EXPECT_EQ(tools_.Calls(), expected);
    EXPECT_EQ(Record(), ShippedThumbprint());
    EXPECT_EQ(RecordedVersion(), ProductVersion());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kActiveSetupKey, View64()));
}

// The package goes before anything else. When it cannot, a silent
// uninstall stops with the installation whole and exit code 2; with /FORCE
// it removes the rest, the certificate too, and leaves the package to
// Settings.
TEST_F(Package, UninstallThatCannotRemoveThePackageKeepsEverythingUnlessForced) {
    if (!SixtyFourBitWindows()) GTEST_SKIP() << "32-bit Windows gets no package";
    ASSERT_EQ(Install(), 0u);
    tools_.Forget();
    tools_.FailWhen(L"Remove-AppxPackage");
    EXPECT_EQ(UninstallInPlace(folder_), 2u);
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{Call(0, kEndSurrogate), Call(1, kRemove)}));
    for (const wchar_t* file : {L"\\Brellmenu.dll", L"\\package\\Brellcmd.dll", L"\\uninstall.exe"})
        EXPECT_TRUE(Exists(folder_ + file)) << Utf8(file);
    EXPECT_TRUE(Listed());
    ExpectClassicMenu(folder_);
    EXPECT_EQ(Record(), ShippedThumbprint());

    tools_.Forget();
    EXPECT_EQ(RunAndWait(L"\"" + folder_ + L"\\uninstall.exe\" /S /FORCE", kProgramTime), 0u);
    WaitForUninstallerCopies();
    EXPECT_EQ(tools_.Calls(), (std::vector<std::wstring>{Call(0, kEndSurrogate), Call(1, kRemove),
                                                         Call(0, DelStore(ShippedThumbprint()))}));
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(Listed());
    EXPECT_TRUE(RegistrationKeysPresent().empty());
    ExpectNoPackageSetUp();
}

// Only 64-bit Windows 11 for clients gets the package: Windows 10 would show
// it beside the classic entry, Windows Server's Explorer does not keep it,
// and 32-bit Windows has no x64 package.
TEST_F(Package, OnlyWindowsElevenForClientsGetsIt) {
    struct Case {
        const wchar_t* build;
        const wchar_t* type;
        bool gets;
    };
    const Case cases[] = {
        {L"19045", L"Client", false}, {L"21999", L"Client", false}, {L"22000", L"Client", true},
        {L"26100", L"Server", false}, {L"26100", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(std::wstring(c.build) + L" " + c.type));
        ForgetEverything();
        tools_.Forget();
        build_.Set(c.build, c.type);
        const bool expected = SixtyFourBitWindows() && c.gets;
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
