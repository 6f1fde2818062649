#include "BackgroundMenu.h"

#include <cstdint>

namespace brell {
namespace {

constexpr wchar_t kHandlersKey[] = L"Directory\\Background\\shellex\\ContextMenuHandlers";
constexpr UINT kLastId = 0x7FFF;

bool ParseClsid(const std::wstring& text, CLSID& clsid) {
    if (text.size() != 38 || text.front() != L'{') return false;
    return SUCCEEDED(CLSIDFromString(text.c_str(), &clsid));
}

}  // namespace

BackgroundMenu::BackgroundMenu() : menu_(CreatePopupMenu()) {}

void BackgroundMenu::AddHandler(const CLSID& clsid, const std::wstring& name) {
    Handler handler = {name, S_OK, nextId_, 0};
    ComPtr<IContextMenu> contextMenu;

    ComPtr<IShellExtInit> init;
    handler.result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void());
    if (SUCCEEDED(handler.result)) handler.result = init->Initialize(folder_.get(), nullptr, nullptr);
    if (SUCCEEDED(handler.result)) handler.result = init->QueryInterface(IID_IContextMenu, contextMenu.put_void());
    if (SUCCEEDED(handler.result)) {
        const UINT position = static_cast<UINT>(GetMenuItemCount(menu_.get()));
        handler.result = contextMenu->QueryContextMenu(menu_.get(), position, nextId_, kLastId,
                                                       CMF_NORMAL | CMF_EXPLORE);
        // Success carries the number of identifiers the handler used.
        if (SUCCEEDED(handler.result)) handler.idCount = HRESULT_CODE(handler.result);
    }
    nextId_ += handler.idCount;
    handlers_.push_back(handler);
    menus_.push_back(contextMenu);
}

HRESULT BackgroundMenu::Build(const std::wstring& folder) {
    if (!menu_) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = SHParseDisplayName(folder.c_str(), nullptr, folder_.put(), 0, nullptr);
    if (FAILED(hr)) return hr;

    UniqueHKey handlers;
    const LONG status = RegOpenKeyExW(HKEY_CLASSES_ROOT, kHandlersKey, 0, KEY_READ, handlers.put());
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

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
            UniqueHKey sub;
            if (RegOpenKeyExW(handlers.get(), name, 0, KEY_READ, sub.put()) != ERROR_SUCCESS) continue;
            if (RegQueryValueExW(sub.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                continue;
            id = value;
            if (!ParseClsid(id, clsid)) continue;
        }
        AddHandler(clsid, id);
    }

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
                     SIZE_MAX};
        for (size_t h = 0; h < handlers_.size(); ++h) {
            const Handler& handler = handlers_[h];
            if (item.id >= handler.firstId && item.id < handler.firstId + handler.idCount) item.handler = h;
        }
        if (item.handler != SIZE_MAX && menus_[item.handler]) {
            wchar_t help[256] = {};
            const UINT_PTR offset = item.id - handlers_[item.handler].firstId;
            if (SUCCEEDED(menus_[item.handler]->GetCommandString(offset, GCS_HELPTEXTW, nullptr,
                                                                 reinterpret_cast<char*>(help), ARRAYSIZE(help))))
                item.helpText = help;
        }
        items_.push_back(item);
    }
    return S_OK;
}

HRESULT BackgroundMenu::Invoke(const std::wstring& text) {
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

}  // namespace brell
