#pragma once
// Converting many files on several threads, with each file's lines kept together and printed
// in the order the files were given.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zp::cli {

// What one file's conversion printed, in order; written out only when its turn comes.
class FileReport {
public:
    void out(std::string line) { m_lines.push_back({false, std::move(line)}); }
    void err(std::string line) { m_lines.push_back({true, std::move(line)}); }
    // Writes the lines to stdout and stderr, flushing between the two so that a terminal that
    // shows both keeps their order.
    void print() const;

private:
    struct Line {
        bool toStderr;
        std::string text; // with its line end
    };
    std::vector<Line> m_lines;
};

// Converts files 0..count-1 with `convert` on up to `jobs` threads. Files sharing a `group` key
// (the same output file) are converted one after another in their order, on one thread, since
// whether a later one may be written depends on how the earlier one went. Each file's report
// is printed as soon as it and every file before it are done. True when every call was true.
bool runBatch(std::size_t count, int jobs, const std::function<std::string(std::size_t)>& group,
              const std::function<bool(std::size_t, FileReport&)>& convert);

// The number of threads to use when none is asked for: one per core.
int defaultJobs();

} // namespace zp::cli
