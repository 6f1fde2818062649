// Walking the user's trees: one folder's entries at a time, and a depth-first
// walk whose pending items wait on an explicit stack, so that however deep a
// tree is, it costs no call stack.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace brellow {

// Lists folder (not below it), "." and ".." left out. Each entry whose name
// can be used in another folder goes to found with its full path; each that
// cannot goes to failed, as does a folder that cannot be read (to its end),
// with the path and the reason. A folder that is empty or gone lists nothing.
void ListFolder(const std::wstring& folder,
                const std::function<void(const std::wstring& path, const WIN32_FIND_DATAW& entry)>& found,
                const std::function<void(const std::wstring& path, const std::wstring& reason)>& failed);

// Visits first, then depth first whatever each visit adds to its children,
// in the order added. visit(item, children) returns false to stop the walk.
template <typename Item, typename Visit>
void WalkDepthFirst(Item first, Visit visit) {
    std::vector<Item> pending;
    pending.push_back(std::move(first));
    std::vector<Item> children;
    while (!pending.empty()) {
        Item item = std::move(pending.back());
        pending.pop_back();
        children.clear();
        if (!visit(item, children)) return;
        // Reversed, so that the first child is visited first.
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(std::move(*it));
    }
}

}  // namespace brellow
