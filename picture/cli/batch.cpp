#include "picture/cli/batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace zp::cli {

void FileReport::print() const {
    bool lastWasErr = false;
    for (const Line& line : m_lines) {
        if (line.toStderr != lastWasErr)
            std::fflush(line.toStderr ? stdout : stderr);
        std::fputs(line.text.c_str(), line.toStderr ? stderr : stdout);
        lastWasErr = line.toStderr;
    }
    std::fflush(stdout);
    std::fflush(stderr);
}

int defaultJobs() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

// The files in groups of the same key, each group in argument order, the groups in the order of
// their first file.
std::vector<std::vector<std::size_t>>
groupFiles(std::size_t count, const std::function<std::string(std::size_t)>& group) {
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::string, std::size_t> byKey;
    for (std::size_t i = 0; i < count; ++i) {
        const auto [at, added] = byKey.try_emplace(group(i), groups.size());
        if (added)
            groups.emplace_back();
        groups[at->second].push_back(i);
    }
    return groups;
}

// One at a time: each file is printed as soon as it is converted.
bool runInOrder(std::size_t count, const std::function<bool(std::size_t, FileReport&)>& convert) {
    bool allOk = true;
    for (std::size_t i = 0; i < count; ++i) {
        FileReport report;
        allOk = convert(i, report) && allOk;
        report.print();
    }
    return allOk;
}

} // namespace

bool runBatch(std::size_t count, int jobs, const std::function<std::string(std::size_t)>& group,
              const std::function<bool(std::size_t, FileReport&)>& convert) {
    const auto groups = groupFiles(count, group);
    std::vector<FileReport> reports(count);
    std::vector<char> done(count, 0);
    std::vector<char> ok(count, 0);
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t nextGroup = 0;

    const auto work = [&] {
        for (;;) {
            std::size_t g;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (nextGroup == groups.size())
                    return;
                g = nextGroup++;
            }
            for (const std::size_t i : groups[g]) {
                FileReport report;
                const bool converted = convert(i, report);
                const std::lock_guard<std::mutex> lock(mutex);
                reports[i] = std::move(report);
                ok[i] = converted;
                done[i] = 1;
                finished.notify_all();
            }
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), groups.size());
    if (threads <= 1)
        return runInOrder(count, convert);
    std::vector<std::thread> workers;
    try {
        for (std::size_t t = 0; t < threads; ++t)
            workers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those that started share the files; with none, this one
        // converts them before printing.
        if (workers.empty())
            work();
    }

    bool allOk = true;
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return done[i] != 0; });
        const FileReport report = std::move(reports[i]);
        allOk = allOk && ok[i];
        lock.unlock();
        report.print();
    }
    for (std::thread& worker : workers)
        worker.join();
    return allOk;
}

} // namespace zp::cli
