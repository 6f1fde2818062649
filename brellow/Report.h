// What a run did and what went wrong, told to the user at the end: in a
// message box, or (BRELLOW_REPORT=<file> in the environment) as lines in that
// file, for unattended runs, with no message box at all.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brellow {

class Report {
public:
    // Exit codes of the engine.
    enum Outcome { kAllCopied = 0, kSomeNotCopied = 1, kNothingDone = 2, kCancelled = 3, kStopped = 4 };

    Report();

    // A move: the messages say "moved", and a source that is skipped or
    // fails is said to stay where it was.
    void SetMoving(bool moving) { moving_ = moving; }

    void Copied(const std::wstring& target);
    // A file or whole folder that now is at target and no longer where it was.
    void Moved(const std::wstring& target);
    void Skipped(const std::wstring& source, const std::wstring& reason);
    void Failed(const std::wstring& source, const std::wstring& reason);
    // Stops the run before anything is copied.
    void Fatal(const std::wstring& message);
    void Cancelled();
    // The copy ended on an unexpected error before it was through: what was
    // copied is listed and complete, the rest may be missing.
    void Stopped(const std::wstring& message);

    bool AnyMoved() const { return moved_ != 0; }
    // Every item of a move arrived and left its place: nothing was skipped,
    // failed, cancelled or stopped.
    bool EverythingMoved() const;

    // Tells the user (or writes the report file) and returns the exit code.
    int Finish(HWND owner);

private:
    struct Line {
        const wchar_t* kind;
        std::wstring path;
        std::wstring reason;
    };

    std::wstring reportFile_;
    std::vector<Line> lines_;
    bool moving_ = false;
    size_t copied_ = 0;
    size_t moved_ = 0;
    size_t skipped_ = 0;
    size_t failed_ = 0;
    bool fatal_ = false;
    bool cancelled_ = false;
    bool stopped_ = false;
};

}  // namespace brellow
