// Brelldrop.dll's right-drag menu as Explorer drives it: made through the
// DLL's own class factory, initialised with a drop folder and a data object
// (the shell's own for real files, or a stand-in that offers what a phone, a
// text selection or a crafted block offers), asked for its items in a real
// HMENU, and invoked by offset and by verb with the stand-in engine behind
// it. Then its registration with the real regsvr32.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "DropListStream.h"
#include "drop/DropIdentity.h"
#include "harness/ServerDll.h"
#include "harness/StubEngine.h"
#include "support/ComFake.h"
#include "support/Files.h"
#include "support/Folders.h"
#include "support/Process.h"
#include "support/Registry.h"
#include "Owners.h"

using namespace brelltest;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr wchar_t kClsid[] = L"{01235473-D7EE-48CD-944F-1D3557DAD0CE}";
const wchar_t* const kHandlerKeys[] = {L"Directory", L"Drive", L"Folder"};

std::string WideBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

// A CF_HDROP block: a DROPFILES header (offset and wideness as given, cut to
// headerBytes) followed by names, byte for byte.
std::string DropBlock(DWORD offset, bool wide, const std::string& names, size_t headerBytes = sizeof(DROPFILES)) {
    DROPFILES header = {};
    header.pFiles = offset;
    header.fWide = wide ? TRUE : FALSE;
    return std::string(reinterpret_cast<const char*>(&header), headerBytes) + names;
}

// Offers one format in one medium: a fresh HGLOBAL of globalBytes (at least
// the block's size) holding block, as a data object of another program
// would; every other format is refused.
class FakeData : public FakeUnknown<IDataObject> {
public:
    FakeData(CLIPFORMAT format, std::string block, DWORD tymed = TYMED_HGLOBAL, size_t globalBytes = 0)
        : format_(format), block_(std::move(block)), tymed_(tymed), globalBytes_(globalBytes) {}
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        *medium = {};
        if (format->cfFormat != format_ || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        if (tymed_ != TYMED_HGLOBAL) {
            medium->tymed = TYMED_NULL;  // claims success with another medium than asked
            return S_OK;
        }
        const size_t bytes = globalBytes_ > block_.size() ? globalBytes_ : block_.size();
        HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (!global) return E_OUTOFMEMORY;
        std::memcpy(GlobalLock(global), block_.data(), block_.size());
        GlobalUnlock(global);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = global;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format && format->cfFormat == format_ ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override { return NotImplemented(out); }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override { return NotImplemented(out); }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* out) override { return NotImplemented(out); }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override { return NotImplemented(out); }

private:
    CLIPFORMAT format_;
    std::string block_;
    DWORD tymed_;
    size_t globalBytes_;
};

// The shell's own data object for files of one folder, as Explorer drags them.
brell::ComPtr<IDataObject> ShellData(const std::vector<std::wstring>& files) {
    std::vector<brell::UniqueIdList> pidls;
    std::vector<PCUITEMID_CHILD> children;
    brell::ComPtr<IShellFolder> parent;
    for (const std::wstring& file : files) {
        pidls.emplace_back(FolderPidl(file));
        if (!pidls.back()) return {};
        PCUITEMID_CHILD child = nullptr;
        if (FAILED(SHBindToParent(pidls.back().get(), IID_IShellFolder, parent.put_void(), &child))) return {};
        children.push_back(child);
    }
    brell::ComPtr<IDataObject> data;
    if (FAILED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                     nullptr, data.put_void())))
        return {};
    return data;
}

brell::UniqueIdList SpecialFolder(int csidl) {
    brell::UniqueIdList pidl;
    SHGetSpecialFolderLocation(nullptr, csidl, pidl.put());
    return pidl;
}

class DropMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dll_.ok());
        ASSERT_TRUE(WriteBytes(source_ / L"a.txt", "a"));
        ASSERT_TRUE(WriteBytes(source_ / L"b.txt", "b"));
        popup_.reset(CreatePopupMenu());
        ASSERT_TRUE(popup_);
        AppendMenuW(popup_.get(), MF_STRING, 1, L"Copy here");
        AppendMenuW(popup_.get(), MF_STRING, 2, L"Move here");
        AppendMenuW(popup_.get(), MF_SEPARATOR, 0, nullptr);
    }
    void TearDown() override { EXPECT_EQ(S_OK, dll_.DllCanUnloadNow()); }

    // A new menu object initialised with folder and data; null when that failed.
    brell::ComPtr<IContextMenu> Create(PCIDLIST_ABSOLUTE folder, IDataObject* data) {
        brell::ComPtr<IClassFactory> factory;
        if (FAILED(dll_.DllGetClassObject(CLSID_BrellowDropMenu, IID_IClassFactory, factory.put_void()))) return {};
        brell::ComPtr<IShellExtInit> init;
        if (FAILED(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()))) return {};
        if (init->Initialize(folder, data, nullptr) != S_OK) return {};
        brell::ComPtr<IContextMenu> menu;
        init->QueryInterface(IID_IContextMenu, menu.put_void());
        return menu;
    }
    brell::ComPtr<IContextMenu> CreateForFiles() {
        brell::UniqueIdList folder(FolderPidl(target_.path()));
        brell::ComPtr<IDataObject> data = ShellData({source_ / L"a.txt", source_ / L"b.txt"});
        if (!folder || !data) return {};
        return Create(folder.get(), data.get());
    }
    // The number of items QueryContextMenu added, checked against the menu.
    int ItemsAdded(IContextMenu* menu, UINT flags = CMF_NORMAL) {
        const int before = GetMenuItemCount(popup_.get());
        const HRESULT hr = menu->QueryContextMenu(popup_.get(), 2, 100, 200, flags);
        EXPECT_TRUE(SUCCEEDED(hr));
        EXPECT_EQ(static_cast<int>(HRESULT_CODE(hr)), GetMenuItemCount(popup_.get()) - before);
        return GetMenuItemCount(popup_.get()) - before;
    }
    std::wstring ItemText(int position) {
        wchar_t text[128] = {};
        GetMenuStringW(popup_.get(), position, text, 128, MF_BYPOSITION);
        return text;
    }

    ServerDll dll_{BinPath(L"Brelldrop.dll")};
    ScratchFolder source_{L"drop-source"};
    ScratchFolder target_{L"drop-target"};
    brell::UniqueMenu popup_;
};

TEST_F(DropMenuTest, FilesOnAFolderAddBothItemsAfterTheShellsGroup) {
    brell::ComPtr<IContextMenu> menu = CreateForFiles();
    ASSERT_TRUE(menu);
    ASSERT_EQ(2, ItemsAdded(menu.get()));
    EXPECT_EQ(L"Copy here", ItemText(0));
    EXPECT_EQ(L"Move here", ItemText(1));
    EXPECT_EQ(L"Copy here with Brellow", ItemText(2));
    EXPECT_EQ(L"Move here with Brellow", ItemText(3));
    EXPECT_EQ(100u, GetMenuItemID(popup_.get(), 2));
    EXPECT_EQ(101u, GetMenuItemID(popup_.get(), 3));
    EXPECT_EQ(0u, GetMenuItemID(popup_.get(), 4));  // the separator stays after them
}

