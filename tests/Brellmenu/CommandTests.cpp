// The top-level "Paste with Brellow" command (Brellcmd.dll), driven the way
// Windows 11 drives a packaged command: a new object for every question,
// the folder window's site set first, Invoke on yet another object. What it
// starts is read from a stand-in engine's command line; libraries resolve
// through the stand-in CLSID_ShellLibrary.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "FolderSite.h"
#include "PutClipboardFiles.h"
#include "command/CommandIdentity.h"
#include "harness/FakeLibrary.h"
#include "harness/ServerDll.h"
#include "harness/StubEngineTest.h"
#include "support/Clipboard.h"
#include "support/ComFake.h"
#include "support/Files.h"
#include "support/Folders.h"
#include "support/Registry.h"

using namespace brelltest;

namespace {

constexpr wchar_t kLibraryName[] = L"::{031E4825-7B94-4DC3-B131-E946B44C8DD5}\\Documents.library-ms";

// A shell item with a chosen parsing name, file-system path (empty: none)
// and attributes, for places Wine's shell does not have.
class FakeItem final : public FakeUnknown<IShellItem> {
public:
    FakeItem(std::wstring parsingName, std::wstring path, SFGAOF attributes)
        : parsingName_(std::move(parsingName)), path_(std::move(path)), attributes_(attributes) {}

    STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP GetParent(IShellItem** parent) override { return NotImplemented(parent); }
    STDMETHODIMP GetDisplayName(SIGDN kind, LPWSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        const std::wstring& text = kind == SIGDN_FILESYSPATH ? path_ : parsingName_;
        if (text.empty()) return E_INVALIDARG;
        return SHStrDupW(text.c_str(), name);
    }
    STDMETHODIMP GetAttributes(SFGAOF mask, SFGAOF* attributes) override {
        if (!attributes) return E_POINTER;
        *attributes = attributes_ & mask;
        return *attributes == mask ? S_OK : S_FALSE;
    }
    STDMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override { return NotImplemented(order); }

private:
    std::wstring parsingName_, path_;
    SFGAOF attributes_;
};

// The item array Explorer hands a command; empty or with items.
class FakeArray final : public FakeUnknown<IShellItemArray> {
public:
    explicit FakeArray(std::vector<IShellItem*> items) : items_(std::move(items)) {
        for (IShellItem* item : items_) item->AddRef();
    }
    STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** ppv) override { return NotImplemented(ppv); }
    STDMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** ppv) override {
        return NotImplemented(ppv);
    }
    STDMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<DWORD>(items_.size());
        return S_OK;
    }
    STDMETHODIMP GetItemAt(DWORD index, IShellItem** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        if (index >= items_.size()) return E_INVALIDARG;
        items_[index]->AddRef();
        *item = items_[index];
        return S_OK;
    }
    STDMETHODIMP EnumItems(IEnumShellItems** items) override { return NotImplemented(items); }

private:
    ~FakeArray() override {
        for (IShellItem* item : items_) item->Release();
    }
    std::vector<IShellItem*> items_;
};

// Offers CF_HDROP with delayed rendering: the data exists only once someone
// reads it, and this owner counts every such read (and would answer it with
// a block that is no file list at all).
class UnrenderedDrop {
public:
    UnrenderedDrop() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BrellUnrenderedDrop";
        RegisterClassW(&wc);
        window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
        renders_ = 0;
        if (window_ && OpenClipboard(window_)) {
            EmptyClipboard();
            SetClipboardData(CF_HDROP, nullptr);
            CloseClipboard();
        }
    }
    ~UnrenderedDrop() {
        EmptyTheClipboard();
        if (window_) DestroyWindow(window_);
    }
    static int renders() { return renders_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_RENDERFORMAT) {
            ++renders_;
            if (HGLOBAL junk = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 3)) SetClipboardData(CF_HDROP, junk);
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }
    HWND window_ = nullptr;
    static int renders_;
};
int UnrenderedDrop::renders_ = 0;

enum class Clip { Empty, Text, Files, UnrenderedFiles };

// Where the command learns its folder from.
enum class From {
    Nothing,       // no items, no site
    Array,         // item 0 of the array
    EmptyArray,    // an empty array, then the site
    Site,          // a null array, then the site
    SiteNoService, // a site that is no service provider
};

