#include "ClashPolicy.h"

#include "Paths.h"

namespace brellow {
namespace {

bool Is(const std::wstring& text, const wchar_t* word) {
    return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), word, -1, TRUE) == CSTR_EQUAL;
}

void Describe(const std::wstring& path, std::uint64_t& size, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ForApi(path).c_str(), GetFileExInfoStandard, &data)) return;
    size = FileSize(data.nFileSizeHigh, data.nFileSizeLow);
    written = data.ftLastWriteTime;
}

}  // namespace

ClashInfo DescribeClash(const std::wstring& source, const std::wstring& existing) {
    ClashInfo clash;
    clash.source = source;
    clash.existing = existing;
    Describe(source, clash.sourceSize, clash.sourceWritten);
    Describe(existing, clash.existingSize, clash.existingWritten);
    return clash;
}

bool ClashPolicy::ModeFromEnvironment(Mode& mode, std::wstring& text) {
    mode = Mode::Ask;
    text.clear();
    wchar_t buffer[64];
    const DWORD length = GetEnvironmentVariableW(L"BRELLOW_ON_CLASH", buffer, ARRAYSIZE(buffer));
    if (length == 0) return true;
    if (length >= ARRAYSIZE(buffer)) {
        text = L"(too long)";
        return false;
    }
    text.assign(buffer, length);
    if (Is(text, L"ask")) return true;
    if (Is(text, L"skip")) mode = Mode::Skip;
    else if (Is(text, L"replace")) mode = Mode::Replace;
    else if (Is(text, L"keepboth")) mode = Mode::KeepBoth;
    else return false;
    return true;
}

ClashAnswer ClashPolicy::Decide(const ClashInfo& clash) {
    if (progress_.CancelRequested()) return ClashAnswer::Skip;
    switch (mode_) {
    case Mode::Skip:
        return ClashAnswer::Skip;
    case Mode::Replace:
        return clash.placedFrom.empty() ? ClashAnswer::Replace : ClashAnswer::KeepBoth;
    case Mode::KeepBoth:
        return ClashAnswer::KeepBoth;
    case Mode::Ask:
        break;
    }
    ClashAsker::Reply reply;
    if (!asker_ || !asker_->Ask(clash, reply)) return ClashAnswer::Skip;
    if (reply.cancel) {
        progress_.RequestCancel();
        return ClashAnswer::Skip;
    }
    if (reply.answer == ClashAnswer::Replace && !clash.placedFrom.empty()) reply.answer = ClashAnswer::KeepBoth;
    if (reply.forAll) {
        mode_ = reply.answer == ClashAnswer::Replace ? Mode::Replace
                : reply.answer == ClashAnswer::KeepBoth ? Mode::KeepBoth
                                                        : Mode::Skip;
    }
    return reply.answer;
}

}  // namespace brellow
