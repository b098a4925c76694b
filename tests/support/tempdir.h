#pragma once
// A fresh private folder under the system's temporary folder for one test, removed with
// everything in it at the end.
#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zp::test {

class TempDir {
public:
    explicit TempDir(const std::string& stem = "zp-test-") {
#ifdef _WIN32
        // No mkdtemp: a name from the clock and a counter, made with a call that fails when
        // the folder exists already.
        static unsigned counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto name = stem + std::to_string(::GetCurrentProcessId()) + "-" +
                              std::to_string(::GetTickCount64() % 1000000) + "-" +
                              std::to_string(counter++);
            if (::CreateDirectoryW((base / name).wstring().c_str(), nullptr)) {
                m_path = base / name;
                return;
            }
        }
        throw std::runtime_error("cannot make a temporary folder in " + base.string());
#else
        std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        m_path = pattern;
#endif
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
