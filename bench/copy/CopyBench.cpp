// Copy throughput of the engine's copier beside CopyFileExW, on the same data
// in the same run: one large file, then a tree of 3,000 small files, each
// copied whole by the engine (staged files renamed into place, small files on
// its workers) and by a CopyFileExW loop over the same plan. Prints both and
// the ratio (engine / CopyFileExW; above 1 is faster). Then what a move costs
// beside a copy of the same data, both by the engine: within one volume
// (renames) and, where a second drive on another file system is mapped
// (BRELL_SECOND_VOLUME), across volumes (a copy and a delete per file). The
// data lives in temporary folders that are removed at the end.
#include "Copier.h"
#include "CopyPlan.h"
#include "CopyProgress.h"
#include "Mover.h"
#include "Owners.h"
#include "Report.h"
#include "Settings.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    brell::UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find.get(), &entry));
    }
    find.reset();  // an open search would keep the folder
    RemoveDirectoryW(path.c_str());
}

bool WritePattern(const std::wstring& path, std::uint64_t size, unsigned seed) {
    const brell::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<unsigned> chunk(static_cast<size_t>(std::min<std::uint64_t>(size, 4 * kMiB) / 4 + 1));
    unsigned x = seed * 2654435761u + 7;
    for (unsigned& v : chunk) v = x = x * 1103515245u + 12345u;
    bool ok = true;
    for (std::uint64_t left = size; left && ok;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(left, chunk.size() * 4 - 4));
        DWORD written = 0;
        ok = WriteFile(file.get(), chunk.data(), n, &written, nullptr) && written == n;
        left -= n;
        chunk[0] ^= 0x9E3779B9u;  // no two chunks alike
    }
    return ok;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The comparator: what a program without its own engine would do.
bool CopyWithSystem(const brellow::CopyPlan& plan) {
    for (const brellow::PlanItem& item : plan.items) {
        if (item.isFolder) {
            if (!CreateDirectoryW(item.target.c_str(), nullptr)) return false;
        } else if (!CopyFileExW(item.source.c_str(), item.target.c_str(), nullptr, nullptr, nullptr,
                                COPY_FILE_FAIL_IF_EXISTS)) {
            return false;
        }
    }
    return true;
}

bool CopyWithEngine(const brellow::CopyPlan& plan) {
    brellow::CopyProgress progress;
    brellow::Copier copier(brellow::LoadSettings(), progress);
    brellow::Report report;
    return copier.Run(plan, report);
}

bool MoveWithEngine(const std::vector<std::wstring>& sources, const std::wstring& target, bool flushed = true) {
    brellow::CopyProgress progress;
    brellow::Settings settings = brellow::LoadSettings();
    settings.flushMovedCopies = flushed;
    brellow::Copier copier(settings, progress);
    brellow::Report report;
    brellow::MoveFiles(sources, target, copier, progress, nullptr, report);
    return report.EverythingMoved();
}

struct Figures {
    double engine = 1e30;
    double system = 1e30;
};

// Best of rounds for each, alternating which goes first, into a fresh target,
// so that both meet the same load of a shared machine.
Figures MeasureWhole(const std::vector<std::wstring>& sources, const std::wstring& target, int rounds, bool& ok) {
    Figures best;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool engine = (round + turn) % 2 == 0;
            RemoveTree(target);
            CreateDirectoryW(target.c_str(), nullptr);
            const brellow::CopyPlan plan = brellow::MakeCopyPlan(sources, target);
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            ok = (engine ? CopyWithEngine(plan) : CopyWithSystem(plan)) && ok;
            QueryPerformanceCounter(&end);
            double& slot = engine ? best.engine : best.system;
            slot = std::min(slot, Seconds(start, end));
        }
    }
    RemoveTree(target);
    return best;
}

// The engine's copy of sources into target beside its move of a fresh copy
// of the same sources (made untimed before each round, in staging, on the
// sources' volume), best of rounds for each, in turns.
Figures MeasureMove(const std::vector<std::wstring>& sources, const std::wstring& staging, const std::wstring& target,
                    int rounds, bool& ok) {
    Figures best;  // engine: the move; system: the engine's copy
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool move = (round + turn) % 2 == 0;
            RemoveTree(target);
            CreateDirectoryW(target.c_str(), nullptr);
            std::vector<std::wstring> pasted = sources;
            if (move) {
                RemoveTree(staging);
                CreateDirectoryW(staging.c_str(), nullptr);
                ok = CopyWithSystem(brellow::MakeCopyPlan(sources, staging)) && ok;
                for (std::wstring& source : pasted) source = staging + source.substr(source.find_last_of(L'\\'));
            }
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            ok = (move ? MoveWithEngine(pasted, target) : CopyWithEngine(brellow::MakeCopyPlan(pasted, target))) && ok;
            QueryPerformanceCounter(&end);
            double& slot = move ? best.engine : best.system;
            slot = std::min(slot, Seconds(start, end));
        }
    }
    RemoveTree(target);
    RemoveTree(staging);
    return best;
}

