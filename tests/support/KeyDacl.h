// Puts a different DACL on a scratch key for the length of a test and the
// old one back when it goes, so tear-down can always delete the key again.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace brelltest {

class KeyDacl {
public:
    // sddl: the new DACL, e.g. L"D:P(A;;KR;;;WD)" for read-only. The key is
    // created when absent.
    KeyDacl(HKEY root, const std::wstring& path, const wchar_t* sddl) : root_(root), path_(path) {
        // Rights on a handle are checked when it is opened, so this one can
        // still put the old DACL back after the new one locks everybody out.
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size) != ERROR_INSUFFICIENT_BUFFER) return;
        old_.resize(size);
        if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, old_.data(), &size) != ERROR_SUCCESS) return;
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return;
        applied_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    ~KeyDacl() {
        if (applied_) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, old_.data());
        if (key_) RegCloseKey(key_);
    }
    KeyDacl(const KeyDacl&) = delete;
    KeyDacl& operator=(const KeyDacl&) = delete;

    bool applied() const { return applied_; }

    // True when an open of the key asking for `access` is now refused, i.e.
    // the registry really checks the new DACL.
    bool Refuses(REGSAM access) const {
        HKEY probe = nullptr;
        const LONG status = RegOpenKeyExW(root_, path_.c_str(), 0, access, &probe);
        if (status == ERROR_SUCCESS) RegCloseKey(probe);
        return status == ERROR_ACCESS_DENIED;
    }
    // True when an open asking for `access` still succeeds.
    bool Allows(REGSAM access) const {
        HKEY probe = nullptr;
        if (RegOpenKeyExW(root_, path_.c_str(), 0, access, &probe) != ERROR_SUCCESS) return false;
        RegCloseKey(probe);
        return true;
    }

private:
    HKEY root_;
    std::wstring path_;
    HKEY key_ = nullptr;
    std::vector<BYTE> old_;
    bool applied_ = false;
};

}  // namespace brelltest
