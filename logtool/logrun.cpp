// Carrying out a sorting plan, or foretelling what carrying it out would do: both walk the
// plan with the same steps, one with the real file operations, one with mere comparisons.
#include "logsort.h"

#include <algorithm>
#include <system_error>

namespace zp::logsort {
namespace {

class Ops {
public:
    virtual ~Ops() = default;
    virtual bool folder(const fs::path& dir, std::string& error) = 0;
    virtual PlaceResult copy(const fs::path& source, const fs::path& destination) = 0;
    virtual PlaceResult link(const fs::path& source, const fs::path& destination) = 0;
    virtual bool remove(const fs::path& file, std::string& error) = 0;
};

// Foretells: a destination is compared, never written.
class PreviewOps final : public Ops {
public:
    bool folder(const fs::path& dir, std::string& error) override {
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(dir, ec);
        if (fs::is_directory(st) || !fs::exists(st))
            return true;
        error = displayPath(dir) + ": not a folder";
        return false;
    }
    PlaceResult copy(const fs::path& source, const fs::path& destination) override {
        switch (compareFiles(source, destination)) {
        case FileCompare::Absent:
            return {PlaceStatus::Placed, {}};
        case FileCompare::Identical:
            return {PlaceStatus::AlreadyThere, {}};
        case FileCompare::Different:
            return {PlaceStatus::Conflict, {}};
        case FileCompare::Unreadable:
            break;
        }
        return {PlaceStatus::Failed, displayPath(destination) + ": could not be compared"};
    }
    PlaceResult link(const fs::path& source, const fs::path& destination) override {
        return copy(source, destination);
    }
    bool remove(const fs::path&, std::string&) override { return true; }
};

// Does it, after making sure once more that every destination is a file directly inside
// a plain folder directly inside the send log folder, and so never the source itself.
class RealOps final : public Ops {
public:
    RealOps(const fs::path& root, const Progress& progress) : m_root(root), m_progress(progress) {
        std::error_code ec;
        m_canonicalRoot = fs::canonical(root, ec);
    }
    bool folder(const fs::path& dir, std::string& error) override {
        if (!inside(dir)) {
            error = displayPath(dir) + ": outside the send log folder";
            return false;
        }
        return ensureFolder(dir, m_progress, error) && safeFolder(dir, error);
    }
    PlaceResult copy(const fs::path& source, const fs::path& destination) override {
        std::string error;
        if (!safeFolder(destination.parent_path(), error))
            return {PlaceStatus::Failed, error};
        return placeCopy(source, destination, m_progress);
    }
    PlaceResult link(const fs::path& source, const fs::path& destination) override {
        std::string error;
        if (!safeFolder(destination.parent_path(), error))
            return {PlaceStatus::Failed, error};
        return placeLink(source, destination, m_progress);
    }
    bool remove(const fs::path& file, std::string& error) override {
        return removeFile(file, m_progress, error);
    }

private:
    bool inside(const fs::path& dir) const {
        const fs::path name = dir.filename();
        return dir.parent_path() == m_root && !name.empty() && name != "." && name != "..";
    }
    bool safeFolder(const fs::path& dir, std::string& error) const {
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(dir, ec);
        const fs::path real = fs::canonical(dir, ec);
        if (!inside(dir) || !fs::is_directory(st) || fs::is_symlink(st) || ec ||
            real.parent_path() != m_canonicalRoot) {
            error = displayPath(dir) + ": not a folder inside the send log folder";
            return false;
        }
        return true;
    }

    fs::path m_root;
    fs::path m_canonicalRoot;
    const Progress& m_progress;
};

class Sorter {
public:
    Sorter(const Plan& plan, Ops& ops, Report& report)
        : m_plan(plan), m_ops(ops), m_report(report) {}

    void sortLog(const LogPlan& log) {
        if (log.read == RecipientsStatus::NoHeader || log.read == RecipientsStatus::NoEntries) {
            add(StepKind::Skip, Reason::NoRecipients, log.log);
            ++m_report.logsWithoutRecipients;
            return;
        }
        if (log.read != RecipientsStatus::Ok) {
            add(StepKind::Refuse, Reason::Unreadable, log.log);
            ++m_report.logsLeft;
            return;
        }
        bool allIn = true;
        for (const Recipient& r : log.recipients)
            if (!r.usable()) {
                Step& s = add(StepKind::Refuse, r.notAFolder ? Reason::NotAFolder : Reason::BadName,
                              log.log);
                s.name = r.name;
                s.check = r.check;
                if (r.notAFolder)
                    noteFolder(r.folder);
                allIn = false;
            }
        std::vector<const Recipient*> usable;
        for (const Recipient& r : log.recipients)
            if (r.usable())
                usable.push_back(&r);
        bool moved = false;
        for (std::size_t i = 0; i < usable.size(); ++i) {
            const fs::path& dir = usable[i]->folder;
            if (!ensureFolder(log, dir)) {
                allIn = false;
                continue;
            }
            if (i + 1 == usable.size() && allIn)
                moved = moveInto(log, dir);
            else
                allIn = copyInto(log, dir) && allIn;
        }
        ++(moved ? m_report.logsFiled : m_report.logsLeft);
    }

private:
    Step& add(StepKind kind, Reason reason, const fs::path& source, const fs::path& dest = {}) {
        Step s;
        s.kind = kind;
        s.reason = reason;
        s.source = source;
        s.destination = dest;
        m_report.steps.push_back(std::move(s));
        return m_report.steps.back();
    }

