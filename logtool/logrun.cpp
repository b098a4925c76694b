// Carrying out a sorting plan, or foretelling what carrying it out would do: both walk the
// plan with the same steps, one with the real file operations, one with mere comparisons.
#include "logsort.h"

#include "fileio/fileio.h"

#include <algorithm>
#include <iterator>
#include <map>
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
        const fileio::FileKind kind = fileio::fileInfo(dir, ec).kind;
        if (kind == fileio::FileKind::Folder || kind == fileio::FileKind::None)
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
    RealOps(const fs::path& root, const Watch& watch)
        : m_root(root), m_rootId(fileio::fileId(root)), m_watch(watch) {}
    bool folder(const fs::path& dir, std::string& error) override {
        if (!inside(dir)) {
            error = displayPath(dir) + ": outside the send log folder";
            return false;
        }
        return ensureFolder(dir, m_watch, error) && safeFolder(dir, error);
    }
    PlaceResult copy(const fs::path& source, const fs::path& destination) override {
        std::string error;
        if (!safeFolder(destination.parent_path(), error))
            return {PlaceStatus::Failed, error};
        const auto staged = m_staged.find(destination);
        if (staged == m_staged.end())
            return placeCopy(source, destination, m_watch);
        const fs::path temp = staged->second;
        m_staged.erase(staged);
        return placeStaged(temp, source, destination, m_watch);
    }
    PlaceResult link(const fs::path& source, const fs::path& destination) override {
        std::string error;
        if (!safeFolder(destination.parent_path(), error))
            return {PlaceStatus::Failed, error};
        m_touched.push_back(destination.parent_path());
        return placeLink(source, destination, m_watch, false);
    }
    bool remove(const fs::path& file, std::string& error) override {
        return removeFile(file, m_watch, error);
    }

    // Writes a copy into a temporary file beside destination, to be made durable with the
    // rest of the batch and given its name by copy().
    void stage(const fs::path& source, const fs::path& destination) {
        std::string error;
        fs::path temp;
        if (safeFolder(destination.parent_path(), error) &&
            stageCopy(source, destination, temp, m_watch, error)) {
            m_staged[destination] = temp;
            m_touched.push_back(destination.parent_path());
        }
    }
    // One sync for every copy staged; copies that could not be made durable are dropped
    // and made one by one instead.
    void syncStaged() {
        std::string error;
        if (!m_staged.empty() && !syncFileSystems(m_touched, m_watch, error))
            dropStaged();
    }
    // One sync for every new name of the batch, before any source goes.
    bool syncNames(std::string& error) {
        m_touched.push_back(m_root);
        const bool ok = syncFileSystems(m_touched, m_watch, error);
        m_touched.clear();
        return ok;
    }
    // Staged copies no log took (a cancelled batch): removed.
    void dropStaged() {
        for (const auto& [destination, temp] : m_staged) {
            std::string error;
            removeFile(temp, m_watch, error);
        }
        m_staged.clear();
    }

private:
    bool inside(const fs::path& dir) const {
        const fs::path name = dir.filename();
        return dir.parent_path() == m_root && !name.empty() && name != "." && name != "..";
    }
    bool safeFolder(const fs::path& dir, std::string& error) const {
        if (!inside(dir) || !isOwnFolder(dir)) {
            error = displayPath(dir) + ": not a folder inside the send log folder";
            return false;
        }
        return true;
    }

    // A folder itself (no link, no junction) whose parent is the very folder the run began
    // in, even if a folder on the way there was swapped meanwhile: two looks instead of
    // resolving the whole path once more for every file. (On Windows ".." is taken by name,
    // so there it is the send log folder's own path that must still lead to that folder.)
    bool isOwnFolder(const fs::path& dir) const {
        std::error_code ec;
        return fileio::fileInfo(dir, ec).kind == fileio::FileKind::Folder && m_rootId.known &&
               fileio::fileId(dir / "..") == m_rootId;
    }

    fs::path m_root;
    fileio::FileId m_rootId;
    const Watch& m_watch;
    std::map<fs::path, fs::path> m_staged; // destination -> its staged copy
    std::vector<fs::path> m_touched;       // folders given new files since the last sync
};

// The first pass over a batch: walks the logs as the real run will, creating the folders
// and staging every copy, while links and removals wait for the second pass.
class StagingOps final : public Ops {
public:
    explicit StagingOps(RealOps& real) : m_real(real) {}
    bool folder(const fs::path& dir, std::string& error) override {
        return m_real.folder(dir, error);
    }
    PlaceResult copy(const fs::path& source, const fs::path& destination) override {
        const PlaceResult r = m_preview.copy(source, destination);
        if (r.status == PlaceStatus::Placed)
            m_real.stage(source, destination);
        return r;
    }
    PlaceResult link(const fs::path& source, const fs::path& destination) override {
        return m_preview.link(source, destination);
    }
    bool remove(const fs::path&, std::string&) override { return true; }

private:
    RealOps& m_real;
    PreviewOps m_preview;
};

class Sorter {
public:
    Sorter(const Plan& plan, Ops& ops, Report& report)
        : m_plan(plan), m_ops(ops), m_report(report) {}

