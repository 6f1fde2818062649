#include "AppText.h"

#include <windows.h>

#include <vector>

namespace brell {

std::wstring ApplicationTitle(const std::wstring& modulePath) {
    const size_t slash = modulePath.find_last_of(L"\\/:");
    std::wstring name = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
    const size_t dot = name.find(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    if (name.empty()) return name;
    // CharNextW keeps a first character that spans two code units whole.
    std::vector<wchar_t> buffer(name.begin(), name.end());
    buffer.push_back(L'\0');
    CharLowerW(CharNextW(buffer.data()));
    return std::wstring(buffer.data());
}

std::wstring MessageWithPeriod(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.') return message + L".";
    return message;
}

}  // namespace brell
