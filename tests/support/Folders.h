// Where the tests find the build's binaries and put their own files: the
// program's folder, the temporary folder, and scratch folders below it.
#pragma once

#include <windows.h>

#include <string>

namespace brelltest {

// The running test program, its folder (which holds every binary of the
// build), and a file in that folder.
std::wstring ProgramFile();
std::wstring BinDir();
std::wstring BinPath(const std::wstring& file);

// The temporary folder, without its final backslash.
std::wstring TempFolder();

// A path of the machine that runs Wine, as a Windows program reaches it
// (Z: and backslashes).
std::wstring HostPath(const std::wstring& unixPath);

// A fresh folder of this process (<name>-<process>-<count>) under the
// temporary folder or another, removed with all it holds when it goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name = L"brelltest", const std::wstring& under = TempFolder());
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

}  // namespace brelltest
