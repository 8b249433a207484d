// A test program started by hand, outside CTest, gets what CTest gives it:
// the offscreen platform, so that no display is needed and no window shows,
// and the paths that tests/CMakeLists.txt writes beside the test programs.
// Whatever the caller has set wins.
#include <QByteArray>
#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

void FillTestEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef __linux__
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return;
    std::ifstream file(self.parent_path() / "test-environment.txt");
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = line.substr(0, equals);
        if (qEnvironmentVariableIsEmpty(name.c_str()))
            qputenv(name.c_str(), QByteArray::fromStdString(line.substr(equals + 1)));
    }
#endif
}

} // namespace

// Before main(), so before the application object picks its platform.
Q_CONSTRUCTOR_FUNCTION(FillTestEnvironment)