class CommandTest : public StubEngineTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dll_.ServesClasses());
        ASSERT_NO_FATAL_FAILURE(StubEngineTest::SetUp());
        folder_ = TempFolder() + L"\\paste here";
        ASSERT_TRUE(MakeFolders(folder_));
    }
    void TearDown() override {
        StubEngineTest::TearDown();
        EmptyTheClipboard();
        EXPECT_EQ(0, LiveFakeLibraryObjects());
        EXPECT_EQ(S_OK, dll_.DllCanUnloadNow()) << "an object or lock left behind";
    }

    // A new command object, made through the DLL's class factory as the
    // package's surrogate makes it, with the site set (when there is one).
    IExplorerCommand* NewCommand(IUnknown* site = nullptr) {
        IClassFactory* factory = nullptr;
        if (FAILED(dll_.DllGetClassObject(CLSID_PasteCommand, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            return nullptr;
        IExplorerCommand* command = nullptr;
        factory->CreateInstance(nullptr, IID_IExplorerCommand, reinterpret_cast<void**>(&command));
        factory->Release();
        if (command && site) {
            IObjectWithSite* withSite = nullptr;
            command->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
            if (!withSite || FAILED(withSite->SetSite(site))) {
                if (withSite) withSite->Release();
                command->Release();
                return nullptr;
            }
            withSite->Release();
        }
        return command;
    }

    static IShellItem* RealFolder(const std::wstring& path) {
        IShellItem* item = nullptr;
        SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(&item));
        return item;
    }
    static IShellItem* ThisPC() {
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidl))) return nullptr;
        IShellItem* item = nullptr;
        SHCreateItemFromIDList(pidl, IID_IShellItem, reinterpret_cast<void**>(&item));
        ILFree(pidl);
        return item;
    }
    static IShellItem* Library() { return new FakeItem(kLibraryName, L"", SFGAO_FOLDER); }
    static IShellItem* FileSystemFolder(const std::wstring& path) {
        return new FakeItem(path, path, SFGAO_FOLDER | SFGAO_FILESYSTEM);
    }

    // Asks a new object the question, handing it the folder the way `from`
    // says; links are the site's links. Takes over the item's reference.
    template <class Question>
    HRESULT Ask(IShellItem* folder, From from, unsigned links, Question question) {
        IShellItemArray* array = nullptr;
        IUnknown* site = nullptr;
        switch (from) {
            case From::Nothing: break;
            case From::Array: array = new FakeArray({folder}); break;
            case From::EmptyArray: array = new FakeArray({}); [[fallthrough]];
            case From::Site: site = brell::CreateFolderSite(folder, links); break;
            case From::SiteNoService: site = new FakeItem(L"not a site", L"", 0); break;
        }
        if (folder) folder->Release();
        IExplorerCommand* command = NewCommand(site);
        const HRESULT hr = command ? question(command, array) : E_UNEXPECTED;
        if (command) command->Release();
        if (array) array->Release();
        if (site) site->Release();
        return hr;
    }

    ServerDll dll_{BinPath(L"Brellcmd.dll")};
    std::wstring folder_;
};

TEST_F(CommandTest, FixedAnswers) {
    IExplorerCommand* command = NewCommand();
    ASSERT_NE(nullptr, command);
    LPWSTR text = reinterpret_cast<LPWSTR>(1);
    ASSERT_EQ(S_OK, command->GetTitle(nullptr, &text));
    EXPECT_STREQ(L"Paste with Brellow", text);
    CoTaskMemFree(text);
    ASSERT_EQ(S_OK, command->GetToolTip(nullptr, &text));
    EXPECT_STREQ(L"Paste files with Brellow for best performance", text);
    CoTaskMemFree(text);

    // The icon is the DLL's own, named by its own path, and loads.
    ASSERT_EQ(S_OK, command->GetIcon(nullptr, &text));
    std::wstring icon = text;
    CoTaskMemFree(text);
    const size_t comma = icon.rfind(L',');
    ASSERT_NE(std::wstring::npos, comma) << icon;
    EXPECT_EQ(0, lstrcmpiW(BinPath(L"Brellcmd.dll").c_str(), icon.substr(0, comma).c_str())) << icon;
    EXPECT_EQ(L",-101", icon.substr(comma));
    HICON small = nullptr;
    EXPECT_EQ(1u, ExtractIconExW(icon.substr(0, comma).c_str(), -101, nullptr, &small, 1));
    if (small) DestroyIcon(small);

    GUID name = GUID_NULL;
    EXPECT_EQ(S_OK, command->GetCanonicalName(&name));
    EXPECT_TRUE(IsEqualGUID(CLSID_PasteCommand, name));
    EXPCMDFLAGS flags = 0xFF;
    EXPECT_EQ(S_OK, command->GetFlags(&flags));
    EXPECT_EQ(static_cast<EXPCMDFLAGS>(ECF_DEFAULT), flags);
    command->Release();
}

