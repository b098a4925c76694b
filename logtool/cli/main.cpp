// zoripost-sortlogs: files the send logs of a folder into per-recipient folders, as the
// window's sorting tool does, and says what it did or, with --dry-run, what it would do.
#include "fileio/fileio.h"
#include "logtool/logsort.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace zp::logsort;

constexpr const char* kUsage =
    "usage: zoripost-sortlogs [--dry-run] [--verbose] LOGDIR\n"
    "  Files the send logs lying directly in LOGDIR (and their pictures) into one\n"
    "  sub-folder per recipient: a copy for every recipient but the last, a move for\n"
    "  the last; recipients without a name go to \"(名前なし)\".\n"
    "  --dry-run  print the plan and change nothing\n"
    "  --verbose  also print every file operation as it is made\n"
    "Exit status: 0 everything filed or nothing to do, 1 something left in LOGDIR,\n"
    "2 usage or folder error (nothing changed).\n";

struct Options {
    bool dryRun = false;
    bool verbose = false;
    bool help = false;
    std::string folder;
};

bool parse(const std::vector<std::string>& args, Options& o, std::string& error) {
    bool options = true;
    int folders = 0;
    for (const std::string& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--dry-run") {
            o.dryRun = true;
        } else if (options && a == "--verbose") {
            o.verbose = true;
        } else if (options && (a == "-h" || a == "--help")) {
            o.help = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            o.folder = a;
            ++folders;
        }
    }
    if (!o.help && folders != 1) {
        error = folders == 0 ? "no LOGDIR given" : "more than one LOGDIR given";
        return false;
    }
    return true;
}

// A recipient's name part as UTF-8, bytes that are no Shift-JIS character as \xNN.
std::string nameText(const std::string& sjis) {
    fs::path p;
    if (zp::sjisToPath(sjis, p)) {
        bool printable = true;
        for (unsigned char c : displayPath(p))
            printable = printable && c >= 0x20 && c != 0x7F;
        if (printable)
            return displayPath(p);
    }
    std::string out;
    for (unsigned char c : sjis) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out;
}

const char* checkText(zp::FolderNameCheck check) {
    switch (check) {
    case zp::FolderNameCheck::DotName:
        return "the folder itself or its parent";
    case zp::FolderNameCheck::Separator:
        return "holds a path separator or a character file names cannot hold";
    case zp::FolderNameCheck::ControlChar:
        return "holds a control character";
    case zp::FolderNameCheck::TooLong:
        return "too long for a folder name";
    case zp::FolderNameCheck::NotConvertible:
        return "holds bytes that are no Shift-JIS character";
    case zp::FolderNameCheck::Empty:
    case zp::FolderNameCheck::Ok:
        break;
    }
    return "not usable as a folder name";
}

const char* kindText(StepKind kind) {
    switch (kind) {
    case StepKind::Copy:
        return "copy";
    case StepKind::Move:
        return "move";
    case StepKind::Skip:
        return "skip";
    case StepKind::Conflict:
        return "conflict";
    case StepKind::Refuse:
        return "refuse";
    case StepKind::Fail:
        return "fail";
    case StepKind::Clean:
        return "clean";
    }
    return "?";
}

std::string stepLine(const Step& s) {
    std::string line = std::string(kindText(s.kind)) + " " + displayPath(s.source);
    if (!s.destination.empty())
        line += " -> " + displayPath(s.destination);
    switch (s.reason) {
    case Reason::AlreadyThere:
        return line + " (already there)";
    case Reason::NoRecipients:
        return line + " (no recipients)";
    case Reason::DifferentFile:
        return line + " (a different file of that name is there)";
    case Reason::BadName:
        return line + " (recipient \"" + nameText(s.name) + "\": " + checkText(s.check) + ")";
    case Reason::NotAFolder:
        return line + " (recipient \"" + nameText(s.name) + "\": the name is taken by a file)";
    case Reason::Unreadable:
        return line + " (cannot be read, or names too many recipients)";
    case Reason::FolderNotCreated:
        return line + " (folder could not be created: " + s.error + ")";
    case Reason::NotDone:
        return line + " (" + s.error + ")";
    case Reason::None:
        break;
    }
    if (s.kind == StepKind::Clean)
        line += " (left over by an interrupted run)";
    return line;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parse(zp::fileio::commandLineArguments(argc, argv), options, error)) {
        std::fprintf(stderr, "zoripost-sortlogs: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Plan plan;
    if (makePlan(zp::fileio::pathFromText(options.folder), plan, error) != PlanError::None) {
        std::fprintf(stderr, "zoripost-sortlogs: %s\n", error.c_str());
        return 2;
    }
    // Operations name their paths in full; shown relative to LOGDIR like the steps.
    const std::string prefix = displayPath(plan.folder / "");
    const Progress progress = [&](std::string_view what) {
        if (!options.verbose)
            return;
        std::string line(what);
        for (std::size_t at = line.find(prefix); !prefix.empty() && at != std::string::npos;
             at = line.find(prefix, at))
            line.erase(at, prefix.size());
        std::printf("  %s\n", line.c_str());
    };
    const Report report = options.dryRun ? previewPlan(plan) : carryOutPlan(plan, progress);
    for (const Step& s : report.steps)
        std::printf("%s\n", stepLine(s).c_str());
    std::printf("%s%d filed, %d left in place, %d without recipients (%d copied, %d moved, "
                "%d already there, %d conflicts, %d refused, %d failed)\n",
                options.dryRun ? "dry run (nothing changed): " : "", report.logsFiled,
                report.logsLeft, report.logsWithoutRecipients, report.count(StepKind::Copy),
                report.count(StepKind::Move),
                report.count(StepKind::Skip) - report.logsWithoutRecipients,
                report.count(StepKind::Conflict), report.count(StepKind::Refuse),
                report.count(StepKind::Fail));
    return report.leftSomething() || report.count(StepKind::Fail) > 0 ? 1 : 0;
}
