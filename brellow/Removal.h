// Removing what a move has carried away: only the object at the listed path,
// never what a link there leads to, and never reported gone while its name
// is still there.
#pragma once

#include "Owners.h"

#include <windows.h>

#include <string>

namespace brellow {

// A move's source file, held from before its copy until its removal.
class HeldSource {
public:
    // Opens path as itself (a link as the link, where the system can) with
    // the right to delete it, sharing reading and deleting only: a file that
    // another program writes or holds without letting it be deleted is
    // refused here, before anything is copied. One that may not be deleted
    // at all is still copied, and Remove then says why it stays. 0 or the
    // error.
    DWORD Open(const std::wstring& path);

    // Deletes the file, once its copy is complete and durable: only when the
    // open file is the item at the path itself, not a link's target, and
    // only reported done once the name is gone. Close every other handle to
    // it first. False, with the reason, when it stays.
    bool Remove(std::wstring& reason);

private:
    brell::UniqueHandle file_;
    std::wstring path_;
    DWORD denied_ = 0;  // why it could not be opened for its removal
};

enum class FolderRemoval { Removed, NotEmpty, Failed };

// Removes the folder at path when it is empty, the folder itself and not a
// link's target (a link is left as it is: Failed), and checks that it is
// gone. reason says why it failed.
FolderRemoval RemoveEmptyFolder(const std::wstring& path, std::wstring& reason);

// Writes the entries of folder to the disk, so that a file just renamed into
// it keeps its name through a power loss. Best effort: file systems that
// cannot flush a folder keep their own promises.
void FlushFolder(const std::wstring& folder);

}  // namespace brellow
