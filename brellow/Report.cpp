#include "Report.h"

#include "FileHandles.h"

namespace brellow {
namespace {

constexpr size_t kLinesInMessageBox = 15;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

}  // namespace

Report::Report() {
    std::wstring path(GetEnvironmentVariableW(L"BRELLOW_REPORT", nullptr, 0), L'\0');
    if (path.empty()) return;
    path.resize(GetEnvironmentVariableW(L"BRELLOW_REPORT", &path[0], static_cast<DWORD>(path.size())));
    unattended_ = !path.empty();
    if (unattended_)
        file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

const wchar_t* Report::KindName(Kind kind) {
    static constexpr const wchar_t* kNames[] = {L"copied", L"moved",     L"skipped", L"failed",
                                                L"fatal",  L"cancelled", L"stopped"};
    static_assert(ARRAYSIZE(kNames) == static_cast<size_t>(Kind::Stopped) + 1, "a name for every kind");
    return kNames[static_cast<size_t>(kind)];
}

std::wstring KeptBesideNote(const std::wstring& sharedName, const std::wstring& otherSource) {
    return L"kept beside \"" + sharedName + L"\", which this paste gives \"" + otherSource + L"\"";
}

void Report::Copied(const std::wstring& target, const std::wstring& note) {
    ++copied_;
    lines_.push_back({Kind::Copied, target, note});
}

void Report::Moved(const std::wstring& target, const std::wstring& note) {
    ++moved_;
    lines_.push_back({Kind::Moved, target, note});
}

void Report::Skipped(const std::wstring& source, const std::wstring& reason) {
    ++skipped_;
    lines_.push_back({Kind::Skipped, source, moving_ ? reason + L"; it stays where it was" : reason});
}

void Report::Failed(const std::wstring& source, const std::wstring& reason) {
    ++failed_;
    lines_.push_back({Kind::Failed, source, moving_ ? reason + L"; it stays where it was" : reason});
}

bool Report::EverythingMoved() const {
    return moved_ && !copied_ && !skipped_ && !failed_ && !fatal_ && !cancelled_ && !stopped_;
}

void Report::Fatal(const std::wstring& message) {
    fatal_ = true;
    lines_.push_back({Kind::Fatal, std::wstring(), message});
}

void Report::Cancelled() {
    cancelled_ = true;
    lines_.push_back({Kind::Cancelled, std::wstring(), std::wstring()});
}

void Report::Stopped(const std::wstring& message) {
    stopped_ = true;
    lines_.push_back({Kind::Stopped, std::wstring(), message});
}

int Report::ExitCode() const {
    return fatal_ ? kNothingDone
           : stopped_ ? kStopped
           : cancelled_ ? kCancelled
           : (skipped_ || failed_) ? kSomeNotCopied
                                   : kAllCopied;
}

int Report::Finish(HWND owner) {
    const int outcome = ExitCode();
    if (unattended_)
        WriteReport(outcome);
    else if (outcome != kAllCopied)
        ShowMessage(owner);
    return outcome;
}

void Report::WriteReport(int outcome) {
    if (!file_) return;
    std::wstring text;
    for (const Line& line : lines_) {
        text += KindName(line.kind);
        if (!line.path.empty()) text += L"\t" + line.path;
        if (!line.reason.empty()) text += L"\t" + line.reason;
        text += L"\n";
    }
    // The moved count comes last, so that readers of the first four
    // fields keep working.
    text += L"result\t" + std::to_wstring(outcome) + L"\t" + std::to_wstring(copied_) + L"\t" +
            std::to_wstring(skipped_) + L"\t" + std::to_wstring(failed_) + L"\t" + std::to_wstring(moved_) + L"\n";
    const std::string utf8 = ToUtf8(text);
    if (!WriteAll(file_.get(), utf8.data(), static_cast<DWORD>(utf8.size()))) {
        // Half a report would pass for a whole one with fewer lines: none at
        // all tells the reader that this run's report is missing.
        LARGE_INTEGER start = {};
        SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN);
        SetEndOfFile(file_.get());
    }
    file_.reset();
}

void Report::ShowMessage(HWND owner) const {
    std::wstring message;
    UINT icon = MB_ICONWARNING;
    if (fatal_) {
        icon = MB_ICONERROR;
        for (const Line& line : lines_)
            if (line.reason.size() && line.kind == Kind::Fatal) message += line.reason + L"\n";
    } else {
        if (stopped_)
            for (const Line& line : lines_)
                if (line.kind == Kind::Stopped) message += line.reason + L"\n";
        if (cancelled_ && !stopped_)
            message += moving_ ? L"The move was cancelled. What was not moved yet stays where it was.\n"
                               : L"The copy was cancelled. The file in progress was removed.\n";
        message += (moving_ ? std::to_wstring(moved_) + L" moved, " : std::to_wstring(copied_) + L" copied, ") +
                   std::to_wstring(skipped_) + L" skipped, " + std::to_wstring(failed_) + L" failed.\n";
        size_t shown = 0;
        for (const Line& line : lines_) {
            if (line.kind != Kind::Skipped && line.kind != Kind::Failed) continue;
            if (shown++ == kLinesInMessageBox) {
                message += L"...\n";
                break;
            }
            message += L"\n" + line.path + L"\n    " + KindName(line.kind) + L": " + line.reason;
        }
    }
    MessageBoxW(owner, message.c_str(), L"Brellow", MB_OK | icon);
}

}  // namespace brellow
