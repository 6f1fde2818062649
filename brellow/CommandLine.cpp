#include "CommandLine.h"

namespace brellow {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

const wchar_t* SkipProgramName(const wchar_t* p) {
    // The loader's own rule: a quoted name ends at the next quote, an
    // unquoted one at the first blank; no escapes either way.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
        return p;
    }
    while (*p && !IsBlank(*p)) ++p;
    return p;
}

bool ParseTargetFolder(const wchar_t* commandLine, std::wstring& folder) {
    folder.clear();
    if (!commandLine) return false;
    return ParseFolderArgument(SkipProgramName(commandLine), folder);
}

bool ParseFolderArgument(const wchar_t* p, std::wstring& folder) {
    folder.clear();
    if (!p) return false;
    while (IsBlank(*p)) ++p;
    if (!*p) return false;

    if (*p == L'"') {
        const wchar_t* start = ++p;
        while (*p && *p != L'"') ++p;
        if (*p != L'"') return false;
        const wchar_t* end = p++;
        while (IsBlank(*p)) ++p;
        if (*p) return false;
        if (end == start) return false;
        folder.assign(start, end);
        return true;
    }

    const wchar_t* start = p;
    const wchar_t* end = start;
    for (; *p; ++p) {
        if (*p == L'"') return false;
        if (!IsBlank(*p)) end = p + 1;
    }
    folder.assign(start, end);
    return true;
}

}  // namespace brellow
