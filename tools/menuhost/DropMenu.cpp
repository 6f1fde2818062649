#include "DropMenu.h"

#include <cstdint>
#include <cwctype>
#include <string>

namespace brell {
namespace {

// The shell's own items, with identifiers below every handler's.
const wchar_t* const kShellItems[] = {L"Copy here", L"Move here", L"Create shortcuts here"};
constexpr UINT kCancelId = 4;
constexpr UINT kFirstHandlerId = 0x100;
constexpr UINT kLastId = 0x7FFF;

bool ParseClsid(const std::wstring& text, CLSID& clsid) {
    if (text.size() != 38 || text.front() != L'{') return false;
    return SUCCEEDED(CLSIDFromString(text.c_str(), &clsid));
}

std::wstring ParentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// "X:\" (or "X:"): a drive's root, whose handlers are the Drive class's.
bool IsDriveRoot(const std::wstring& folder) {
    return (folder.size() == 3 || folder.size() == 2) && std::iswalpha(folder[0]) && folder[1] == L':' &&
           (folder.size() == 2 || folder[2] == L'\\');
}

}  // namespace

DropMenu::DropMenu() : menu_(CreatePopupMenu()) {}

// The source folder's own data object for the items, as Explorer drags them.
HRESULT DropMenu::MakeDataObject(const std::vector<std::wstring>& files) {
    if (files.empty()) return E_INVALIDARG;
    const std::wstring parent = ParentOf(files.front());
    for (const std::wstring& file : files)
        if (!SameText(ParentOf(file), parent)) return E_INVALIDARG;  // a drag takes items of one folder

    std::vector<UniqueIdList> absolute;
    std::vector<PCUITEMID_CHILD> children;
    ComPtr<IShellFolder> source;
    for (const std::wstring& file : files) {
        UniqueIdList pidl;
        HRESULT hr = SHParseDisplayName(file.c_str(), nullptr, pidl.put(), 0, nullptr);
        if (FAILED(hr)) return hr;
        PCUITEMID_CHILD child = nullptr;
        ComPtr<IShellFolder> folder;
        hr = SHBindToParent(pidl.get(), IID_IShellFolder, folder.put_void(), &child);
        if (FAILED(hr)) return hr;
        if (!source) source = folder;
        children.push_back(child);
        absolute.push_back(std::move(pidl));
    }
    return source->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                 nullptr, data_.put_void());
}

void DropMenu::AddHandler(const CLSID& clsid, const std::wstring& id, const wchar_t* classKey) {
    for (const Handler& known : handlers_)
        if (SameText(known.clsid, id)) return;  // registered under two keys: loaded once
    Handler handler = {id, classKey, S_OK, nextId_, 0};
    ComPtr<IContextMenu> contextMenu;
    UniqueHKey progIdKey;
    RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey, 0, KEY_READ, progIdKey.put());

    ComPtr<IShellExtInit> init;
    handler.result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void());
    if (SUCCEEDED(handler.result)) handler.result = init->Initialize(folder_.get(), data_.get(), progIdKey.get());
    if (SUCCEEDED(handler.result)) handler.result = init->QueryInterface(IID_IContextMenu, contextMenu.put_void());
    if (SUCCEEDED(handler.result)) {
        handler.result = contextMenu->QueryContextMenu(menu_.get(), insertAt_, nextId_, kLastId, CMF_NORMAL);
        if (SUCCEEDED(handler.result)) handler.idCount = HRESULT_CODE(handler.result);
    }
    nextId_ += handler.idCount;
    handlers_.push_back(handler);
    menus_.push_back(contextMenu);
}

void DropMenu::AddHandlers(const wchar_t* classKey) {
    const std::wstring path = std::wstring(classKey) + L"\\shellex\\DragDropHandlers";
    UniqueHKey handlers;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, handlers.put()) != ERROR_SUCCESS) return;
    // A subkey is named by the class id, or names the handler and carries
    // the class id as its default value.
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(handlers.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        CLSID clsid;
        std::wstring id = name;
        if (!ParseClsid(id, clsid)) {
            wchar_t value[64] = {};
            DWORD size = sizeof(value) - sizeof(wchar_t);
            DWORD type = 0;
            if (RegGetValueW(handlers.get(), name, nullptr, RRF_RT_REG_SZ, &type, value, &size) != ERROR_SUCCESS)
                continue;
            id = value;
            if (!ParseClsid(id, clsid)) continue;
        }
        const int before = GetMenuItemCount(menu_.get());
        AddHandler(clsid, id, classKey);
        insertAt_ += static_cast<UINT>(GetMenuItemCount(menu_.get()) - before);
    }
}

