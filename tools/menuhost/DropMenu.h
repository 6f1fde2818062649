// The menu of a right-drag, built the way Explorer builds it when files are
// dropped with the right mouse button on a folder: the shell's own items
// first ("Copy here", "Move here", "Create shortcuts here", then a separator
// and "Cancel"), then every handler registered under the folder's
// shellex\DragDropHandlers (Directory or Drive, and Folder), each created,
// initialised with the folder and the shell's data object of the files, and
// asked to add its items after the shell's group.
#pragma once

#include "Owners.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace brell {

class DropMenu {
public:
    struct Item {
        UINT id;
        std::wstring text;  // empty for a separator
        std::wstring helpText;
        std::wstring verb;
        size_t handler;  // index into handlers(); SIZE_MAX for the shell's own items
    };
    struct Handler {
        std::wstring clsid;
        std::wstring key;  // the class key it was registered under
        HRESULT result;    // of the first failing step, or of QueryContextMenu
        UINT firstId;
        UINT idCount;
    };

    DropMenu();
    DropMenu(const DropMenu&) = delete;
    DropMenu& operator=(const DropMenu&) = delete;

    // Builds the menu for files (full paths in one folder, as a drag takes
    // them) dropped on folder. The result is that of making the data object;
    // handlers fail one by one.
    HRESULT Build(const std::wstring& folder, const std::vector<std::wstring>& files);

    const std::vector<Item>& items() const { return items_; }
    const std::vector<Handler>& handlers() const { return handlers_; }

    // Invokes a handler's item with exactly this text by its offset, or by
    // its verb (passed in both encodings, as Explorer passes a verb).
    HRESULT Invoke(const std::wstring& text);
    HRESULT InvokeVerb(const std::wstring& verb);

private:
    HRESULT MakeDataObject(const std::vector<std::wstring>& files);
    void AddHandlers(const wchar_t* classKey);
    void AddHandler(const CLSID& clsid, const std::wstring& id, const wchar_t* classKey);
    void ListItems();

    UniqueIdList folder_;
    ComPtr<IDataObject> data_;
    UniqueMenu menu_;  // destroyed after the handlers below are released
    UINT insertAt_ = 0;
    UINT nextId_ = 0;
    std::vector<Handler> handlers_;
    std::vector<ComPtr<IContextMenu>> menus_;  // parallel to handlers_
    std::vector<Item> items_;
};

}  // namespace brell
