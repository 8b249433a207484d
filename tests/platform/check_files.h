#pragma once
// File helpers for the platform checks, on Windows and POSIX alike.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace platform_check {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the check.
class TempFolder
{
public:
    explicit TempFolder(const std::string &tag)
    {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = std::filesystem::temp_directory_path() / ("catraca-" + tag + "-" + std::to_string(stamp));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path &file, const std::string &content)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

inline std::string readFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace platform_check
