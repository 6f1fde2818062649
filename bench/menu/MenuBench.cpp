// What Explorer pays for the paste handler on every background menu, beside
// the bare system calls any such handler must make; and what the top-level
// command's GetState costs, with and without files on the clipboard, beside
// a bare IsClipboardFormatAvailable; and what the right-drag menu's
// QueryContextMenu and Initialize cost beside the calls they make. Prints
// both sides, their ratios and the size of each deliverable; never fails on
// timing.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "FolderSite.h"
#include "Owners.h"
#include "PutClipboardFiles.h"
#include "command/CommandIdentity.h"
#include "drop/DropIdentity.h"

namespace {

const CLSID kMenuClsid = {0x5d3e8a17, 0x2c4b, 0x4f61, {0x9a, 0x0e, 0x7b, 0x1c, 0x3d, 0x5f, 0x8e, 0x24}};
constexpr UINT kFirstId = 100;

using GetClassObjectFunc = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool PutFileOnClipboard() { return brell::PutClipboardFiles({L"C:\\windows\\win.ini"}); }

// One background menu as Explorer builds it with the handler.
bool HandlerCycle(GetClassObjectFunc getClassObject, PCIDLIST_ABSOLUTE folder, HMENU menu) {
    brell::ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(kMenuClsid, IID_IClassFactory, factory.put_void()))) return false;
    brell::ComPtr<IShellExtInit> init;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void());
    factory.reset();
    if (FAILED(hr)) return false;
    init->Initialize(folder, nullptr, nullptr);
    brell::ComPtr<IContextMenu> context;
    hr = init->QueryInterface(IID_IContextMenu, context.put_void());
    init.reset();
    if (FAILED(hr)) return false;
    hr = context->QueryContextMenu(menu, 0, kFirstId, kFirstId + 10, CMF_NORMAL);
    context.reset();
    DeleteMenu(menu, kFirstId, MF_BYCOMMAND);
    return HRESULT_CODE(hr) == 1;
}

// The same menu with only the calls no handler can avoid.
bool BareCycle(PCIDLIST_ABSOLUTE folder, HMENU menu) {
    const brell::UniqueIdList copy(ILCloneFull(folder));
    if (!IsClipboardFormatAvailable(CF_HDROP)) return false;
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kFirstId, L"Paste with Brellow");
    DeleteMenu(menu, kFirstId, MF_BYCOMMAND);
    return true;
}

// The top-level command as Explorer holds it while a menu opens: made by
// the DLL's factory, its site a folder window's.
brell::ComPtr<IExplorerCommand> MakeCommand(GetClassObjectFunc getClassObject, IUnknown* site) {
    brell::ComPtr<IExplorerCommand> command;
    brell::ComPtr<IClassFactory> factory;
    if (!getClassObject || FAILED(getClassObject(CLSID_PasteCommand, IID_IClassFactory, factory.put_void())))
        return command;
    factory->CreateInstance(nullptr, IID_IExplorerCommand, command.put_void());
    factory.reset();
    brell::ComPtr<IObjectWithSite> withSite;
    if (command && SUCCEEDED(command->QueryInterface(IID_IObjectWithSite, withSite.put_void())))
        withSite->SetSite(site);
    return command;
}

// GetState beside IsClipboardFormatAvailable alone, in alternating batches.
// With files on the clipboard GetState also asks the folder's shell item
// whether it is a folder of the file system; Windows answers that from the
// item's ID list, while Wine's shell item binds to its parent folder and
// asks the file system on every call, which shows in the ratio here.
void BenchGetState(IExplorerCommand* command, const char* clipboard) {
    constexpr int kBatches = 20;
    constexpr int kPerBatch = 500;
    double state = 0, bare = 0;
    EXPCMDSTATE shown = ECS_HIDDEN;
    for (int batch = 0; batch < kBatches; ++batch) {
        double start = Now();
        for (int i = 0; i < kPerBatch; ++i) command->GetState(nullptr, FALSE, &shown);
        state += Now() - start;
        start = Now();
        for (int i = 0; i < kPerBatch; ++i) IsClipboardFormatAvailable(CF_HDROP);
        bare += Now() - start;
    }
    const double calls = kBatches * kPerBatch;
    std::printf("GetState, %-9s %.2f us (%s) beside IsClipboardFormatAvailable %.2f us: ratio %.3f (target <= 1.1)\n",
                clipboard, state / calls * 1e6, shown == ECS_ENABLED ? "shown" : "hidden", bare / calls * 1e6,
                state / bare);
}

