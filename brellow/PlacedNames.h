// The names one paste gives in its target, with what it puts under each:
// the plan's view of the target as the paste will leave it. An item of the
// paste that meets one of these names meets what the same paste placed
// there, not an older file, and must never replace it or be merged over it.
// Kept whatever the case of the names: a folder on Windows holds one of
// "A.txt" and "a.txt", even where their sources lie side by side.
#pragma once

#include <string>
#include <unordered_map>

namespace brellow {

struct PlacedName {
    std::wstring source;  // what this paste puts there
    bool isFolder = false;
};

class PlacedNames {
public:
    // Notes that this paste puts source at target. whole: a folder that
    // arrives in one step, so that what lies below it is this paste's too.
    void Claim(const std::wstring& target, const std::wstring& source, bool isFolder, bool whole = false);

    // True, with what this paste put there, when target is one of this
    // paste's names or is there below a folder that arrived whole (its
    // source is then the matching path below that folder's source, and
    // whether it is a folder the file system's answer).
    bool Find(const std::wstring& target, PlacedName& placed) const;

private:
    static std::wstring Key(const std::wstring& path);

    std::unordered_map<std::wstring, PlacedName> names_;
    std::unordered_map<std::wstring, PlacedName> wholeFolders_;
};

}  // namespace brellow