// What the drag carries decides: only a CF_HDROP block that parses as the
// engine parses it, and names something, shows the items.
TEST_F(DropMenuTest, ShownOnlyForAListOfFileSystemItems) {
    const std::wstring a = source_ / L"a.txt";
    const UINT descriptor = RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW);
    const std::string list = WideBytes(a) + std::string(2, '\0');
    struct Case {
        const char* name;
        CLIPFORMAT format;
        std::string block;
        DWORD tymed;
        size_t globalBytes;
        int added;
    };
    const DWORD header = sizeof(DROPFILES);
    const Case cases[] = {
        {"a well-formed list", CF_HDROP, DropBlock(header, true, list), TYMED_HGLOBAL, 0, 2},
        {"ANSI names", CF_HDROP, DropBlock(header, false, "C:\\x.txt" + std::string(2, '\0')), TYMED_HGLOBAL, 0, 2},
        {"slack after the list", CF_HDROP, DropBlock(header, true, list), TYMED_HGLOBAL, 4096, 2},
        {"text only", CF_UNICODETEXT, WideBytes(a), TYMED_HGLOBAL, 0, 0},
        {"virtual items (descriptors, no CF_HDROP)", static_cast<CLIPFORMAT>(descriptor), std::string(600, '\0'),
         TYMED_HGLOBAL, 0, 0},
        {"an empty list", CF_HDROP, DropBlock(header, true, std::string(4, '\0')), TYMED_HGLOBAL, 0, 0},
        {"offset past the end", CF_HDROP, DropBlock(0x10000, true, list), TYMED_HGLOBAL, 0, 0},
        {"offset inside the header", CF_HDROP, DropBlock(8, true, list), TYMED_HGLOBAL, 0, 0},
        {"no terminator", CF_HDROP, DropBlock(header, true, WideBytes(a).substr(0, a.size() * 2)), TYMED_HGLOBAL, 0, 0},
        {"the list's terminator missing", CF_HDROP, DropBlock(header, true, WideBytes(a)), TYMED_HGLOBAL, 0, 0},
        {"header cut short", CF_HDROP, DropBlock(header, true, "", 12), TYMED_HGLOBAL, 0, 0},
        {"another medium than asked", CF_HDROP, DropBlock(header, true, list), TYMED_ISTREAM, 0, 0},
    };
    brell::UniqueIdList folder(FolderPidl(target_.path()));
    ASSERT_TRUE(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* data = new FakeData(c.format, c.block, c.tymed, c.globalBytes);
        brell::ComPtr<IContextMenu> menu = Create(folder.get(), data);
        data->Release();
        ASSERT_TRUE(menu);
        EXPECT_EQ(c.added, ItemsAdded(menu.get()));
        while (GetMenuItemCount(popup_.get()) > 3) DeleteMenu(popup_.get(), 2, MF_BYPOSITION);
    }
}

// A block is read up to the engine's limit whatever its GlobalSize says: a
// list that ends past it shows nothing, one that ends before it is taken.
TEST_F(DropMenuTest, TheBlockIsReadOnlyUpToTheEnginesLimit) {
    brell::UniqueIdList folder(FolderPidl(target_.path()));
    const std::wstring longName = L"C:\\" + std::wstring(30000, L'n');
    std::string names;
    while (names.size() < brell::kMaxDropListBytes) names += WideBytes(longName);
    struct Case {
        const char* name;
        std::string block;
        int added;
    };
    const Case cases[] = {
        {"the list's end past the limit", DropBlock(sizeof(DROPFILES), true, names + std::string(2, '\0')), 0},
        {"the list's end before it, slack after", DropBlock(sizeof(DROPFILES), true, WideBytes(longName) + std::string(2, '\0') + names), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* data = new FakeData(CF_HDROP, c.block);
        brell::ComPtr<IContextMenu> menu = Create(folder.get(), data);
        data->Release();
        ASSERT_TRUE(menu);
        EXPECT_EQ(c.added, ItemsAdded(menu.get()));
        while (GetMenuItemCount(popup_.get()) > 3) DeleteMenu(popup_.get(), 2, MF_BYPOSITION);
    }
}

// The drop folder decides too: the paste entry's rule (a folder of the file
// system or a library; libraries are covered by the command's tests, whose
// rule this is).
TEST_F(DropMenuTest, ShownOnlyOnFoldersOfTheFileSystem) {
    struct Case {
        const char* name;
        brell::UniqueIdList folder;
        int added;
    };
    Case cases[] = {
        {"a folder", brell::UniqueIdList(FolderPidl(target_.path())), 2},
        {"a drive's root", brell::UniqueIdList(FolderPidl(L"C:\\")), 2},
        {"This PC", SpecialFolder(CSIDL_DRIVES), 0},
        {"the Control Panel", SpecialFolder(CSIDL_CONTROLS), 0},
        {"a file", brell::UniqueIdList(FolderPidl(source_ / L"a.txt")), 0},
    };
    brell::ComPtr<IDataObject> data = ShellData({source_ / L"a.txt"});
    ASSERT_TRUE(data);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.folder);
        brell::ComPtr<IContextMenu> menu = Create(c.folder.get(), data.get());
        ASSERT_TRUE(menu);
        EXPECT_EQ(c.added, ItemsAdded(menu.get()));
        while (GetMenuItemCount(popup_.get()) > 3) DeleteMenu(popup_.get(), 2, MF_BYPOSITION);
    }
    // No folder, no data: nothing, and no failure into the shell.
    brell::UniqueIdList folder(FolderPidl(target_.path()));
    for (brell::ComPtr<IContextMenu> menu : {Create(nullptr, data.get()), Create(folder.get(), nullptr)}) {
        ASSERT_TRUE(menu);
        EXPECT_EQ(0, ItemsAdded(menu.get()));
    }
}