// The shell's data object of one file, as a drag of it carries.
brell::ComPtr<IDataObject> DataOfFile(const wchar_t* path) {
    brell::ComPtr<IDataObject> data;
    brell::UniqueIdList pidl;
    if (FAILED(SHParseDisplayName(path, nullptr, pidl.put(), 0, nullptr))) return data;
    brell::ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(SHBindToParent(pidl.get(), IID_IShellFolder, parent.put_void(), &child))) return data;
    parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, data.put_void());
    return data;
}

// The right-drag menu: QueryContextMenu on an object initialised once,
// beside the two InsertMenuW (and their removal) it comes down to; and
// Initialize, which reads the drag's list and asks the folder's kind,
// beside the bare GetData of that list.
void BenchDropMenu(const std::wstring& bin, PCIDLIST_ABSOLUTE folder, HMENU menu) {
    HMODULE dll = LoadLibraryW((bin + L"\\Brelldrop.dll").c_str());
    auto getClassObject = dll ? reinterpret_cast<GetClassObjectFunc>(reinterpret_cast<void (*)()>(
                                    GetProcAddress(dll, "DllGetClassObject")))
                              : nullptr;
    brell::ComPtr<IDataObject> data = DataOfFile(L"C:\\windows\\win.ini");
    brell::ComPtr<IClassFactory> factory;
    brell::ComPtr<IShellExtInit> init;
    brell::ComPtr<IContextMenu> context;
    if (getClassObject && data && SUCCEEDED(getClassObject(CLSID_BrellowDropMenu, IID_IClassFactory, factory.put_void())))
        factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void());
    if (init && SUCCEEDED(init->Initialize(folder, data.get(), nullptr)))
        init->QueryInterface(IID_IContextMenu, context.put_void());
    if (!context || HRESULT_CODE(context->QueryContextMenu(menu, 0, kFirstId, kFirstId + 10, CMF_NORMAL)) != 2) {
        std::printf("the drop menu could not be made\n");
        return;
    }
    DeleteMenu(menu, kFirstId, MF_BYCOMMAND);
    DeleteMenu(menu, kFirstId + 1, MF_BYCOMMAND);

    constexpr int kBatches = 20;
    constexpr int kPerBatch = 500;
    double query = 0, bare = 0, initialize = 0, getData = 0;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    for (int batch = 0; batch < kBatches; ++batch) {
        double start = Now();
        for (int i = 0; i < kPerBatch; ++i) {
            context->QueryContextMenu(menu, 0, kFirstId, kFirstId + 10, CMF_NORMAL);
            DeleteMenu(menu, kFirstId, MF_BYCOMMAND);
            DeleteMenu(menu, kFirstId + 1, MF_BYCOMMAND);
        }
        query += Now() - start;
        start = Now();
        for (int i = 0; i < kPerBatch; ++i) {
            InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kFirstId, L"Copy here with Brellow");
            InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, kFirstId + 1, L"Move here with Brellow");
            DeleteMenu(menu, kFirstId, MF_BYCOMMAND);
            DeleteMenu(menu, kFirstId + 1, MF_BYCOMMAND);
        }
        bare += Now() - start;
        start = Now();
        for (int i = 0; i < kPerBatch / 10; ++i) init->Initialize(folder, data.get(), nullptr);
        initialize += Now() - start;
        start = Now();
        for (int i = 0; i < kPerBatch / 10; ++i) {
            STGMEDIUM medium = {};
            if (SUCCEEDED(data->GetData(&format, &medium))) ReleaseStgMedium(&medium);
        }
        getData += Now() - start;
    }
    const double calls = kBatches * kPerBatch;
    std::printf("drop menu QueryContextMenu: %.2f us beside 2 InsertMenuW + 2 DeleteMenu %.2f us: ratio %.3f\n",
                query / calls * 1e6, bare / calls * 1e6, query / bare);
    std::printf("drop menu Initialize:       %.2f us beside the bare GetData(CF_HDROP) %.2f us: ratio %.3f\n",
                initialize / (calls / 10) * 1e6, getData / (calls / 10) * 1e6, initialize / getData);
}