void DropMenu::ListItems() {
    const int count = GetMenuItemCount(menu_.get());
    for (int position = 0; position < count; ++position) {
        wchar_t text[512] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text) - 1;
        if (!GetMenuItemInfoW(menu_.get(), static_cast<UINT>(position), TRUE, &info)) continue;
        Item item = {info.wID, (info.fType & MFT_SEPARATOR) ? std::wstring() : std::wstring(text), std::wstring(),
                     std::wstring(), SIZE_MAX};
        for (size_t h = 0; h < handlers_.size(); ++h) {
            const Handler& handler = handlers_[h];
            if (item.id >= handler.firstId && item.id < handler.firstId + handler.idCount) item.handler = h;
        }
        if (item.handler != SIZE_MAX && menus_[item.handler]) {
            const UINT_PTR offset = item.id - handlers_[item.handler].firstId;
            wchar_t help[256] = {};
            if (SUCCEEDED(menus_[item.handler]->GetCommandString(offset, GCS_HELPTEXTW, nullptr,
                                                                 reinterpret_cast<char*>(help), ARRAYSIZE(help))))
                item.helpText = help;
            wchar_t verb[128] = {};
            if (SUCCEEDED(menus_[item.handler]->GetCommandString(offset, GCS_VERBW, nullptr,
                                                                 reinterpret_cast<char*>(verb), ARRAYSIZE(verb))))
                item.verb = verb;
        }
        items_.push_back(item);
    }
}

HRESULT DropMenu::Build(const std::wstring& folder, const std::vector<std::wstring>& files) {
    if (!menu_) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = SHParseDisplayName(folder.c_str(), nullptr, folder_.put(), 0, nullptr);
    if (FAILED(hr)) return hr;
    hr = MakeDataObject(files);
    if (FAILED(hr)) return hr;
    if (!data_) return E_UNEXPECTED;

    UINT id = 1;
    for (const wchar_t* text : kShellItems) AppendMenuW(menu_.get(), MF_STRING, id++, text);
    AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu_.get(), MF_STRING, kCancelId, L"Cancel");
    insertAt_ = ARRAYSIZE(kShellItems);  // after the shell's group, before the separator
    nextId_ = kFirstHandlerId;

    AddHandlers(IsDriveRoot(folder) ? L"Drive" : L"Directory");
    AddHandlers(L"Folder");
    ListItems();
    return S_OK;
}

HRESULT DropMenu::Invoke(const std::wstring& text) {
    for (const Item& item : items_) {
        if (item.text != text || item.handler == SIZE_MAX || !menus_[item.handler]) continue;
        CMINVOKECOMMANDINFO invoke = {};
        invoke.cbSize = sizeof(invoke);
        invoke.lpVerb = MAKEINTRESOURCEA(item.id - handlers_[item.handler].firstId);
        invoke.nShow = SW_SHOWNORMAL;
        return menus_[item.handler]->InvokeCommand(&invoke);
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT DropMenu::InvokeVerb(const std::wstring& verb) {
    std::string ansi;
    for (wchar_t c : verb) ansi += static_cast<char>(c);  // verbs are plain ASCII
    for (const Item& item : items_) {
        if (item.handler == SIZE_MAX || !menus_[item.handler] || !SameText(item.verb, verb)) continue;
        CMINVOKECOMMANDINFOEX invoke = {};
        invoke.cbSize = sizeof(invoke);
        invoke.fMask = CMIC_MASK_UNICODE;
        invoke.lpVerb = ansi.c_str();
        invoke.lpVerbW = verb.c_str();
        invoke.nShow = SW_SHOWNORMAL;
        return menus_[item.handler]->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

}  // namespace brell
