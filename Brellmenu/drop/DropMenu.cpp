#include "drop/DropMenu.h"

#include <cstring>
#include <cwchar>

#include "DropListWalk.h"
#include "command/CommandLocation.h"
#include "launch/DropTexts.h"
#include "launch/EngineLaunch.h"
#include "launch/ListLaunch.h"

namespace {

// Gives the medium back to its data object however Initialize ends.
class Medium {
public:
    Medium() noexcept = default;
    ~Medium() {
        if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    }
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;
    STGMEDIUM* put() noexcept { return &medium_; }
    const STGMEDIUM& get() const noexcept { return medium_; }

private:
    STGMEDIUM medium_ = {};
};

// Whether the block parses as the engine will parse it (the same walk) and
// names at least one item: the entries show only for a list the engine takes.
bool NamesFiles(const void* block, size_t bytes) noexcept {
    size_t names = 0;
    return brellow::WalkDropList(block, bytes, [&](const unsigned char*, size_t, bool) noexcept {
               ++names;
               return true;
           }) &&
           names > 0;
}

struct Command {
    const wchar_t* text;
    const wchar_t* help;
    const wchar_t* verb;
    brell::DropMode mode;
};
constexpr Command kCommands[CBrellowDropMenu::kCommandCount] = {
    {kDropCopyText, kDropCopyHelpText, kDropCopyVerb, brell::DropMode::Copy},
    {kDropMoveText, kDropMoveHelpText, kDropMoveVerb, brell::DropMode::Move},
};

// A verb the shell passes in ANSI: ours are plain ASCII, compared in any case.
bool SameVerb(const char* given, const wchar_t* verb) noexcept {
    for (;; ++given, ++verb) {
        const wchar_t a = static_cast<wchar_t>(static_cast<unsigned char>(*given));
        const wchar_t lowerA = (a >= L'A' && a <= L'Z') ? static_cast<wchar_t>(a + 32) : a;
        if (lowerA != *verb) return false;
        if (*verb == L'\0') return true;
    }
}

bool SameVerb(const wchar_t* given, const wchar_t* verb) noexcept {
    return CompareStringOrdinal(given, -1, verb, -1, TRUE) == CSTR_EQUAL;
}

// The command the invocation names: by offset, or by verb (the wide one
// where the caller says it passed one). False for anything that is not ours.
bool ChosenCommand(const CMINVOKECOMMANDINFO* info, UINT& offset) noexcept {
    const wchar_t* wideVerb = nullptr;
    if (info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX) && (info->fMask & CMIC_MASK_UNICODE))
        wideVerb = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info)->lpVerbW;
    for (UINT i = 0; i < CBrellowDropMenu::kCommandCount; ++i) {
        if (wideVerb && !IS_INTRESOURCE(wideVerb)) {
            if (SameVerb(wideVerb, kCommands[i].verb)) {
                offset = i;
                return true;
            }
        } else if (info->lpVerb && !IS_INTRESOURCE(info->lpVerb)) {
            if (SameVerb(info->lpVerb, kCommands[i].verb)) {
                offset = i;
                return true;
            }
        } else if (LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)) == i) {
            {
                offset = i;
                return true;
            }
        }
    }
    return false;
}

// Copies text into the caller's buffer of cchMax characters, wide or ANSI
// (our texts are ASCII); a buffer too small gets an empty string and a
// failure rather than a cut text.
HRESULT CopyText(const wchar_t* text, bool wide, CHAR* name, UINT cchMax) noexcept {
    const size_t needed = std::wcslen(text) + 1;
    if (cchMax < needed) {
        if (cchMax > 0) {
            if (wide)
                reinterpret_cast<wchar_t*>(name)[0] = L'\0';
            else
                name[0] = '\0';
        }
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (wide) {
        std::wmemcpy(reinterpret_cast<wchar_t*>(name), text, needed);
    } else {
        for (size_t i = 0; i < needed; ++i) name[i] = static_cast<CHAR>(text[i]);
    }
    return S_OK;
}

}  // namespace

const InterfaceMapEntry* CBrellowDropMenu::GetInterfaceMap() noexcept {
    static const InterfaceMapEntry map[] = {
        {&IID_IShellExtInit, OffsetOfBase<IShellExtInit, CBrellowDropMenu>()},
        {&IID_IContextMenu, OffsetOfBase<IContextMenu, CBrellowDropMenu>()},
        {nullptr, 0},
    };
    return map;
}