void PrintSizes(const std::wstring& dir, const wchar_t* label) {
    for (const wchar_t* file : {L"Brellmenu.dll", L"Brellcmd.dll", L"Brelldrop.dll", L"Brellcfg.exe"}) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        const std::wstring path = dir + L"\\" + file;
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            std::printf("size %-4ls %-14ls %lu bytes\n", label, file, data.nFileSizeLow);
        }
    }
}

// Everything between OleInitialize and OleUninitialize, so that the owners
// are released before COM is.
int Bench(int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring bin = self;
    bin = bin.substr(0, bin.find_last_of(L'\\'));

    HMODULE server = LoadLibraryW((bin + L"\\Brellmenu.dll").c_str());
    auto getClassObject = server ? reinterpret_cast<GetClassObjectFunc>(reinterpret_cast<void (*)()>(
                                       GetProcAddress(server, "DllGetClassObject")))
                                 : nullptr;
    brell::UniqueIdList folder;
    SHParseDisplayName(L"C:\\windows", nullptr, folder.put(), 0, nullptr);
    brell::UniqueMenu menu(CreatePopupMenu());
    if (!getClassObject || !folder || !menu || !PutFileOnClipboard()) {
        std::printf("setup failed\n");
        return 1;
    }
    // The first request makes the factory; Explorer's later menus find it cached.
    if (!HandlerCycle(getClassObject, folder.get(), menu.get())) {
        std::printf("handler cycle failed\n");
        return 1;
    }

    constexpr int kBatches = 20;
    constexpr int kPerBatch = 500;
    double handler = 0, bare = 0;
    // Alternating batches share whatever the machine is doing meanwhile.
    for (int batch = 0; batch < kBatches; ++batch) {
        double start = Now();
        for (int i = 0; i < kPerBatch; ++i) HandlerCycle(getClassObject, folder.get(), menu.get());
        handler += Now() - start;
        start = Now();
        for (int i = 0; i < kPerBatch; ++i) BareCycle(folder.get(), menu.get());
        bare += Now() - start;
    }
    const double cycles = kBatches * kPerBatch;
    std::printf("handler cycle: %.2f us (DllGetClassObject cached, CreateInstance, Initialize, "
                "QueryContextMenu, Release)\n", handler / cycles * 1e6);
    std::printf("bare calls:    %.2f us (ILClone/ILFree, IsClipboardFormatAvailable, InsertMenuW)\n",
                bare / cycles * 1e6);
    std::printf("ratio:         %.3f (target <= 1.25)\n", handler / bare);

    // The top-level command, for a folder known through the window's site.
    HMODULE commandDll = LoadLibraryW((bin + L"\\Brellcmd.dll").c_str());
    auto commandClassObject = commandDll ? reinterpret_cast<GetClassObjectFunc>(reinterpret_cast<void (*)()>(
                                               GetProcAddress(commandDll, "DllGetClassObject")))
                                         : nullptr;
    {
        brell::ComPtr<IShellItem> item;
        SHCreateItemFromParsingName(L"C:\\windows", nullptr, IID_IShellItem, item.put_void());
        brell::ComPtr<IServiceProvider> site;
        if (item) site = brell::ComPtr<IServiceProvider>::attach(brell::CreateFolderSite(item.get()));
        brell::ComPtr<IExplorerCommand> command;
        if (site) command = MakeCommand(commandClassObject, site.get());
        if (command) {
            BenchGetState(command.get(), "files:");
            OpenClipboard(nullptr);
            EmptyClipboard();
            CloseClipboard();
            BenchGetState(command.get(), "no files:");
        } else {
            std::printf("the command could not be made\n");
        }
    }

    BenchDropMenu(bin, folder.get(), menu.get());

    PrintSizes(bin, L"x64");
    if (argc > 1) PrintSizes(argv[1], L"x86");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    OleInitialize(nullptr);
    const int result = Bench(argc, argv);
    OleUninitialize();
    return result;
}
