// The alert sounds' choice between file, beep and silence, against real
// files, and the output's promise to return at once whatever the device.
#include "check.h"
#include "check_files.h"

#include "system/alert_sound.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace fs = std::filesystem;
using platform::AlertDecision;

namespace {

const char *const SoundFiles[] = {"erro.wav", "exclama.wav", "questao.wav", "info.wav"};

// A short, valid PCM WAV file: 8 kHz, 8 bits, mono, 50 ms of a square wave.
std::string tinyWav()
{
    const std::uint32_t samples = 400;
    auto le = [](std::uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    std::string w = "RIFF" + le(36 + samples, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4)
                    + le(8000, 4) + le(1, 2) + le(8, 2) + "data" + le(samples, 4);
    for (std::uint32_t i = 0; i < samples; ++i)
        w += static_cast<char>((i / 8) % 2 ? 0xC0 : 0x40);
    return w;
}

void installSounds(const fs::path &folder, int count)
{
    for (int i = 0; i < count; ++i)
        platform_check::writeFile(folder / SoundFiles[i], tinyWav());
}

std::string describe(const AlertDecision &d)
{
    switch (d.output) {
    case AlertDecision::PlayFile: return "file " + d.file.filename().string();
    case AlertDecision::Beep: return "beep " + std::to_string(d.beep);
    default: return "silence";
    }
}

std::vector<std::string> allKinds(const fs::path &folder, bool muted = false)
{
    std::vector<std::string> out;
    for (unsigned char kind = 0; kind <= 5; ++kind)
        out.push_back(describe(platform::ChooseAlertSound(kind, folder, muted)));
    return out;
}

std::string joined(const std::vector<std::string> &v)
{
    std::string s;
    for (const auto &e : v)
        s += (s.empty() ? "" : ", ") + e;
    return s;
}

} // namespace

PLATFORM_CHECK("alert sound: all four files play the kind's file")
{
    platform_check::TempFolder folder("sound");
    installSounds(folder.path(), 4);
    CHECK_EQ(joined(allKinds(folder.path())),
             "file info.wav, file questao.wav, file exclama.wav, file erro.wav, file exclama.wav, silence");
    CHECK(platform::ChooseAlertSound(3, folder.path()).file == folder.path() / "erro.wav");
}

PLATFORM_CHECK("alert sound: with a file missing every kind beeps, even one whose file exists")
{
    platform_check::TempFolder folder("sound");
    const std::string beeps = "beep 0, beep 64, beep 48, beep 16, beep 48, silence";
    CHECK_EQ(joined(allKinds(folder.path())), beeps);
    installSounds(folder.path(), 3); // info.wav missing
    CHECK_EQ(joined(allKinds(folder.path())), beeps);
    // A folder that carries a sound file's name is no sound file.
    fs::create_directory(folder.path() / "info.wav");
    CHECK_EQ(joined(allKinds(folder.path())), beeps);
}

PLATFORM_CHECK("alert sound: nosound.dat and the switch silence everything")
{
    platform_check::TempFolder folder("sound");
    installSounds(folder.path(), 4);
    const std::string silence = "silence, silence, silence, silence, silence, silence";
    CHECK_EQ(joined(allKinds(folder.path(), true)), silence);
    platform_check::writeFile(folder.path() / "nosound.dat", "");
    CHECK_EQ(joined(allKinds(folder.path())), silence);
    // Nothing is cached: removing the switch file brings the sounds back.
    fs::remove(folder.path() / "nosound.dat");
    CHECK_EQ(describe(platform::ChooseAlertSound(0, folder.path())), "file info.wav");
}

PLATFORM_CHECK("alert sound: the folder, and the drive's SISTEMAS folder under a debugger")
{
#ifdef _WIN32
    const fs::path exeFolder = L"C:\\Apps\\Sync\\";
    CHECK_EQ(platform::AlertSoundFolder(exeFolder, true).string(), "C:\\SISTEMAS\\");
    CHECK_EQ(platform::AlertSoundFolder(L"D:\\Apps", false).string(), "D:\\Apps\\");
#else
    const fs::path exeFolder = "/opt/apps/sync/";
    CHECK_EQ(platform::AlertSoundFolder(exeFolder, true).string(), "/SISTEMAS/");
    CHECK_EQ(platform::AlertSoundFolder("/opt/apps", false).string(), "/opt/apps/");
#endif
    CHECK(platform::AlertSoundFolder(exeFolder, false) == exeFolder);
}

PLATFORM_CHECK("alert sound: the recorder sees each alert's decision")
{
    platform_check::TempFolder folder("sound");
    std::vector<std::string> heard;
    platform::SetAlertRecorder([&](const AlertDecision &d) { heard.push_back(describe(d)); });
    platform::PlayAlertSoundFrom(2, folder.path());
    installSounds(folder.path(), 4);
    platform::PlayAlertSoundFrom(2, folder.path());
    platform::PlayAlertSoundFrom(7, folder.path());
    platform::SetAlertRecorder(nullptr);
    if (!platform::RunningUnderDebugger())
        CHECK_EQ(joined(heard), "beep 48, file exclama.wav, silence");
}

PLATFORM_CHECK("alert sound: the output returns at once, playable file or not")
{
    platform_check::TempFolder folder("sound");
    installSounds(folder.path(), 4);
    platform_check::writeFile(folder.path() / "broken.wav", "not a sound");
    const auto start = std::chrono::steady_clock::now();
    platform::OutputAlert(platform::ChooseAlertSound(0, folder.path()));
    // A new sound cuts off the one still playing.
    platform::OutputAlert(platform::ChooseAlertSound(3, folder.path()));
    platform::OutputAlert({AlertDecision::PlayFile, folder.path() / "broken.wav", 0});
    platform::OutputAlert({AlertDecision::PlayFile, folder.path() / "missing.wav", 0});
    platform::OutputAlert({AlertDecision::Beep, {}, platform::BeepHand});
    platform::OutputAlert({});
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
}
