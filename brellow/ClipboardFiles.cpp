#include "ClipboardFiles.h"

#include <windows.h>
#include <shellapi.h>

namespace brellow {
namespace {

// Another program may hold the clipboard for a moment (the one that just
// filled it, for instance); wait up to about two seconds for it.
bool OpenClipboardPatiently() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

ClipboardResult ReadClipboardFiles(std::vector<std::wstring>& paths) {
    paths.clear();
    if (!IsClipboardFormatAvailable(CF_HDROP)) return ClipboardResult::NoFileList;
    if (!OpenClipboardPatiently()) return ClipboardResult::Busy;

    if (HANDLE data = GetClipboardData(CF_HDROP)) {
        // The handle stays the clipboard's; DragQueryFileW only reads it.
        HDROP drop = static_cast<HDROP>(data);
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            if (length == 0) continue;
            std::wstring path(length + 1, L'\0');
            const UINT copied = DragQueryFileW(drop, i, &path[0], length + 1);
            path.resize(copied);
            if (!path.empty()) paths.push_back(std::move(path));
        }
    }
    CloseClipboard();
    return paths.empty() ? ClipboardResult::NoFileList : ClipboardResult::Ok;
}

}  // namespace brellow