TEST_F(DropMenuTest, DefaultOnlyOrTooFewIdsAddNothing) {
    brell::ComPtr<IContextMenu> menu = CreateForFiles();
    ASSERT_TRUE(menu);
    EXPECT_EQ(0, ItemsAdded(menu.get(), CMF_DEFAULTONLY));
    EXPECT_EQ(S_OK, menu->QueryContextMenu(popup_.get(), 0, 7, 7, CMF_NORMAL));
    EXPECT_EQ(3, GetMenuItemCount(popup_.get()));
}

TEST_F(DropMenuTest, VerbsAndHelpTextsInBothEncodings) {
    brell::ComPtr<IContextMenu> menu = CreateForFiles();
    ASSERT_TRUE(menu);
    struct Case {
        UINT_PTR offset;
        UINT type;
        const char* expected;
    };
    const Case cases[] = {
        {0, GCS_VERBA, "brellowcopy"},
        {1, GCS_VERBA, "brellowmove"},
        {0, GCS_VERBW, "brellowcopy"},
        {1, GCS_VERBW, "brellowmove"},
        {0, GCS_HELPTEXTA, "Copy the dragged files here with Brellow"},
        {1, GCS_HELPTEXTW, "Move the dragged files here with Brellow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::string expected = c.expected;
        const bool wide = (c.type & GCS_UNICODE) != 0;
        wchar_t buffer[128];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        char* name = reinterpret_cast<char*>(buffer);
        ASSERT_EQ(S_OK, menu->GetCommandString(c.offset, c.type, nullptr, name, 128));
        EXPECT_EQ(std::wstring(expected.begin(), expected.end()), wide ? std::wstring(buffer) : [&] {
            const std::string narrow(name);
            return std::wstring(narrow.begin(), narrow.end());
        }());
        // One character short: an empty string and a failure, nothing written beyond.
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        const UINT shortBy = static_cast<UINT>(expected.size());
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
                  menu->GetCommandString(c.offset, c.type, nullptr, name, shortBy));
        EXPECT_TRUE(wide ? buffer[0] == L'\0' : name[0] == '\0');
        EXPECT_EQ(L'#', buffer[shortBy]);
    }
    char buffer[64] = {};
    EXPECT_EQ(S_OK, menu->GetCommandString(1, GCS_VALIDATEW, nullptr, buffer, 64));
    EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(2, GCS_VERBA, nullptr, buffer, 64));
    EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(0, GCS_VERBA, nullptr, nullptr, 64));
}

