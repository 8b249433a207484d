#include "system/alert_sound.h"

#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {
// Only files count, as with the Windows FileExists; a folder of that name does not.
bool fileExists(const fs::path &path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    return !ec && fs::exists(st) && !fs::is_directory(st);
}

AlertRecorder &recorder()
{
    static AlertRecorder r;
    return r;
}
} // namespace

fs::path AlertSoundFolder(const fs::path &executableFolder, bool underDebugger)
{
    fs::path folder = underDebugger ? executableFolder.root_path() / "SISTEMAS" : executableFolder;
    folder /= ""; // trailing separator, as the file names are appended to it
    return folder;
}

AlertDecision ChooseAlertSound(unsigned char kind, const fs::path &folder, bool muted)
{
    AlertDecision d;
    if (muted || kind > 4 || fileExists(folder / "nosound.dat"))
        return d;
    static const char *const files[] = {"info.wav", "questao.wav", "exclama.wav", "erro.wav", "exclama.wav"};
    static const unsigned beeps[] = {BeepOk, BeepAsterisk, BeepExclamation, BeepHand, BeepExclamation};
    // The sounds are an installed set: with one missing, every kind beeps.
    const bool allFour = fileExists(folder / "erro.wav") && fileExists(folder / "exclama.wav")
                         && fileExists(folder / "questao.wav") && fileExists(folder / "info.wav");
    if (allFour) {
        d.output = AlertDecision::PlayFile;
        d.file = folder / files[kind];
    } else {
        d.output = AlertDecision::Beep;
        d.beep = beeps[kind];
    }
    return d;
}

void PlayAlertSoundFrom(unsigned char kind, const fs::path &executableFolder)
{
    try {
        const AlertDecision d = ChooseAlertSound(kind, AlertSoundFolder(executableFolder, RunningUnderDebugger()));
        if (recorder())
            recorder()(d);
        else if (d.output != AlertDecision::Silence)
            OutputAlert(d);
    } catch (...) {
        // An alert never stands in the way of its message.
    }
}

void SetAlertRecorder(AlertRecorder r)
{
    recorder() = std::move(r);
}

} // namespace platform
