// What a run did and what went wrong, told to the user at the end: in a
// message box, or (BRELLOW_REPORT=<file> in the environment) as lines in that
// file, for unattended runs, with no message box at all.
#pragma once

#include "Owners.h"

#include <windows.h>

#include <string>
#include <vector>

namespace brellow {

// What the report says of a file kept beside another of the same paste
// under a numbered name: the name both had, and the other's source.
std::wstring KeptBesideNote(const std::wstring& sharedName, const std::wstring& otherSource);

class Report {
public:
    // Exit codes of the engine.
    enum Outcome { kAllCopied = 0, kSomeNotCopied = 1, kNothingDone = 2, kCancelled = 3, kStopped = 4 };

    // With BRELLOW_REPORT set, creates the report file at once, empty: no
    // earlier run's report is ever read as this one's, and a run that could
    // not say what it did is known before it does anything.
    Report();

    // False when BRELLOW_REPORT names a file that cannot be created. The run
    // must then do nothing and end with kNothingDone: unattended, it has no
    // one else to tell.
    bool CanReport() const { return !unattended_ || static_cast<bool>(file_); }

    // A move: the messages say "moved", and a source that is skipped or
    // fails is said to stay where it was.
    void SetMoving(bool moving) { moving_ = moving; }

    // note, when given, follows the path (see KeptBesideNote).
    void Copied(const std::wstring& target, const std::wstring& note = std::wstring());
    // A file or whole folder that now is at target and no longer where it was.
    void Moved(const std::wstring& target, const std::wstring& note = std::wstring());
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
    // The exit code says what happened to the files, written report or not;
    // a report that cannot be written whole is left empty, never cut short.
    int Finish(HWND owner);

private:
    // In the order of the names KindName gives them.
    enum class Kind { Copied, Moved, Skipped, Failed, Fatal, Cancelled, Stopped };
    struct Line {
        Kind kind;
        std::wstring path;
        std::wstring reason;
    };

    static const wchar_t* KindName(Kind kind);
    int ExitCode() const;
    void WriteReport(int outcome);
    void ShowMessage(HWND owner) const;

    bool unattended_ = false;  // BRELLOW_REPORT is set
    brell::UniqueHandle file_;
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
