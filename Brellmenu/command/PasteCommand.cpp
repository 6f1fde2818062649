#include "command/PasteCommand.h"

#include <shlwapi.h>

#include <cwchar>

#include "command/CommandLocation.h"
#include "launch/EngineLaunch.h"
#include "launch/PasteTexts.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// "<this DLL's path>,-<icon id>", the form Explorer reads an icon location
// in; the module's own file name, never a registry value.
HRESULT IconLocation(LPWSTR* icon) noexcept {
    // ",-<id>", written here rather than through printf, which would bring
    // a formatter of its own into the DLL.
    wchar_t suffix[16] = {L',', L'-'};
    int suffixLength = 2;
    wchar_t digits[8];
    int count = 0;
    for (int id = CPasteCommand::kIconId; id > 0 && count < 8; id /= 10) digits[count++] = static_cast<wchar_t>(L'0' + id % 10);
    while (count > 0) suffix[suffixLength++] = digits[--count];
    suffix[suffixLength] = L'\0';
    // Long paths need more than MAX_PATH; the buffer grows until the name fits.
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        const size_t total = capacity + static_cast<size_t>(suffixLength) + 1;
        brell::UniqueCoTaskMemString buffer(static_cast<wchar_t*>(CoTaskMemAlloc(total * sizeof(wchar_t))));
        if (!buffer) return E_OUTOFMEMORY;
        const DWORD length =
            GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), buffer.get(), capacity);
        if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
        if (length < capacity) {
            std::wmemcpy(buffer.get() + length, suffix, static_cast<size_t>(suffixLength) + 1);
            *icon = buffer.release();
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace

const InterfaceMapEntry* CPasteCommand::GetInterfaceMap() noexcept {
    static const InterfaceMapEntry map[] = {
        {&IID_IExplorerCommand, OffsetOfBase<IExplorerCommand, CPasteCommand>()},
        {&IID_IObjectWithSite, OffsetOfBase<IObjectWithSite, CPasteCommand>()},
        {nullptr, 0},
    };
    return map;
}

STDMETHODIMP CPasteCommand::GetTitle(IShellItemArray*, LPWSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    return SHStrDupW(kPasteMenuText, name);
}

STDMETHODIMP CPasteCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
    if (!icon) return E_POINTER;
    *icon = nullptr;
    return IconLocation(icon);
}

STDMETHODIMP CPasteCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) {
    if (!tip) return E_POINTER;
    *tip = nullptr;
    return SHStrDupW(kPasteHelpText, tip);
}

STDMETHODIMP CPasteCommand::GetCanonicalName(GUID* name) {
    if (!name) return E_POINTER;
    *name = CLSID_PasteCommand;
    return S_OK;
}

// Asked each time the menu opens: one clipboard query first, then only what
// the shell already holds in memory. Always answered at once, so never
// E_PENDING, whatever okToBeSlow says.
STDMETHODIMP CPasteCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) {
    if (!state) return E_POINTER;
    *state = ECS_HIDDEN;
    if (!IsClipboardFormatAvailable(CF_HDROP)) return S_OK;
    // An unknown place shows the entry; Invoke then says what went wrong.
    brell::ComPtr<IShellItem> folder;
    if (SUCCEEDED(CommandLocation(items, m_site.get(), folder.put())) &&
        ClassifyLocation(folder.get()) == LocationKind::Other)
        return S_OK;
    *state = ECS_ENABLED;
    return S_OK;
}

// Starts the engine and returns; the clipboard is the engine's to read.
STDMETHODIMP CPasteCommand::Invoke(IShellItemArray* items, IBindCtx*) {
    brell::ComPtr<IShellItem> folder;
    HRESULT hr = CommandLocation(items, m_site.get(), folder.put());
    if (FAILED(hr)) return hr;
    wchar_t path[kTargetFolderCapacity];
    hr = PasteFolderPath(folder.get(), path, kTargetFolderCapacity);
    if (FAILED(hr)) return hr;
    return LaunchEngine(path);
}

STDMETHODIMP CPasteCommand::GetFlags(EXPCMDFLAGS* flags) {
    if (!flags) return E_POINTER;
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP CPasteCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
    if (commands) *commands = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CPasteCommand::SetSite(IUnknown* site) {
    m_site = brell::ComPtr<IUnknown>::copy(site);
    return S_OK;
}

STDMETHODIMP CPasteCommand::GetSite(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, ppv);
}

HRESULT WINAPI CreatePasteCommand(void* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CComObject<CPasteCommand>::CreateInstance(iid, ppv);
}
