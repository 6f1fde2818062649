#include "Report.h"

namespace brellow {
namespace {

constexpr size_t kLinesInMessageBox = 15;

std::wstring ReadEnvironment(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(name, buffer, ARRAYSIZE(buffer));
    if (length == 0 || length >= ARRAYSIZE(buffer)) return std::wstring();
    return std::wstring(buffer, length);
}

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

Report::Report() : reportFile_(ReadEnvironment(L"BRELLOW_REPORT")) {}

void Report::Copied(const std::wstring& target) {
    ++copied_;
    lines_.push_back({L"copied", target, std::wstring()});
}

void Report::Moved(const std::wstring& target) {
    ++moved_;
    lines_.push_back({L"moved", target, std::wstring()});
}

void Report::Skipped(const std::wstring& source, const std::wstring& reason) {
    ++skipped_;
    lines_.push_back({L"skipped", source, moving_ ? reason + L"; it stays where it was" : reason});
}

void Report::Failed(const std::wstring& source, const std::wstring& reason) {
    ++failed_;
    lines_.push_back({L"failed", source, moving_ ? reason + L"; it stays where it was" : reason});
}

bool Report::EverythingMoved() const {
    return moved_ && !copied_ && !skipped_ && !failed_ && !fatal_ && !cancelled_ && !stopped_;
}

void Report::Fatal(const std::wstring& message) {
    fatal_ = true;
    lines_.push_back({L"fatal", std::wstring(), message});
}

void Report::Cancelled() {
    cancelled_ = true;
    lines_.push_back({L"cancelled", std::wstring(), std::wstring()});
}

void Report::Stopped(const std::wstring& message) {
    stopped_ = true;
    lines_.push_back({L"stopped", std::wstring(), message});
}

int Report::Finish(HWND owner) {
    const int outcome = fatal_ ? kNothingDone
                        : stopped_ ? kStopped
                        : cancelled_ ? kCancelled
                        : (skipped_ || failed_) ? kSomeNotCopied
                                                : kAllCopied;

    if (!reportFile_.empty()) {
        std::wstring text;
        for (const Line& line : lines_) {
            text += line.kind;
            if (!line.path.empty()) text += L"\t" + line.path;
            if (!line.reason.empty()) text += L"\t" + line.reason;
            text += L"\n";
        }
        // The moved count comes last, so that readers of the first four
        // fields keep working.
        text += L"result\t" + std::to_wstring(outcome) + L"\t" + std::to_wstring(copied_) + L"\t" +
                std::to_wstring(skipped_) + L"\t" + std::to_wstring(failed_) + L"\t" + std::to_wstring(moved_) +
                L"\n";
        const std::string utf8 = ToUtf8(text);
        HANDLE file = CreateFileW(reportFile_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
            CloseHandle(file);
        }
        return outcome;
    }

    if (outcome == kAllCopied) return outcome;
    std::wstring message;
    UINT icon = MB_ICONWARNING;
    if (fatal_) {
        icon = MB_ICONERROR;
        for (const Line& line : lines_)
            if (line.reason.size() && wcscmp(line.kind, L"fatal") == 0) message += line.reason + L"\n";
    } else {
        if (stopped_)
            for (const Line& line : lines_)
                if (wcscmp(line.kind, L"stopped") == 0) message += line.reason + L"\n";
        if (cancelled_ && !stopped_)
            message += moving_ ? L"The move was cancelled. What was not moved yet stays where it was.\n"
                               : L"The copy was cancelled. The file in progress was removed.\n";
        message += (moving_ ? std::to_wstring(moved_) + L" moved, " : std::to_wstring(copied_) + L" copied, ") +
                   std::to_wstring(skipped_) + L" skipped, " + std::to_wstring(failed_) + L" failed.\n";
        size_t shown = 0;
        for (const Line& line : lines_) {
            if (wcscmp(line.kind, L"skipped") != 0 && wcscmp(line.kind, L"failed") != 0) continue;
            if (shown++ == kLinesInMessageBox) {
                message += L"...\n";
                break;
            }
            message += L"\n" + line.path + L"\n    " + line.kind + L": " + line.reason;
        }
    }
    MessageBoxW(owner, message.c_str(), L"Brellow", MB_OK | icon);
    return outcome;
}

}  // namespace brellow
