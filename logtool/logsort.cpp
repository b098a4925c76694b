#include "logsort.h"

#include "addressbook/addrentry.h"

#include "fileio/fileio.h"

#include <algorithm>
#include <system_error>
#include <type_traits>

namespace zp::logsort {
namespace {

// The extension of a file name in ASCII lower case; empty when it holds anything else.
std::string asciiName(const fs::path& name) {
    std::string out;
    for (auto c : name.native()) {
        const auto u = static_cast<std::make_unsigned_t<fs::path::value_type>>(c);
        if (u == 0 || u >= 0x80)
            return {};
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// Hidden and system files are none of the tool's business, nor are links: the tool only
// ever handles plain files that lie in the folder itself.
bool isCandidate(const fileio::FolderEntry& entry) {
    const auto& name = entry.name.native();
    return entry.info.kind == fileio::FileKind::File && !entry.info.hidden && !name.empty() &&
           name[0] != '.';
}

std::optional<SendLogForm> formOf(const fs::path& name) {
    const std::string ext = asciiName(name.extension());
    return ext.empty() ? std::nullopt : sendLogFormOf("x" + ext);
}

// The recipients of one log, one per folder, as the tool will serve them.
std::vector<Recipient> recipientsOf(const fs::path& folder,
                                    const std::vector<std::string>& entries) {
    std::vector<Recipient> out;
    for (const std::string& entry : entries) {
        Recipient r;
        r.name = parseAddrEntry(entry).name;
        if (r.name.empty())
            r.name = std::string(kNoNameFolder);
        fs::path component;
        r.check = checkFolderName(r.name, component);
        if (r.check == FolderNameCheck::Ok) {
            std::error_code ec;
            const fileio::FileKind kind = fileio::fileInfo(folder / component, ec).kind;
            // A file, or a link that could lead out of the folder.
            r.notAFolder = kind != fileio::FileKind::None && kind != fileio::FileKind::Folder;
            r.folder = component;
        }
        // Of recipients sharing a folder (or a refused name), the later one counts.
        std::erase_if(out, [&](const Recipient& o) {
            return r.folder.empty() ? o.folder.empty() && o.name == r.name : o.folder == r.folder;
        });
        out.push_back(std::move(r));
    }
    return out;
}

LogPlan planLog(const fs::path& folder, const fs::path& name, SendLogForm form,
                const std::vector<fs::path>& claimedPictures) {
    LogPlan log;
    log.log = name;
    fileio::InputFile in(folder / name);
    const SendLogRecipients read =
        in ? readSendLogRecipients(in, form) : SendLogRecipients{RecipientsStatus::ReadFailed, {}};
    log.read = read.status;
    if (read.status == RecipientsStatus::Ok)
        log.recipients = recipientsOf(folder, read.entries);
    fs::path picture = name;
    picture.replace_extension(".jpg");
    std::error_code ec;
    // "x.html" and "x.txt" of one second share "x.jpg": it goes with the first of them.
    if (fileio::fileInfo(folder / picture, ec).kind == fileio::FileKind::File &&
        std::find(claimedPictures.begin(), claimedPictures.end(), picture) == claimedPictures.end())
        log.picture = picture;
    return log;
}

void listLeftovers(const fs::path& folder, std::vector<fs::path>& out) {
    std::error_code ec;
    auto scan = [&](const std::vector<fileio::FolderEntry>& entries, const fs::path& relative) {
        for (const fileio::FolderEntry& e : entries)
            if (isTemporaryName(e.name) && e.info.kind == fileio::FileKind::File)
                out.push_back(relative / e.name);
    };
    const std::vector<fileio::FolderEntry> top = fileio::listFolder(folder, ec);
    scan(top, {});
    for (const fileio::FolderEntry& e : top)
        if (e.info.kind == fileio::FileKind::Folder)
            scan(fileio::listFolder(folder / e.name, ec), e.name);
    std::sort(out.begin(), out.end());
}

} // namespace

PlanError makePlan(const fs::path& folder, Plan& plan, std::string& error) {
    plan = Plan{};
    // "logs/" and "logs" are one folder; destinations are built and checked as folder/name.
    plan.folder = folder.lexically_normal();
    if (!plan.folder.has_filename() && plan.folder.has_relative_path())
        plan.folder = plan.folder.parent_path();
    if (folder.empty() || !fileio::isFolder(folder)) {
        error = displayPath(folder) + ": not a folder";
        return PlanError::NotAFolder;
    }
    std::vector<fs::path> html, text;
    std::error_code ec;
    for (const fileio::FolderEntry& e : fileio::listFolder(folder, ec)) {
        if (!isCandidate(e))
            continue;
        if (auto form = formOf(e.name))
            (*form == SendLogForm::Html ? html : text).push_back(e.name);
    }
    if (ec) {
        error = displayPath(folder) + ": " + ec.message();
        return PlanError::Unreadable;
    }
    // Any order serves as long as HTML logs come first; a sorted one reads best.
    std::sort(html.begin(), html.end());
    std::sort(text.begin(), text.end());
    std::vector<fs::path> claimed;
    for (const auto* list : {&html, &text})
        for (const fs::path& name : *list) {
            plan.logs.push_back(planLog(plan.folder, name, *formOf(name), claimed));
            if (!plan.logs.back().picture.empty())
                claimed.push_back(plan.logs.back().picture);
        }
    listLeftovers(plan.folder, plan.leftovers);
    return PlanError::None;
}

int Report::count(StepKind kind) const {
    return static_cast<int>(
        std::count_if(steps.begin(), steps.end(), [&](const Step& s) { return s.kind == kind; }));
}

} // namespace zp::logsort
