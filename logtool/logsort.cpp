#include "logsort.h"

#include "addressbook/addrentry.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <type_traits>

#ifdef _WIN32
#include "fileio/fileio.h"

#include <windows.h>
#endif

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
bool isCandidate(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!fs::is_regular_file(entry.symlink_status(ec)))
        return false;
    const fs::path name = entry.path().filename();
    if (name.native().empty() || name.native()[0] == '.')
        return false;
#ifdef _WIN32
    const DWORD attrs = GetFileAttributesW(fileio::win32Path(entry.path()).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES ||
        (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0)
        return false;
#endif
    return true;
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
            const fs::file_status st = fs::symlink_status(folder / component, ec);
            // A file, or a link that could lead out of the folder.
            r.notAFolder = fs::exists(st) && !fs::is_directory(st);
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
    std::ifstream in(folder / name, std::ios::binary);
    const SendLogRecipients read =
        in ? readSendLogRecipients(in, form) : SendLogRecipients{RecipientsStatus::ReadFailed, {}};
    log.read = read.status;
    if (read.status == RecipientsStatus::Ok)
        log.recipients = recipientsOf(folder, read.entries);
    fs::path picture = name;
    picture.replace_extension(".jpg");
    std::error_code ec;
    // "x.html" and "x.txt" of one second share "x.jpg": it goes with the first of them.
    if (fs::is_regular_file(fs::symlink_status(folder / picture, ec)) &&
        std::find(claimedPictures.begin(), claimedPictures.end(), picture) == claimedPictures.end())
        log.picture = picture;
    return log;
}

void listLeftovers(const fs::path& folder, std::vector<fs::path>& out) {
    std::error_code ec;
    auto scan = [&](const fs::path& dir, const fs::path& relative) {
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            std::error_code ec2;
            if (isTemporaryName(e.path().filename()) && fs::is_regular_file(e.symlink_status(ec2)))
                out.push_back(relative / e.path().filename());
        }
    };
    scan(folder, {});
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        std::error_code ec2;
        if (fs::is_directory(e.symlink_status(ec2)))
            scan(e.path(), e.path().filename());
    }
    std::sort(out.begin(), out.end());
}

} // namespace

PlanError makePlan(const fs::path& folder, Plan& plan, std::string& error) {
    plan = Plan{};
    // "logs/" and "logs" are one folder; destinations are built and checked as folder/name.
    plan.folder = folder.lexically_normal();
    if (!plan.folder.has_filename() && plan.folder.has_relative_path())
        plan.folder = plan.folder.parent_path();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        error = displayPath(folder) + ": not a folder";
        return PlanError::NotAFolder;
    }
    std::vector<fs::path> html, text;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (!isCandidate(*it))
            continue;
        const fs::path name = it->path().filename();
        if (auto form = formOf(name))
            (*form == SendLogForm::Html ? html : text).push_back(name);
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
