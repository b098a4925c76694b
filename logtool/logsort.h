#pragma once
// The log sorting tool: files the send logs lying directly in the send log folder into one
// sub-folder per recipient, each log with its picture. Copies go to every recipient's
// folder but the last, to whose folder the log is moved. The whole plan is made, from the
// folder's listing and the logs' recipients, before anything is touched.
//
// Nothing is ever lost or replaced: a destination that already holds the same bytes counts
// as done, one that holds other bytes is a conflict. A log leaves the send log folder only
// when every one of its recipients' folders has its copy, and its picture goes with it;
// otherwise both stay, and the reason is reported. A run that is killed part-way leaves
// every file whole, and the next run completes it.
//
// The work goes in batches of logs, for speed without a sync per file: a batch's copies are
// written to temporary files and made durable by one sync of the file system; then they and
// the moved logs get their new names, which a second sync makes durable; only then do the
// moved logs' old names go. After a power failure too, every file is whole in one place or
// the other.
#include "fileops.h"
#include "mail/logname.h"
#include "mail/sendlogreader.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zp::logsort {

// The folder of the recipients without a name, "(名前なし)" in Shift-JIS.
inline constexpr std::string_view kNoNameFolder = "(\x96\xBC\x91\x4F\x82\xC8\x82\xB5)";

struct Recipient {
    std::string name; // the name part (Shift-JIS); kNoNameFolder for none
    fs::path folder;  // its folder's name, empty when the name is refused
    FolderNameCheck check = FolderNameCheck::Ok;
    bool notAFolder = false; // the folder's name is taken by a file, a link or the like
    bool usable() const { return !folder.empty() && !notAFolder; }
};

struct LogPlan {
    fs::path log;     // file name in the send log folder
    fs::path picture; // its picture's file name, empty when it has none
    RecipientsStatus read = RecipientsStatus::NoHeader;
    // One per distinct folder, in the order of the log; of several recipients sharing a
    // folder, the last one's place counts.
    std::vector<Recipient> recipients;
};

struct Plan {
    fs::path folder;                 // the send log folder
    std::vector<fs::path> leftovers; // temporary files of an earlier run, relative
    std::vector<LogPlan> logs;       // HTML logs first, then text logs
};

enum class PlanError { None, NotAFolder, Unreadable };

// Lists the folder and reads every log's recipients; changes nothing.
PlanError makePlan(const fs::path& folder, Plan& plan, std::string& error);

enum class StepKind { Copy, Move, Skip, Conflict, Refuse, Fail, Clean };

enum class Reason {
    None,
    AlreadyThere,     // skip: the destination holds the same bytes
    NoRecipients,     // skip: the log names no recipient; it stays
    DifferentFile,    // conflict: the destination holds other bytes
    BadName,          // refuse: the name cannot be a folder inside the send log folder
    NotAFolder,       // refuse: the name is taken by something that is no plain folder
    Unreadable,       // refuse: the log could not be read or holds too many recipients
    FolderNotCreated, // fail
    NotDone,          // fail: a copy, link or removal went wrong (see error)
};

struct Step {
    StepKind kind = StepKind::Skip;
    Reason reason = Reason::None;
    fs::path source;      // relative to the send log folder
    fs::path destination; // relative; empty when there is none
    std::string name;     // the recipient's name part (Shift-JIS) for BadName, NotAFolder
    FolderNameCheck check = FolderNameCheck::Ok;
    std::string error; // the system's message for Fail
};

struct Report {
    std::vector<Step> steps;
    int logsFiled = 0;             // moved to their last recipient's folder
    int logsLeft = 0;              // left in the send log folder for a reason reported
    int logsWithoutRecipients = 0; // left where they are, as nothing names a recipient
    // Each once, relative: folders that could not be created, or whose name is taken.
    std::vector<fs::path> foldersNotCreated;
    bool cancelled = false; // stopped between two logs; the rest were not touched
    int logsNotReached = 0; // of the plan, not handled because the run was cancelled
    int count(StepKind kind) const;
    bool leftSomething() const { return logsLeft > 0; }
};

// What carrying the plan out would do, without doing any of it.
Report previewPlan(const Plan& plan);

// How a run is watched and stopped.
struct RunControl {
    Progress progress; // hears of every change before it is made
    Journal journal;   // hears of every step that decides what survives, once it is done
    // After each batch: logs handled so far, of the logs in the plan.
    std::function<void(int done, int planned)> logsDone;
    // Read between two logs; once true, the run finishes the logs begun (every file whole,
    // as after an interrupted run) and ends with the report's `cancelled` set.
    const std::atomic<bool>* cancel = nullptr;
    // Logs whose copies are made durable by one sync, and only then let their sources go.
    std::size_t batchLogs = 256;
};

// Carries the plan out.
Report carryOutPlan(const Plan& plan, const RunControl& control);
Report carryOutPlan(const Plan& plan, const Progress& progress = {});

} // namespace zp::logsort
