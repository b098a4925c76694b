#pragma once
// A fresh private folder under the system's temporary folder for one test, removed with
// everything in it at the end.
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zp::test {

class TempDir {
public:
    explicit TempDir(const std::string& stem = "zp-test-") {
        std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace zp::test
