// A folder's background context menu built the way Explorer builds it: every
// handler registered under Directory\Background\shellex\ContextMenuHandlers is
// created, initialised with the folder and asked to add its items.
#pragma once

#include "Owners.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace brell {

class BackgroundMenu {
public:
    struct Item {
        UINT id;
        std::wstring text;
        std::wstring helpText;
        size_t handler;  // index into handlers(); SIZE_MAX for a separator
    };
    struct Handler {
        std::wstring clsid;
        HRESULT result;  // of the first failing step, or of QueryContextMenu
        UINT firstId;
        UINT idCount;
    };

    BackgroundMenu();
    BackgroundMenu(const BackgroundMenu&) = delete;
    BackgroundMenu& operator=(const BackgroundMenu&) = delete;

    // Builds the menu for folder (a file-system path). The result is that of
    // turning the folder into an item ID list; handlers fail one by one.
    HRESULT Build(const std::wstring& folder);

    const std::vector<Item>& items() const { return items_; }
    const std::vector<Handler>& handlers() const { return handlers_; }

    // Invokes the item with exactly this text by its offset in its handler's
    // range, as Explorer does for a chosen item.
    HRESULT Invoke(const std::wstring& text);

private:
    void AddHandler(const CLSID& clsid, const std::wstring& name);

    UniqueIdList folder_;
    UniqueMenu menu_;  // destroyed after the handlers below are released
    UINT nextId_ = 1;
    std::vector<Handler> handlers_;
    std::vector<ComPtr<IContextMenu>> menus_;  // parallel to handlers_
    std::vector<Item> items_;
};

}  // namespace brell
