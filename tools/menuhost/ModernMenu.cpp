#include "ModernMenu.h"

#include "FolderSite.h"

#include <shlobj.h>

namespace brell {
namespace {

// Takes a string the command allocated and frees it.
std::wstring TakeString(LPWSTR text) {
    UniqueCoTaskMemString owned(text);
    return owned ? std::wstring(owned.get()) : std::wstring();
}

}  // namespace

HRESULT ModernMenu::Create(const CLSID& clsid, ComPtr<IExplorerCommand>& command) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand, command.put_void());
    if (FAILED(hr)) return hr;
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(command->QueryInterface(IID_IObjectWithSite, withSite.put_void()))) {
        ComPtr<IServiceProvider> site = ComPtr<IServiceProvider>::attach(
            CreateFolderSite(folder_.get(), kSiteFolderView | kSiteViewHasFolder));
        if (!site) return E_OUTOFMEMORY;
        hr = withSite->SetSite(site.get());
    }
    return hr;
}

HRESULT ModernMenu::Build(const std::wstring& folder, const std::vector<CLSID>& classes) {
    HRESULT hr = SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem, folder_.put_void());
    if (FAILED(hr)) return hr;
    for (const CLSID& clsid : classes) {
        Command entry = {clsid, S_OK, ECS_HIDDEN, ECF_DEFAULT, {}, {}, {}};
        ComPtr<IExplorerCommand> command;
        // The questions of an opening menu, each to an object of its own.
        // State and title are needed; a command without an icon, flags or a
        // tool tip still shows.
        if (SUCCEEDED(entry.result = Create(clsid, command)))
            entry.result = command->GetState(nullptr, FALSE, &entry.state);
        LPWSTR text = nullptr;
        if (SUCCEEDED(entry.result) && SUCCEEDED(entry.result = Create(clsid, command))) {
            entry.result = command->GetTitle(nullptr, &text);
            entry.title = TakeString(text);
        }
        if (SUCCEEDED(entry.result) && SUCCEEDED(Create(clsid, command))) {
            text = nullptr;
            command->GetIcon(nullptr, &text);
            entry.icon = TakeString(text);
        }
        if (SUCCEEDED(entry.result) && SUCCEEDED(Create(clsid, command)) && FAILED(command->GetFlags(&entry.flags)))
            entry.flags = ECF_DEFAULT;
        if (SUCCEEDED(entry.result) && SUCCEEDED(Create(clsid, command))) {
            text = nullptr;
            command->GetToolTip(nullptr, &text);
            entry.toolTip = TakeString(text);
        }
        commands_.push_back(entry);
    }
    return S_OK;
}

HRESULT ModernMenu::Invoke(const std::wstring& title) {
    for (const Command& entry : commands_) {
        if (FAILED(entry.result) || entry.state != ECS_ENABLED || entry.title != title) continue;
        ComPtr<IExplorerCommand> command;
        HRESULT hr = Create(entry.clsid, command);
        if (FAILED(hr)) return hr;
        return command->Invoke(nullptr, nullptr);
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

}  // namespace brell