// Both commands by offset and by verb (ANSI, wide, any case) start the
// engine with the list and the mode; another handler's offset or verb
// starts nothing.
TEST_F(DropMenuTest, InvokedByOffsetOrVerbStartsTheEngineWithTheMode) {
    StubEngine stub;
    ASSERT_TRUE(stub.ok());
    ASSERT_TRUE(stub.SetPath());
    brell::ComPtr<IContextMenu> menu = CreateForFiles();
    ASSERT_TRUE(menu);
    struct Case {
        const char* name;
        LPCSTR verb;
        const wchar_t* wideVerb;
        const wchar_t* flag;  // null: nothing starts
    };
    const Case cases[] = {
        {"offset 0", MAKEINTRESOURCEA(0), nullptr, L"--list-copy="},
        {"offset 1", MAKEINTRESOURCEA(1), nullptr, L"--list-move="},
        {"ANSI copy verb", "brellowcopy", nullptr, L"--list-copy="},
        {"ANSI move verb, other case", "BrellowMove", nullptr, L"--list-move="},
        {"wide move verb", "ignored", L"brellowmove", L"--list-move="},
        {"offset 2", MAKEINTRESOURCEA(2), nullptr, nullptr},
        {"another verb", "paste", nullptr, nullptr},
        {"a verb that only starts like ours", "brellowcopyall", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMINVOKECOMMANDINFOEX info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = c.verb;
        info.lpVerbW = c.wideVerb;
        info.fMask = c.wideVerb ? CMIC_MASK_UNICODE : 0;
        info.nShow = SW_HIDE;
        const HRESULT hr = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
        if (!c.flag) {
            EXPECT_EQ(E_FAIL, hr);
            EXPECT_FALSE(stub.LaunchPending());
            continue;
        }
        EXPECT_EQ(S_OK, hr);
        const std::wstring line = stub.WaitForLaunch();
        EXPECT_THAT(line, StartsWith(L"\"" + stub.Engine() + L"\" " + c.flag));
        EXPECT_THAT(line, EndsWith(L" \"" + target_.path() + L"\""));
    }
    stub.RemoveProductKey();
}

TEST_F(DropMenuTest, NoEngineFolderIsAFailureAndStartsNothing) {
    StubEngine stub;
    stub.RemoveProductKey();
    brell::ComPtr<IContextMenu> menu = CreateForFiles();
    ASSERT_TRUE(menu);
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), menu->InvokeCommand(&info));
    EXPECT_FALSE(stub.LaunchPending());
}

// The real regsvr32: machine-wide and per user, each taken back whole.
TEST(DropRegistration, RegistersAndRemovesTheHandlerForFoldersDrivesAndLibraries) {
    const std::wstring dll = BinPath(L"Brelldrop.dll");
    struct Case {
        const char* name;
        const wchar_t* options;
        HKEY root;
        const wchar_t* classes;
    };
    const Case cases[] = {
        {"machine-wide", L"", HKEY_LOCAL_MACHINE, L"Software\\Classes"},
        {"per user", L"/n /i:user ", HKEY_CURRENT_USER, L"Software\\Classes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring classes = c.classes;
        const std::wstring classKey = classes + L"\\CLSID\\" + kClsid;
        ASSERT_EQ(0u, RunAndWait(L"regsvr32 /s " + std::wstring(c.options) + L"\"" + dll + L"\"", 60000));
        EXPECT_EQ(dll, StringValue(c.root, classKey + L"\\InprocServer32", nullptr));
        EXPECT_EQ(L"Apartment", StringValue(c.root, classKey + L"\\InprocServer32", L"ThreadingModel"));
        for (const wchar_t* key : kHandlerKeys)
            EXPECT_EQ(kClsid, StringValue(c.root, classes + L"\\" + key + L"\\shellex\\DragDropHandlers\\Brellow",
                                          nullptr))
                << key;

        ASSERT_EQ(0u, RunAndWait(L"regsvr32 /s /u " + std::wstring(c.options) + L"\"" + dll + L"\"", 60000));
        EXPECT_FALSE(KeyExists(c.root, classKey));
        for (const wchar_t* key : kHandlerKeys)
            EXPECT_FALSE(KeyExists(c.root, classes + L"\\" + key + L"\\shellex\\DragDropHandlers\\Brellow")) << key;
    }
}

}  // namespace
