#include "PlacedNames.h"

#include "Paths.h"

#include <windows.h>

namespace brellow {

std::wstring PlacedNames::Key(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

void PlacedNames::Claim(const std::wstring& target, const std::wstring& source, bool isFolder, bool whole) {
    PlacedName placed{source, isFolder};
    if (whole) wholeFolders_[Key(target)] = placed;
    names_[Key(target)] = std::move(placed);
}

bool PlacedNames::Find(const std::wstring& target, PlacedName& placed) const {
    std::wstring key = Key(target);
    const auto named = names_.find(key);
    if (named != names_.end()) {
        placed = named->second;
        return true;
    }
    // Only folders that arrived whole answer for the names below them.
    while (!wholeFolders_.empty()) {
        std::wstring parent = ParentFolder(key);
        if (parent.empty() || parent.size() >= key.size()) return false;
        key = std::move(parent);
        const auto folder = wholeFolders_.find(key);
        if (folder == wholeFolders_.end()) continue;
        // What the folder brought is there; any other name below it is free.
        const DWORD attributes = GetFileAttributesW(ForApi(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
        placed.source = folder->second.source + target.substr(key.size());
        placed.isFolder = IsFolder(attributes);
        return true;
    }
    return false;
}

}  // namespace brellow