    // Records the outcome of placing one file; true when the file is now there.
    bool record(const PlaceResult& r, StepKind done, const fs::path& source, const fs::path& dest) {
        switch (r.status) {
        case PlaceStatus::Placed:
            add(done, Reason::None, source, dest);
            return true;
        case PlaceStatus::AlreadyThere:
            add(done == StepKind::Move ? StepKind::Move : StepKind::Skip,
                done == StepKind::Move ? Reason::None : Reason::AlreadyThere, source, dest);
            return true;
        case PlaceStatus::Conflict:
            add(StepKind::Conflict, Reason::DifferentFile, source, dest);
            return false;
        case PlaceStatus::Failed:
            break;
        }
        add(StepKind::Fail, Reason::NotDone, source, dest).error = r.error;
        return false;
    }

    bool ensureFolder(const LogPlan& log, const fs::path& dir) {
        std::string error;
        if (m_ops.folder(m_plan.folder / dir, error))
            return true;
        Step& s = add(StepKind::Fail, Reason::FolderNotCreated, log.log, dir);
        s.error = error;
        noteFolder(dir);
        return false;
    }

    void noteFolder(const fs::path& dir) {
        auto& list = m_report.foldersNotCreated;
        if (std::find(list.begin(), list.end(), dir) == list.end())
            list.push_back(dir);
    }

    // The log, then its picture, copied into the folder; the picture only follows a log
    // that is there.
    bool copyInto(const LogPlan& log, const fs::path& dir) {
        const fs::path& root = m_plan.folder;
        if (!record(m_ops.copy(root / log.log, root / dir / log.log), StepKind::Copy, log.log,
                    dir / log.log))
            return false;
        if (log.picture.empty())
            return true;
        return record(m_ops.copy(root / log.picture, root / dir / log.picture), StepKind::Copy,
                      log.picture, dir / log.picture);
    }

    // Both files are given their new names first; then the picture's old name goes, and
    // the log's last, so that a run stopped anywhere in between still finds the log in the
    // send log folder and does the rest.
    bool moveInto(const LogPlan& log, const fs::path& dir) {
        const fs::path& root = m_plan.folder;
        const bool picture = !log.picture.empty();
        const FileCompare before = picture
                                       ? compareFiles(root / log.picture, root / dir / log.picture)
                                       : FileCompare::Absent;
        if (before == FileCompare::Different || before == FileCompare::Unreadable)
            return copyInto(log, dir); // the picture cannot follow: serve the folder, keep both
        PlaceResult r = m_ops.link(root / log.log, root / dir / log.log);
        if (r.status != PlaceStatus::Placed && r.status != PlaceStatus::AlreadyThere)
            return record(r, StepKind::Move, log.log, dir / log.log);
        if (picture) {
            const PlaceResult p = m_ops.link(root / log.picture, root / dir / log.picture);
            if (p.status != PlaceStatus::Placed && p.status != PlaceStatus::AlreadyThere) {
                record(r, StepKind::Copy, log.log, dir / log.log);
                return record(p, StepKind::Move, log.picture, dir / log.picture);
            }
            std::string error;
            if (!m_ops.remove(root / log.picture, error)) {
                record(r, StepKind::Copy, log.log, dir / log.log);
                add(StepKind::Fail, Reason::NotDone, log.picture, dir / log.picture).error = error;
                return false;
            }
        }
        std::string error;
        if (!m_ops.remove(root / log.log, error)) {
            record(r, StepKind::Copy, log.log, dir / log.log);
            add(StepKind::Fail, Reason::NotDone, log.log, dir / log.log).error = error;
            return false;
        }
        add(StepKind::Move, Reason::None, log.log, dir / log.log);
        if (picture)
            add(StepKind::Move, Reason::None, log.picture, dir / log.picture);
        return true;
    }

    const Plan& m_plan;
    Ops& m_ops;
    Report& m_report;
};

Report run(const Plan& plan, Ops& ops, bool removeLeftovers, const Progress& progress) {
    Report report;
    for (const fs::path& temp : plan.leftovers) {
        Step s;
        s.kind = StepKind::Clean;
        s.source = temp;
        std::string error;
        if (removeLeftovers && !removeFile(plan.folder / temp, progress, error)) {
            s.kind = StepKind::Fail;
            s.reason = Reason::NotDone;
            s.error = error;
        }
        report.steps.push_back(std::move(s));
    }
    Sorter sorter(plan, ops, report);
    for (const LogPlan& log : plan.logs)
        sorter.sortLog(log);
    return report;
}

} // namespace

Report previewPlan(const Plan& plan) {
    PreviewOps ops;
    return run(plan, ops, false, {});
}

Report carryOutPlan(const Plan& plan, const Progress& progress) {
    RealOps ops(plan.folder, progress);
    return run(plan, ops, true, progress);
}

} // namespace zp::logsort
