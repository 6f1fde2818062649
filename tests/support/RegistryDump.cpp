#include "support/RegistryDump.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace brelltest {

namespace {

struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

bool LessNoCase(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) < 0;
}

std::wstring FormatValue(const Value& v) {
    std::wstring line = v.name.empty() ? L"@" : v.name;
    line += L"=";
    wchar_t buf[32];
    if (v.type == REG_SZ && v.data.size() % 2 == 0 && v.data.size() >= 2) {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(v.data.data());
        const size_t units = v.data.size() / 2;
        if (text[units - 1] == L'\0' && std::wstring(text).size() == units - 1) {
            return line + L"sz:\"" + text + L"\"";
        }
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        memcpy(&d, v.data.data(), 4);
        swprintf(buf, 32, L"dword:%08x", static_cast<unsigned>(d));
        return line + buf;
    }
    swprintf(buf, 32, L"hex(%u):", static_cast<unsigned>(v.type));
    line += buf;
    for (size_t i = 0; i < v.data.size(); ++i) {
        swprintf(buf, 32, i ? L",%02x" : L"%02x", v.data[i]);
        line += buf;
    }
    return line;
}

// The names of the key's direct subkeys, sorted case-insensitively.
std::vector<std::wstring> SortedSubkeys(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

void DumpKey(HKEY key, const std::wstring& relative, REGSAM view, std::wstring& out) {
    out += L"[" + relative + L"]\n";

    std::vector<Value> values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameSize = 16384;
        DWORD type = 0;
        DWORD dataSize = 0;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
        Value v{name, type, std::vector<BYTE>(dataSize)};
        nameSize = 16384;
        DWORD size = dataSize;
        RegEnumValueW(key, i, name, &nameSize, nullptr, &type, v.data.empty() ? nullptr : v.data.data(), &size);
        v.data.resize(size);
        values.push_back(std::move(v));
    }
    std::sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return LessNoCase(a.name, b.name); });
    for (const Value& v : values) out += FormatValue(v) + L"\n";

    for (const std::wstring& child : SortedSubkeys(key)) {
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, &sub) != ERROR_SUCCESS) {
            out += L"[" + child + L"] <unreadable>\n";
            continue;
        }
        DumpKey(sub, relative.empty() ? child : relative + L"\\" + child, view, out);
        RegCloseKey(sub);
    }
}

}  // namespace

std::wstring DumpTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return L"<absent>";
    std::wstring out;
    DumpKey(key, L"", view, out);
    RegCloseKey(key);
    return out;
}

std::vector<std::wstring> Subkeys(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return {};
    std::vector<std::wstring> names = SortedSubkeys(key);
    RegCloseKey(key);
    return names;
}

std::wstring SubkeyNames(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    const std::vector<std::wstring> names = SortedSubkeys(key);
    RegCloseKey(key);
    std::wstring out;
    for (const std::wstring& n : names) out += n + L"\n";
    return out;
}

std::vector<std::wstring> KeyPaths(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> paths;
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        const std::wstring full = relative.empty() ? path : path + L"\\" + relative;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, full.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            // the scratch key itself absent: no keys; a key below it unreadable: listed alone
            if (!relative.empty()) paths.push_back(relative);
            continue;
        }
        paths.push_back(relative);
        for (const std::wstring& name : SortedSubkeys(key))
            pending.push_back(relative.empty() ? name : relative + L"\\" + name);
        RegCloseKey(key);
    }
    std::sort(paths.begin(), paths.end(), LessNoCase);
    return paths;
}

}  // namespace brelltest