// A move across volumes whose copies are flushed before their sources go
// (the engine's only way) beside the same move without the flush, each of a
// fresh copy of sources made untimed in staging, best of rounds, in turns.
Figures MeasureFlush(const std::vector<std::wstring>& sources, const std::wstring& staging,
                     const std::wstring& target, int rounds, bool& ok) {
    Figures best;  // engine: flushed; system: not flushed
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool flushed = (round + turn) % 2 == 0;
            RemoveTree(target);
            CreateDirectoryW(target.c_str(), nullptr);
            RemoveTree(staging);
            CreateDirectoryW(staging.c_str(), nullptr);
            ok = CopyWithSystem(brellow::MakeCopyPlan(sources, staging)) && ok;
            std::vector<std::wstring> pasted = sources;
            for (std::wstring& source : pasted) source = staging + source.substr(source.find_last_of(L'\\'));
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            ok = MoveWithEngine(pasted, target, flushed) && ok;
            QueryPerformanceCounter(&end);
            double& slot = flushed ? best.engine : best.system;
            slot = std::min(slot, Seconds(start, end));
        }
    }
    RemoveTree(target);
    RemoveTree(staging);
    return best;
}

void PrintFlush(const char* what, const Figures& f) {
    std::printf("%-34s %-15s unflushed %7.3f s | flushed %7.3f s | flushed / unflushed %.2f\n", what,
                "across volumes", f.system, f.engine, f.engine / f.system);
}

void PrintMove(const char* what, const char* where, const Figures& f) {
    std::printf("%-34s %-15s copy %7.3f s | move %7.3f s | move / copy %.2f\n", what, where, f.system, f.engine,
                f.engine / f.system);
}

void Print(const char* what, std::uint64_t bytes, size_t files, const Figures& f) {
    const double mb = static_cast<double>(bytes) / static_cast<double>(kMiB);
    std::printf("%-34s engine %8.1f MiB/s %8.0f files/s | CopyFileExW %8.1f MiB/s %8.0f files/s | ratio %.2f\n",
                what, mb / f.engine, files / f.engine, mb / f.system, files / f.system, f.system / f.engine);
}

}  // namespace

int wmain() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"brellow-bench-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring data = root + L"\\data";
    const std::wstring target = root + L"\\target";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);

    const std::uint64_t bigSize = 256 * kMiB;
    bool ok = WritePattern(data + L"\\large.bin", bigSize, 1);

    const std::wstring tree = data + L"\\tree";
    CreateDirectoryW(tree.c_str(), nullptr);
    std::uint64_t treeBytes = 0;
    size_t treeFiles = 0;
    for (int d = 0; d < 40 && ok; ++d) {
        const std::wstring folder = tree + L"\\d" + std::to_wstring(d);
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int f = 0; f < 75 && ok; ++f) {
            const std::uint64_t size = 512 + static_cast<std::uint64_t>((d * 75 + f) * 7919 % 16384);
            ok = WritePattern(folder + L"\\f" + std::to_wstring(f) + L".dat", size, d * 75 + f);
            treeBytes += size;
            ++treeFiles;
        }
    }
    if (!ok) {
        std::printf("could not write the test data under %ls\n", root.c_str());
        RemoveTree(root);
        return 0;
    }

    std::printf("Copy throughput, best of 3 (large file) and 7 (tree) for each, in turns;\n"
                "engine settings from the registry (defaults when absent)\n");
    const Figures large = MeasureWhole({data + L"\\large.bin"}, target, 3, ok);
    Print("one file of 256 MiB", bigSize, 1, large);
    const Figures small = MeasureWhole({tree}, target, 7, ok);
    char label[64];
    std::snprintf(label, sizeof(label), "tree of %zu files, %.1f MiB", treeFiles,
                  static_cast<double>(treeBytes) / static_cast<double>(kMiB));
    Print(label, treeBytes, treeFiles, small);
    std::printf("targets: ratio >= 0.95 for the large file, >= 1.00 for the tree%s\n",
                ok ? "" : "; some copies FAILED");

    // What a move costs beside a copy of the same data.
    std::printf("\nMove beside copy, both by the engine, best of 3 each, in turns\n");
    const std::wstring staging = root + L"\\staging";
    bool moved = true;
    PrintMove("one file of 256 MiB", "same volume", MeasureMove({data + L"\\large.bin"}, staging, target, 3, moved));
    PrintMove(label, "same volume", MeasureMove({tree}, staging, target, 3, moved));
    wchar_t letter[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"BRELL_SECOND_VOLUME", letter, ARRAYSIZE(letter));
    if (length == 2 && letter[1] == L':') {
        const std::wstring remote = std::wstring(letter) + L"\\brellow-bench-" + std::to_wstring(GetCurrentProcessId());
        PrintMove("one file of 256 MiB", "across volumes",
                  MeasureMove({data + L"\\large.bin"}, staging, remote, 3, moved));
        PrintMove(label, "across volumes", MeasureMove({tree}, staging, remote, 3, moved));
        std::printf("across volumes: from C: to %ls, a tmpfs\n", letter);
        // Into C:, whose file system writes to a disk: there a flush waits
        // for it (on the tmpfs it costs nothing).
        std::printf("\nA move's flush of each copy before its source goes, beside the same move without it,\n"
                    "best of 2 each, in turns, from %ls to C:\n", letter);
        const std::wstring remoteStaging = remote + L"-staging";
        PrintFlush("one file of 256 MiB", MeasureFlush({data + L"\\large.bin"}, remoteStaging, target, 2, moved));
        PrintFlush(label, MeasureFlush({tree}, remoteStaging, target, 2, moved));
    } else {
        std::printf("no second volume (BRELL_SECOND_VOLUME): moves across volumes not measured\n");
    }
    if (!moved) std::printf("some moves or copies FAILED\n");

    RemoveTree(root);
    return 0;  // figures only: timing never fails the run
}