void CBrellowDropMenu::Forget() noexcept {
    m_folder.reset();
    m_list.reset();
    m_listBytes = 0;
}

// Nothing to offer is no failure: the entries then stay out of the menu.
STDMETHODIMP CBrellowDropMenu::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* dataObject, HKEY) {
    Forget();
    if (!pidlFolder || !dataObject) return S_OK;
    // The same rule as the paste entry: a folder of the file system, or a
    // library (its default save folder takes the files).
    brell::ComPtr<IShellItem> folder;
    if (FAILED(SHCreateItemFromIDList(pidlFolder, IID_IShellItem, folder.put_void())) || !folder) return S_OK;
    if (ClassifyLocation(folder.get()) == LocationKind::Other) return S_OK;
    KeepFileList(dataObject);
    if (m_list) m_folder = folder;
    return S_OK;
}

void CBrellowDropMenu::KeepFileList(IDataObject* dataObject) noexcept {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    Medium medium;
    if (FAILED(dataObject->GetData(&format, medium.put()))) return;
    if (medium.get().tymed != TYMED_HGLOBAL || !medium.get().hGlobal) return;
    HGLOBAL global = medium.get().hGlobal;
    const SIZE_T size = GlobalSize(global);
    if (size == 0) return;
    const size_t bytes = size < brell::kMaxDropListBytes ? size : brell::kMaxDropListBytes;

    brell::UniqueHeapMem<unsigned char> copy(static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, bytes)));
    if (!copy) return;
    const void* block = GlobalLock(global);
    if (!block) return;
    std::memcpy(copy.get(), block, bytes);
    GlobalUnlock(global);
    if (!NamesFiles(copy.get(), bytes)) return;
    m_list = std::move(copy);
    m_listBytes = bytes;
}

// Called as the drop menu opens: flags first, then only what Initialize kept.
STDMETHODIMP CBrellowDropMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                                UINT flags) {
    constexpr HRESULT kNothingAdded = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    if (flags & CMF_DEFAULTONLY) return kNothingAdded;
    if (!m_folder || !m_list) return kNothingAdded;
    if (idCmdLast < idCmdFirst || idCmdLast - idCmdFirst < kCommandCount - 1) return kNothingAdded;
    for (UINT i = 0; i < kCommandCount; ++i) {
        if (!InsertMenuW(menu, indexMenu + i, MF_BYPOSITION | MF_STRING, idCmdFirst + i, kCommands[i].text)) {
            const DWORD error = GetLastError();
            for (UINT added = 0; added < i; ++added) DeleteMenu(menu, idCmdFirst + added, MF_BYCOMMAND);
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kCommandCount);
}

STDMETHODIMP CBrellowDropMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
    UINT offset = 0;
    // Every other offset and verb belongs to another handler.
    if (!ChosenCommand(info, offset)) return E_FAIL;
    if (!m_folder || !m_list) return E_UNEXPECTED;

    wchar_t path[kTargetFolderCapacity];
    const HRESULT hr = PasteFolderPath(m_folder.get(), path, kTargetFolderCapacity);
    if (FAILED(hr)) return hr;
    return LaunchEngineWithList(path, kCommands[offset].mode, m_list.get(), m_listBytes);
}

STDMETHODIMP CBrellowDropMenu::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT cchMax) {
    if (idCmd >= kCommandCount) return E_INVALIDARG;
    const Command& command = kCommands[idCmd];
    const wchar_t* text = nullptr;
    switch (type) {
    case GCS_VALIDATEA:
    case GCS_VALIDATEW:
        return S_OK;
    case GCS_VERBA:
    case GCS_VERBW:
        text = command.verb;
        break;
    case GCS_HELPTEXTA:
    case GCS_HELPTEXTW:
        text = command.help;
        break;
    default:
        return E_INVALIDARG;
    }
    if (!name) return E_INVALIDARG;
    return CopyText(text, (type & GCS_UNICODE) != 0, name, cchMax);
}

HRESULT WINAPI CreateDropMenuObject(void* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CComObject<CBrellowDropMenu>::CreateInstance(iid, ppv);
}
