// A new file that is written beside its final name, under a temporary hidden
// name of the engine's own, and takes its final name in one rename once it is
// complete. Until then no file of the final name exists, whether the engine
// fails, is cancelled, is killed or the machine loses power. A killed run's
// temporary files are recognised by their name and removed by the next run
// into the same folder (RemoveLeftovers).
//
// Use: Create -> write through handle() -> Finish (times, attributes) ->
// Commit (final name, never replacing) or Replace (when the user said so). Anything short of a successful Commit
// deletes the temporary file, at the latest in the destructor.
#pragma once

#include "Owners.h"

#include <windows.h>

#include <string>

namespace brellow {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { Discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary file in folder, open for writing and shared with
    // no one. flags are CreateFileW's flags (FILE_FLAG_*); the file is created
    // hidden. markForDeletion: the system also deletes it if the process ends
    // before Finish (two more calls per file; worth it for long copies).
    // Returns a Win32 error code, 0 on success.
    DWORD Create(const std::wstring& folder, DWORD flags, bool markForDeletion);

    HANDLE handle() const { return file_.get(); }
    // The temporary file's full path (empty before Create).
    const std::wstring& path() const { return path_; }

    // The content is complete: sets the finished file's times and attributes
    // (read-only included), still under the temporary name.
    DWORD Finish(const LARGE_INTEGER& created, const LARGE_INTEGER& written, DWORD attributes);

    // Renames the file to finalPath, a path in the same folder. Never
    // replaces: ERROR_ALREADY_EXISTS (or ERROR_FILE_EXISTS) when a file or
    // folder of that name appeared meanwhile; the temporary file is then
    // still there, for the caller to Discard or commit elsewhere. On success
    // the file is closed and belongs to the folder.
    DWORD Commit(const std::wstring& finalPath);

    // Like Commit, but a file of that name is replaced in the same single
    // rename: until it succeeds the old file is untouched, after it the
    // finished copy is there. A folder of that name is not replaced.
    DWORD Replace(const std::wstring& finalPath);

    // Deletes the temporary file now, if there is one.
    void Discard();

private:
    // Takes back the mark for deletion, if any (see Create).
    DWORD Unmark();
    DWORD Rename(const std::wstring& finalPath, bool replace);

    brell::UniqueHandle file_;
    std::wstring path_;
    bool marked_ = false;
    bool readOnly_ = false;
};

// True for the names StagedFile gives its temporary files:
// ".brellow-" + 16 hexadecimal digits + ".part".
bool IsStagedName(const std::wstring& name);

// Deletes the temporary files that ended runs left in folder (not below it).
// A file that some process holds open, such as another engine's copy in
// progress, is left alone. Returns how many were removed.
size_t RemoveLeftovers(const std::wstring& folder);

}  // namespace brellow
