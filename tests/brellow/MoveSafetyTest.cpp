// A move never loses a file. Each case below is a way a move once lost or
// destroyed data, touched files nobody chose, or said it had moved what it
// had not: two items of one paste under one name, links, names the file
// system rewrites, sources that cannot be removed, items listed twice, the
// looks of folders, names grown too long. Each runs within a volume, across
// volumes and mixed where that means something, undisturbed and killed at
// several moments, and every time:
// - every chosen file's bytes are in its source or in the target, never in
//   neither, and never cut short under a final name;
// - nothing outside the chosen items changes;
// - undisturbed, the exit code and the report say what happened.
#include "EngineHarness.h"
#include "PutClipboardFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace brelltest;

namespace {

enum class Layout {
    Local,     // sources and target on C:
    Remote,    // sources on the second volume
    Mixed,     // the first group on C:, the second on the second volume
    ReadOnly,  // sources on the second volume, cut through its read-only view
};

const char* LayoutName(Layout layout) {
    switch (layout) {
    case Layout::Local:
        return "Local";
    case Layout::Remote:
        return "Remote";
    case Layout::Mixed:
        return "Mixed";
    case Layout::ReadOnly:
        return "ReadOnly";
    }
    return "?";
}

// The folders of one run (a scene). The sources are made in a and b; the items are cut
// as cutA and cutB name them (the same folders, but for ReadOnly).
struct Scene {
    std::wstring a, b;
    std::wstring cutA, cutB;
    std::wstring outside;  // files nobody chose, and what links lead to
    std::wstring target;
};

// What a case made: the items to cut, the files among them (full paths of
// where they are made, and their bytes), and files beside them that nobody
// chose and that must stay as they are.
struct Made {
    std::vector<std::wstring> cut;
    Files chosen;
    Files untouched;
};

struct MoveCase {
    const char* name;
    std::vector<Layout> layouts;
    const wchar_t* clash;  // BRELLOW_ON_CLASH
    std::function<Made(const Scene&)> make;
    // What an undisturbed run must show beside the common promises.
    std::function<void(const Scene&, Layout, const EngineRun&)> expect;
};

// Bytes of their own for each file, readable in a failure message.
std::string Content(const char* what) {
    std::string bytes;
    while (bytes.size() < 200) bytes += std::string(what) + ";";
    return bytes;
}

// Writes path (at any name) and notes it as chosen or untouched.
void Put(Files& into, const std::wstring& path, const std::string& bytes) {
    MakeFolders(path.substr(0, path.find_last_of(L'\\')));
    ASSERT_TRUE(WriteBytes(LongForm(path), bytes)) << Utf8(path);
    into[path] = bytes;
}

// The bytes of every file below root, by name relative to it.
Files Snapshot(const std::wstring& root) {
    Files files;
    for (const std::wstring& name : ListTree(root))
        if (name.back() != L'\\') files[name] = ReadBytes(LongForm(root + L"\\" + name));
    return files;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string Line(const char* kind, const std::wstring& path) { return std::string(kind) + "\t" + Utf8(path); }

// The promises every run keeps, killed or not. targetBefore: what the
// target held before the run.
void ExpectNothingLost(const Scene& run, const Made& made, const Files& outsideBefore, const Files& targetBefore) {
    std::multiset<std::string> arrived;
    for (const auto& file : Snapshot(run.target)) {
        if (IsStagedName(LastName(file.first))) continue;
        arrived.insert(file.second);
    }
    for (const auto& file : made.chosen) {
        const std::string there = ReadBytes(LongForm(file.first));
        const bool inSource = there != kMissing;
        if (inSource) {
            EXPECT_TRUE(there == file.second) << "source changed: " << Utf8(file.first);
        }
        EXPECT_TRUE(inSource || arrived.count(file.second) > 0) << "lost: " << Utf8(file.first);
    }
    // Whatever has a final name in the target is one whole chosen file (or
    // what a link among them led to).
    std::set<std::string> known;
    for (const auto& file : made.chosen) known.insert(file.second);
    for (const auto& file : outsideBefore) known.insert(file.second);
    for (const auto& file : targetBefore) known.insert(file.second);
    for (const std::string& bytes : arrived) EXPECT_TRUE(known.count(bytes) > 0) << "cut short or foreign bytes";
    EXPECT_EQ(Snapshot(run.outside), outsideBefore) << "files outside the chosen items changed";
    for (const auto& file : made.untouched)
        EXPECT_TRUE(ReadBytes(LongForm(file.first)) == file.second) << "not chosen, yet changed: " << Utf8(file.first);
}

// The same-name cases: two groups of sources that meet under one name.
const MoveCase kCases[] = {
    {"TwoFilesOfOneNameReplacingAnOlderOne",
     {Layout::Local, Layout::Remote, Layout::Mixed},
     L"replace",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\dup.txt", Content("first"));
         Put(made.chosen, run.b + L"\\dup.txt", Content("second"));
         Put(made.untouched, run.target + L"\\keep.txt", Content("keep"));
         WriteBytes(run.target + L"\\dup.txt", "an older file, which Replace may take");
         made.cut = {run.cutA + L"\\dup.txt", run.cutB + L"\\dup.txt"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         EXPECT_EQ(ReadBytes(run.target + L"\\dup.txt"), Content("first"));
         EXPECT_EQ(ReadBytes(run.target + L"\\dup (2).txt"), Content("second"));
         EXPECT_THAT(result.report, HasSubstr(Line("moved", run.target + L"\\dup (2).txt") + "\tkept beside"));
         EXPECT_THAT(result.report, HasSubstr("result\t0\t0\t0\t0\t2"));
     }},
    {"TwoFoldersOfOneNameMerge",
     {Layout::Local, Layout::Remote, Layout::Mixed},
     L"replace",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\tree\\x.txt", Content("first x"));
         Put(made.chosen, run.a + L"\\tree\\y.txt", Content("y"));
         Put(made.chosen, run.b + L"\\tree\\x.txt", Content("second x"));
         Put(made.chosen, run.b + L"\\tree\\z.txt", Content("z"));
         made.cut = {run.cutA + L"\\tree", run.cutB + L"\\tree"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         EXPECT_THAT(ListTree(run.target),
                     ElementsAre(L"tree\\", L"tree\\x (2).txt", L"tree\\x.txt", L"tree\\y.txt", L"tree\\z.txt"));
         EXPECT_EQ(ReadBytes(run.target + L"\\tree\\x.txt"), Content("first x"));
         EXPECT_EQ(ReadBytes(run.target + L"\\tree\\x (2).txt"), Content("second x"));
         EXPECT_FALSE(Exists(LongForm(run.a + L"\\tree")));
         EXPECT_FALSE(Exists(LongForm(run.b + L"\\tree")));
     }},
    {"NamesThatDifferOnlyInCase",
     {Layout::Local},
     L"replace",
     [](const Scene& run) {
         // Side by side only in a case-sensitive folder, which the machine
         // that runs Wine makes.
         Made made;
         Put(made.chosen, run.a + L"\\tree\\A.txt", Content("upper"));
         Put(made.untouched, run.outside + L"\\lower.txt", Content("lower"));
         EXPECT_TRUE(RunOnHost({"/bin/cp", UnixPath(run.outside + L"\\lower.txt"), UnixPath(run.a + L"\\tree") + "/a.txt"},
                               run.a + L"\\tree\\a.txt"));
         made.chosen[run.a + L"\\tree\\a.txt"] = Content("lower");
         Put(made.untouched, run.target + L"\\tree\\old.txt", Content("old"));
         made.cut = {run.cutA + L"\\tree"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         const std::vector<std::wstring> names = ListTree(run.target + L"\\tree");
         EXPECT_EQ(names.size(), 3u) << result.report;
         EXPECT_THAT(result.report, HasSubstr("kept beside"));
     }},
    {"LinksToFilesOutside",
     {Layout::Local, Layout::Remote},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.untouched, run.outside + L"\\secret.txt", Content("secret"));
         Put(made.untouched, run.outside + L"\\other.txt", Content("other"));
         Put(made.chosen, run.a + L"\\tree\\own.txt", Content("own"));
         EXPECT_TRUE(MakeHostLink(run.a + L"\\tree\\link.txt", run.outside + L"\\secret.txt"));
         EXPECT_TRUE(MakeHostLink(run.a + L"\\toplink.txt", run.outside + L"\\other.txt"));
         made.cut = {run.cutA + L"\\tree", run.cutA + L"\\toplink.txt"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         // What the links lead to arrives, and stays where it is. Windows
         // moves or removes each link as itself; Wine cannot open a link as
         // itself, so the engine finds another file than the listed item,
         // copies what it leads to, and leaves the link and says so.
         EXPECT_EQ(ReadBytes(run.target + L"\\tree\\own.txt"), Content("own"));
         EXPECT_EQ(ReadBytes(run.target + L"\\tree\\link.txt"), Content("secret"));
         EXPECT_EQ(ReadBytes(run.target + L"\\toplink.txt"), Content("other"));
         if (Exists(run.a + L"\\toplink.txt")) {
             EXPECT_EQ(result.exitCode, 1u) << result.report;
             EXPECT_THAT(result.report, HasSubstr("it is a link to"));
         } else {
             EXPECT_EQ(result.exitCode, 0u) << result.report;
         }
     }},
    {"ALinkToAFolderIsNeverMergedThrough",
     {Layout::Local, Layout::Remote},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.untouched, run.outside + L"\\folder\\inside.txt", Content("inside"));
         Put(made.chosen, run.a + L"\\tree\\own.txt", Content("own"));
         EXPECT_TRUE(MakeHostLink(run.a + L"\\tree\\sub", run.outside + L"\\folder"));
         Put(made.untouched, run.target + L"\\tree\\sub\\there.txt", Content("there"));
         made.cut = {run.cutA + L"\\tree"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 1u) << result.report;
         EXPECT_THAT(ListTree(run.target + L"\\tree"), ElementsAre(L"own.txt", L"sub\\", L"sub\\there.txt"));
         EXPECT_THAT(result.report, HasSubstr(Utf8(run.a + L"\\tree\\sub")));
         EXPECT_THAT(result.report, HasSubstr("link to a folder"));
     }},
    {"NamesEndingInADotOrASpace",
     {Layout::Local, Layout::Remote},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\a.", Content("dot"));
         Put(made.chosen, run.a + L"\\b ", Content("space"));
         Put(made.untouched, run.a + L"\\a", Content("plain"));
         made.cut = {run.cutA + L"\\a.", run.cutA + L"\\b "};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         EXPECT_THAT(ListTree(run.target), ElementsAre(L"a.", L"b "));
         EXPECT_EQ(ReadBytes(LongForm(run.target + L"\\a.")), Content("dot"));
         EXPECT_THAT(result.report, HasSubstr(Line("moved", run.target + L"\\a.") + "\n"));
         EXPECT_THAT(result.report, HasSubstr(Line("moved", run.target + L"\\b ") + "\n"));
     }},
    {"SourcesThatCannotBeRemovedStay",
     {Layout::ReadOnly},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\f.txt", Content("file"));
         Put(made.chosen, run.a + L"\\tree\\g.txt", Content("g"));
         MakeFolders(run.a + L"\\tree\\hollow");
         made.cut = {run.cutA + L"\\f.txt", run.cutA + L"\\tree"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 1u) << result.report;
         EXPECT_THAT(ListTree(run.target), ElementsAre(L"f.txt", L"tree\\", L"tree\\g.txt", L"tree\\hollow\\"));
         EXPECT_THAT(ListTree(run.a), ElementsAre(L"f.txt", L"tree\\", L"tree\\g.txt", L"tree\\hollow\\"));
         EXPECT_THAT(result.report, HasSubstr(Line("failed", run.cutA + L"\\f.txt") + "\tit was copied to \"" +
                                              Utf8(run.target + L"\\f.txt") + "\" but cannot be removed"));
         EXPECT_THAT(result.report, HasSubstr(Line("failed", run.cutA + L"\\tree\\hollow") +
                                              "\tthe move emptied it, but it cannot be removed"));
         EXPECT_THAT(result.report, Not(HasSubstr("moved\t")));
     }},
    {"ListedTwiceAndInsideAListedFolder",
     {Layout::Local, Layout::Remote},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\one.txt", Content("one"));
         Put(made.chosen, run.a + L"\\tree\\in.txt", Content("in"));
         made.cut = {run.cutA + L"\\one.txt", run.cutA + L"\\tree\\in.txt", run.cutA + L"\\tree",
                     run.cutA + L"\\one.txt"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         EXPECT_THAT(ListTree(run.target), ElementsAre(L"one.txt", L"tree\\", L"tree\\in.txt"));
         EXPECT_EQ(Count(result.report, Line("moved", run.target + L"\\one.txt")), 1u) << result.report;
         EXPECT_THAT(result.report, Not(HasSubstr("stays where it was")));
         // Every file left its place. (Across volumes Wine sometimes keeps
         // the emptied folder "tree" listed after the engine has removed it
         // and no longer finds it, when a file inside it was on the list.)
         for (const std::wstring& left : ListTree(run.a)) EXPECT_EQ(left.back(), L'\\') << Utf8(left);
     }},
    {"FoldersKeepTheirLooks",
     {Layout::Local, Layout::Remote},
     L"skip",
     [](const Scene& run) {
         Made made;
         Put(made.chosen, run.a + L"\\hidden\\h.txt", Content("h"));
         SetFileAttributesW((run.a + L"\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
         HANDLE folder = CreateFileW((run.a + L"\\hidden").c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
         const FILETIME old = {0x12345600, 0x01C00000};
         SetFileTime(folder, nullptr, nullptr, &old);
         CloseHandle(folder);
         made.cut = {run.cutA + L"\\hidden"};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         WIN32_FILE_ATTRIBUTE_DATA hidden;
         ASSERT_TRUE(GetFileAttributesExW((run.target + L"\\hidden").c_str(), GetFileExInfoStandard, &hidden));
         EXPECT_EQ(hidden.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                   static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
         EXPECT_EQ(hidden.ftLastWriteTime.dwHighDateTime, 0x01C00000u);
         EXPECT_EQ(hidden.ftLastWriteTime.dwLowDateTime, 0x12345600u);
     }},
    {"KeepBothOnANameNearTheLongest",
     {Layout::Local, Layout::Remote},
     L"keepboth",
     [](const Scene& run) {
         Made made;
         const std::wstring name = std::wstring(249, L'n') + L".txt";  // 253 characters
         Put(made.chosen, run.a + L"\\" + name, Content("new"));
         Put(made.untouched, run.target + L"\\" + name, Content("old"));
         made.cut = {run.cutA + L"\\" + name};
         return made;
     },
     [](const Scene& run, Layout, const EngineRun& result) {
         EXPECT_EQ(result.exitCode, 0u) << result.report;
         const std::wstring numbered = std::wstring(247, L'n') + L" (2).txt";  // shortened to 255
         EXPECT_EQ(ReadBytes(LongForm(run.target + L"\\" + numbered)), Content("new"));
     }},
};

struct Param {
    const MoveCase* test;
    Layout layout;
};

class MoveNeverLoses : public EngineFixture, public ::testing::WithParamInterface<Param> {
protected:
    // Fresh folders for one run: where the sources are made, the target, and
    // the files outside.
    bool Prepare(const std::wstring& name, Scene& run, std::string& whyNot) {
        const Layout layout = GetParam().layout;
        std::wstring remote;
        if (layout != Layout::Local) {
            remote = SecondVolume(whyNot);
            if (remote.empty()) return false;
        }
        const std::wstring local = source / name;
        const std::wstring away = remote + L"brellow-safety-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
        run.a = layout == Layout::Local || layout == Layout::Mixed ? local + L"\\a" : away + L"\\a";
        run.b = layout == Layout::Local ? local + L"\\b" : away + L"\\b";
        run.cutA = run.a;
        run.cutB = run.b;
        if (layout == Layout::ReadOnly) {
            wchar_t view[8] = L"";
            GetEnvironmentVariableW(L"BRELL_READONLY_VIEW", view, ARRAYSIZE(view));
            if (!view[0]) {
                wchar_t why[512] = L"";
                GetEnvironmentVariableW(L"BRELL_READONLY_VIEW_MISSING", why, ARRAYSIZE(why));
                whyNot = "no read-only view of the second volume: " + Utf8(why);
                return false;
            }
            run.cutA = std::wstring(view) + run.a.substr(2);
            run.cutB = std::wstring(view) + run.b.substr(2);
        }
        run.outside = source / (name + L"-outside");
        run.target = target / name;
        for (const std::wstring* folder : {&run.a, &run.b, &run.outside, &run.target}) MakeFolders(*folder);
        remotes_.push_back(away);
        return true;
    }

    void TearDown() override {
        for (const std::wstring& folder : remotes_) RemoveTree(folder);
        EngineFixture::TearDown();
    }

private:
    std::vector<std::wstring> remotes_;
};

TEST_P(MoveNeverLoses, UndisturbedOrKilled) {
    const MoveCase& test = *GetParam().test;
    SetClashAnswer(test.clash);

    // Undisturbed: the promises, what the case expects, and the scale for
    // the kills: from the first entry in the target to the end.
    Scene run;
    std::string whyNot;
    if (!Prepare(L"whole", run, whyNot)) GTEST_SKIP() << "SKIPPED: " << whyNot;
    Made made = test.make(run);
    Files outside = Snapshot(run.outside);
    Files there = Snapshot(run.target);
    ASSERT_TRUE(brell::CutClipboardFiles(made.cut));
    ULONGLONG duration = 0;
    const EngineRun result = RunEngine(EngineLine(run.target), [&](const PROCESS_INFORMATION& process) {
        duration = TimeFromFirstEntry(process, run.target);
    });
    ExpectNothingLost(run, made, outside, there);
    test.expect(run, GetParam().layout, result);

    // Killed at several moments of the same move, made anew each time.
    constexpr int kMoments = 3;
    for (int moment = 0; moment < kMoments; ++moment) {
        const ULONGLONG delay = duration * moment / kMoments;
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms of " + std::to_string(duration));
        Scene killed;
        ASSERT_TRUE(Prepare(L"k" + std::to_wstring(moment), killed, whyNot));
        made = test.make(killed);
        outside = Snapshot(killed.outside);
        there = Snapshot(killed.target);
        const size_t before = ListTree(killed.target).size();
        ASSERT_TRUE(brell::CutClipboardFiles(made.cut));
        RunEngine(EngineLine(killed.target), [&](const PROCESS_INFORMATION& process) {
            if (moment > 0) WaitForNewEntries(process, killed.target, before);
            KillAfter(process, delay);
        });
        ExpectNothingLost(killed, made, outside, there);
    }
}

std::vector<Param> AllParams() {
    std::vector<Param> params;
    for (const MoveCase& test : kCases)
        for (Layout layout : test.layouts) params.push_back({&test, layout});
    return params;
}

INSTANTIATE_TEST_SUITE_P(Cases, MoveNeverLoses, ::testing::ValuesIn(AllParams()),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             return std::string(info.param.test->name) + "_" + LayoutName(info.param.layout);
                         });

}  // namespace
