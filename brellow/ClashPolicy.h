// How a name clash is settled: a file being pasted meets a file of the same
// name in the target folder. The answer comes from BRELLOW_ON_CLASH, from an
// earlier answer given "for all remaining clashes", or from asking the user.
#pragma once

#include "CopyProgress.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace brellow {

enum class ClashAnswer { Replace, Skip, KeepBoth };

struct ClashInfo {
    std::wstring source;    // the file being pasted
    std::wstring existing;  // the file of that name in the target folder
    std::uint64_t sourceSize = 0;
    std::uint64_t existingSize = 0;
    FILETIME sourceWritten = {};
    FILETIME existingWritten = {};
    // Set when the file in the folder is one that this same paste put there
    // (or puts there), from this source: it is never replaced.
    std::wstring placedFrom;
};

// Fills clash with both files' sizes and last write times (zero where a file
// cannot be asked).
ClashInfo DescribeClash(const std::wstring& source, const std::wstring& existing);

// Puts the question to the user.
class ClashAsker {
public:
    struct Reply {
        ClashAnswer answer = ClashAnswer::Skip;
        bool forAll = false;  // "Do this for all remaining clashes"
        bool cancel = false;  // the user cancelled the whole paste
    };
    // False when there is no way to ask (no window).
    virtual bool Ask(const ClashInfo& clash, Reply& reply) = 0;

protected:
    ~ClashAsker() = default;
};

class ClashPolicy {
public:
    enum class Mode { Ask, Skip, Replace, KeepBoth };

    // The environment's BRELLOW_ON_CLASH: "ask", "skip", "replace" or
    // "keepboth", in any case; unset or empty means ask. False for anything
    // else: a script's typo must not turn into dialogs or a wrong answer.
    static bool ModeFromEnvironment(Mode& mode, std::wstring& text);

    // asker may be null: a clash that would be asked is then skipped.
    ClashPolicy(Mode mode, ClashAsker* asker, CopyProgress& progress)
        : mode_(mode), asker_(asker), progress_(progress) {}

    // One answer for one clash. A cancel in the dialog cancels the paste and
    // answers Skip; once cancelled, every clash is skipped without asking.
    // Never Replace for a file this paste placed (clash.placedFrom): the
    // dialog does not offer it, and a standing Replace keeps both instead.
    ClashAnswer Decide(const ClashInfo& clash);

private:
    Mode mode_;
    ClashAsker* asker_;
    CopyProgress& progress_;
};

}  // namespace brellow