    // Moves leave their sources in place until finishBatch.
    void deferRemovals() { m_defer = true; }

    // The deferred removals, in order, once the new names are durable (`syncError` empty);
    // after a failed sync every source stays and its log is reported as left. The steps of
    // each move go where the move was begun.
    void finishBatch(std::size_t batchStart, const std::string& syncError) {
        std::vector<Step>& steps = m_report.steps;
        std::vector<Step> tail(std::make_move_iterator(steps.begin() + batchStart),
                               std::make_move_iterator(steps.end()));
        steps.resize(batchStart);
        std::size_t t = 0;
        for (const Pending& p : m_pending) {
            while (batchStart + t < p.at)
                steps.push_back(std::move(tail[t++]));
            if (!removeSources(*p.log, p.dir, p.linked, syncError)) {
                --m_report.logsFiled;
                ++m_report.logsLeft;
            }
        }
        while (t < tail.size())
            steps.push_back(std::move(tail[t++]));
        m_pending.clear();
    }

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
        }
        if (m_defer) {
            m_pending.push_back({&log, dir, r, m_report.steps.size()});
            return true;
        }
        return removeSources(log, dir, r, {});
    }

    // The picture's old name goes first and the log's last; records the move, or the copy
    // and what could not be removed.
    bool removeSources(const LogPlan& log, const fs::path& dir, const PlaceResult& linked,
                       const std::string& syncError) {
        const fs::path& root = m_plan.folder;
        for (const fs::path* source : {&log.picture, &log.log}) {
            if (source->empty())
                continue;
            std::string error = syncError;
            if (error.empty() && m_ops.remove(root / *source, error))
                continue;
            record(linked, StepKind::Copy, log.log, dir / log.log);
            add(StepKind::Fail, Reason::NotDone, *source, dir / *source).error = error;
            return false;
        }
        add(StepKind::Move, Reason::None, log.log, dir / log.log);
        if (!log.picture.empty())
            add(StepKind::Move, Reason::None, log.picture, dir / log.picture);
        return true;
    }

    struct Pending {
        const LogPlan* log;
        fs::path dir;
        PlaceResult linked;
        std::size_t at; // where its steps go
    };

    const Plan& m_plan;
    Ops& m_ops;
    Report& m_report;
    bool m_defer = false;
    std::vector<Pending> m_pending;
};

void cleanLeftovers(const Plan& plan, bool remove, const Watch& watch, Report& report) {
    for (const fs::path& temp : plan.leftovers) {
        Step s;
        s.kind = StepKind::Clean;
        s.source = temp;
        std::string error;
        if (remove && !removeFile(plan.folder / temp, watch, error)) {
            s.kind = StepKind::Fail;
            s.reason = Reason::NotDone;
            s.error = error;
        }
        report.steps.push_back(std::move(s));
    }
}

bool cancelled(const RunControl& control) {
    return control.cancel && control.cancel->load();
}

// One batch: its copies staged and synced together, then the links and copies put in place
// and synced together, and only then the sources of its moves removed. Returns the index of
// the first log not handled (`end`, or earlier when the run was cancelled).
std::size_t sortBatch(const Plan& plan, std::size_t begin, std::size_t end, RealOps& real,
                      Sorter& sorter, Report& report, const RunControl& control) {
    {
        Report scratch;
        StagingOps staging(real);
        Sorter stager(plan, staging, scratch);
        for (std::size_t i = begin; i < end; ++i)
            stager.sortLog(plan.logs[i]);
    }
    real.syncStaged();
    const std::size_t batchStart = report.steps.size();
    std::size_t i = begin;
    for (; i < end && !cancelled(control); ++i)
        sorter.sortLog(plan.logs[i]);
    real.dropStaged();
    std::string error;
    real.syncNames(error);
    sorter.finishBatch(batchStart, error);
    return i;
}

} // namespace

Report previewPlan(const Plan& plan) {
    Report report;
    cleanLeftovers(plan, false, {}, report);
    PreviewOps ops;
    Sorter sorter(plan, ops, report);
    for (const LogPlan& log : plan.logs)
        sorter.sortLog(log);
    return report;
}

Report carryOutPlan(const Plan& plan, const RunControl& control) {
    Report report;
    const Watch watch{control.progress, control.journal};
    cleanLeftovers(plan, true, watch, report);
    RealOps real(plan.folder, watch);
    Sorter sorter(plan, real, report);
    sorter.deferRemovals();
    const std::size_t planned = plan.logs.size();
    const std::size_t batch = std::max<std::size_t>(control.batchLogs, 1);
    std::size_t done = 0;
    while (done < planned && !cancelled(control)) {
        const std::size_t end = std::min(planned, done + batch);
        const std::size_t reached = sortBatch(plan, done, end, real, sorter, report, control);
        done = reached;
        if (control.logsDone)
            control.logsDone(static_cast<int>(done), static_cast<int>(planned));
        if (reached < end)
            break;
    }
    report.cancelled = done < planned;
    report.logsNotReached = static_cast<int>(planned - done);
    return report;
}

Report carryOutPlan(const Plan& plan, const Progress& progress) {
    RunControl control;
    control.progress = progress;
    return carryOutPlan(plan, control);
}

} // namespace zp::logsort