TEST_F(CommandTest, OutPointersAreClearedOnFailure) {
    IExplorerCommand* command = NewCommand();
    ASSERT_NE(nullptr, command);
    void* const junk = reinterpret_cast<void*>(0x1234);
    IEnumExplorerCommand* sub = static_cast<IEnumExplorerCommand*>(junk);
    EXPECT_EQ(E_NOTIMPL, command->EnumSubCommands(&sub));
    EXPECT_EQ(nullptr, sub);
    IObjectWithSite* withSite = nullptr;
    ASSERT_EQ(S_OK, command->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)));
    void* out = junk;
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &out)) << "no site yet";
    EXPECT_EQ(nullptr, out);
    out = junk;
    EXPECT_EQ(E_NOINTERFACE, command->QueryInterface(IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    withSite->Release();

    // Null out-pointers are refused, not written through.
    EXPECT_EQ(E_POINTER, command->GetTitle(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetIcon(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetToolTip(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetCanonicalName(nullptr));
    EXPECT_EQ(E_POINTER, command->GetState(nullptr, FALSE, nullptr));
    EXPECT_EQ(E_POINTER, command->GetFlags(nullptr));
    command->Release();

    out = junk;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll_.DllGetClassObject(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, dll_.DllGetClassObject(CLSID_PasteCommand, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    out = junk;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    factory->Release();
}

TEST_F(CommandTest, HoldsOneSiteReferenceAndUnloadsAfterTheLastRelease) {
    IServiceProvider* site = brell::CreateFolderSite(nullptr);
    ASSERT_NE(nullptr, site);
    IExplorerCommand* command = NewCommand(site);
    ASSERT_NE(nullptr, command);
    EXPECT_EQ(S_FALSE, dll_.DllCanUnloadNow());
    // The site was counted once by the command: 1 (ours) + 1 (its) + this.
    EXPECT_EQ(3u, site->AddRef());
    site->Release();

    IObjectWithSite* withSite = nullptr;
    ASSERT_EQ(S_OK, command->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)));
    IServiceProvider* given = nullptr;
    ASSERT_EQ(S_OK, withSite->GetSite(IID_IServiceProvider, reinterpret_cast<void**>(&given)));
    EXPECT_EQ(site, given);
    given->Release();
    // A second site replaces the first; a null one lets it go.
    ASSERT_EQ(S_OK, withSite->SetSite(site));
    EXPECT_EQ(3u, site->AddRef());
    site->Release();
    ASSERT_EQ(S_OK, withSite->SetSite(nullptr));
    EXPECT_EQ(2u, site->AddRef());
    site->Release();
    ASSERT_EQ(S_OK, withSite->SetSite(site));
    withSite->Release();
    command->Release();
    EXPECT_EQ(S_OK, dll_.DllCanUnloadNow());
    EXPECT_EQ(0u, site->Release()) << "the command kept a site reference";
}

struct StateCase {
    const char* name;
    Clip clip;
    From from;
    int place;  // 0 the real test folder, 1 This PC, 2 a library
    EXPCMDSTATE expected;
};

class CommandStateTest : public CommandTest, public ::testing::WithParamInterface<StateCase> {};

// Shown only while files are on the clipboard, and never for a place that
// is neither a folder nor a library; the clipboard's data is never read.
TEST_P(CommandStateTest, ShowsTheEntryOnlyWithFilesToPasteIntoAFolder) {
    const StateCase& c = GetParam();
    UnrenderedDrop* unrendered = nullptr;
    switch (c.clip) {
        case Clip::Empty: ASSERT_TRUE(EmptyTheClipboard()); break;
        case Clip::Text: ASSERT_TRUE(brell::PutClipboardText(L"text only")); break;
        case Clip::Files: ASSERT_TRUE(brell::PutClipboardFiles({BinPath(L"Brellcmd.dll")})); break;
        case Clip::UnrenderedFiles: unrendered = new UnrenderedDrop(); break;
    }
    for (BOOL okToBeSlow : {FALSE, TRUE}) {
        IShellItem* place = c.from == From::Nothing ? nullptr
                            : c.place == 0          ? RealFolder(folder_)
                            : c.place == 1          ? ThisPC()
                                                    : Library();
        ASSERT_TRUE(c.from == From::Nothing || place) << c.name;
        EXPCMDSTATE state = static_cast<EXPCMDSTATE>(0xFF);
        EXPECT_EQ(S_OK, Ask(place, c.from, brell::kSiteAllLinks, [&](IExplorerCommand* command, IShellItemArray* items) {
            return command->GetState(items, okToBeSlow, &state);
        })) << c.name;
        EXPECT_EQ(c.expected, state) << c.name << (okToBeSlow ? ", may be slow" : "");
    }
    if (unrendered) {
        EXPECT_EQ(0, UnrenderedDrop::renders()) << "the clipboard's file list was read";
        delete unrendered;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clipboard, CommandStateTest,
    ::testing::Values(StateCase{"empty clipboard", Clip::Empty, From::Array, 0, ECS_HIDDEN},
                      StateCase{"text only", Clip::Text, From::Array, 0, ECS_HIDDEN},
                      StateCase{"text, This PC", Clip::Text, From::Site, 1, ECS_HIDDEN},
                      StateCase{"files, folder in the array", Clip::Files, From::Array, 0, ECS_ENABLED},
                      StateCase{"unread file list", Clip::UnrenderedFiles, From::Array, 0, ECS_ENABLED},
                      StateCase{"files, nowhere known", Clip::Files, From::Nothing, 0, ECS_ENABLED},
                      StateCase{"files, empty array and site", Clip::Files, From::EmptyArray, 0, ECS_ENABLED},
                      StateCase{"files, site only", Clip::Files, From::Site, 0, ECS_ENABLED},
                      StateCase{"files, This PC", Clip::Files, From::Site, 1, ECS_HIDDEN},
                      StateCase{"files, This PC in the array", Clip::Files, From::Array, 1, ECS_HIDDEN},
                      StateCase{"files, a library", Clip::Files, From::Array, 2, ECS_ENABLED}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return "Case" + std::to_string(info.index); });

struct InvokeCase {
    const char* name;
    From from;
    unsigned links;
    HRESULT expected;
    bool launches;  // into the test folder (or the library's save folder)
};

class CommandInvokeTest : public CommandTest, public ::testing::WithParamInterface<InvokeCase> {};

// Every way Explorer may hand the folder over, and each link of the site's
// chain missing: the paste starts exactly when a folder is found.
TEST_P(CommandInvokeTest, StartsTheEngineInTheFolderItIsGiven) {
    const InvokeCase& c = GetParam();
    EXPECT_EQ(c.expected, Ask(c.from == From::Nothing ? nullptr : RealFolder(folder_), c.from, c.links,
                              [](IExplorerCommand* command, IShellItemArray* items) {
                                  return command->Invoke(items, nullptr);
                              }))
        << c.name;
    if (c.launches) {
        EXPECT_EQ(engine_->Expected(folder_), engine_->WaitForLaunch()) << c.name;
    }
}

using namespace brell;
constexpr unsigned kViewService = kSiteFolderView | kSiteViewHasFolder;
constexpr unsigned kBrowserRoute = kSiteBrowser | kSiteActiveView | kSiteViewIsFolderView | kSiteViewHasFolder;

INSTANTIATE_TEST_SUITE_P(
    Location, CommandInvokeTest,
    ::testing::Values(InvokeCase{"item of the array", From::Array, 0, S_OK, true},
                      InvokeCase{"null array, whole site", From::Site, kSiteAllLinks, S_OK, true},
                      InvokeCase{"empty array, whole site", From::EmptyArray, kSiteAllLinks, S_OK, true},
                      InvokeCase{"folder view service only", From::Site, kViewService, S_OK, true},
                      InvokeCase{"browser route only", From::Site, kBrowserRoute, S_OK, true},
                      InvokeCase{"no items, no site", From::Nothing, 0, E_FAIL, false},
                      InvokeCase{"site without services", From::SiteNoService, 0, E_NOINTERFACE, false},
                      InvokeCase{"site offers nothing", From::Site, 0, E_NOINTERFACE, false},
                      InvokeCase{"browser without an active view", From::Site,
                                 kBrowserRoute & ~kSiteActiveView, E_FAIL, false},
                      InvokeCase{"active view is no folder view", From::Site,
                                 kBrowserRoute & ~kSiteViewIsFolderView, E_NOINTERFACE, false},
                      InvokeCase{"folder view without a folder", From::Site, kSiteAllLinks & ~kSiteViewHasFolder,
                                 E_FAIL, false}),
    [](const ::testing::TestParamInfo<InvokeCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(CommandTest, LibraryPastesIntoItsDefaultSaveFolder) {
    const std::wstring saveFolder = TempFolder() + L"\\library save folder";
    ASSERT_TRUE(MakeFolders(saveFolder));
    SetFakeLibrarySaveFolder(saveFolder);
    const auto invoke = [](IExplorerCommand* command, IShellItemArray* items) { return command->Invoke(items, nullptr); };
    EXPECT_EQ(S_OK, Ask(Library(), From::Array, 0, invoke));
    EXPECT_EQ(engine_->Expected(saveFolder), engine_->WaitForLaunch());
    EXPECT_EQ(kLibraryName, FakeLibraryLoadedFrom());

    // A library that cannot be loaded, and This PC, which is none, start
    // nothing and say why.
    FailFakeLibraryStep(1, STG_E_FILENOTFOUND);
    EXPECT_EQ(STG_E_FILENOTFOUND, Ask(Library(), From::Array, 0, invoke));
    FailFakeLibraryStep(1, E_NOINTERFACE);
    EXPECT_EQ(E_NOINTERFACE, Ask(ThisPC(), From::Site, kSiteAllLinks, invoke));
}

TEST_F(CommandTest, RefusesWhatItCannotHandToTheEngine) {
    const auto invoke = [](IExplorerCommand* command, IShellItemArray* items) { return command->Invoke(items, nullptr); };
    // 999 characters fit with the terminator; 1000 do not, and are not cut.
    std::wstring fits = L"C:\\";
    fits.append(999 - fits.size(), L'a');
    EXPECT_EQ(S_OK, Ask(FileSystemFolder(fits), From::Array, 0, invoke));
    EXPECT_EQ(engine_->Expected(fits), engine_->WaitForLaunch());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), Ask(FileSystemFolder(fits + L"b"), From::Array, 0, invoke));

    // Without the installer's Path there is no engine to start.
    engine_->RemoveProductKey();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Ask(RealFolder(folder_), From::Array, 0, invoke));
}

// The package registers the class; COM then makes it like any other. (The
// package's registration is the user's; Wine's COM reads classes from the
// machine's key only, so the test writes it there.)
TEST_F(CommandTest, CreatedThroughComOnceRegisteredAsThePackageDoes) {
    ASSERT_EQ(ERROR_SUCCESS, RegisterInprocServer(CLSID_PasteCommand, BinPath(L"Brellcmd.dll"), L"Apartment"));
    IExplorerCommand* command = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PasteCommand, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                                     reinterpret_cast<void**>(&command)));
    LPWSTR title = nullptr;
    EXPECT_EQ(S_OK, command->GetTitle(nullptr, &title));
    EXPECT_STREQ(L"Paste with Brellow", title);
    CoTaskMemFree(title);
    command->Release();
    DeleteTree(HKEY_LOCAL_MACHINE, ClassKey(CLSID_PasteCommand));
}

}  // namespace
