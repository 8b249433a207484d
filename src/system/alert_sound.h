#pragma once
// Alert sounds of the message dialogs, without Qt: the choice between a sound
// file, the kind's beep and silence is made here for every platform; the
// output itself is per platform (alert_sound_win.cpp, alert_sound_posix.cpp).
#include <filesystem>
#include <functional>

// Process-wide switch that silences every alert. Nothing in the program turns
// it on; it is there for embedders and tests.
inline bool AlertsMuted = false;

namespace platform {

// The system beeps, with the values of the Windows MessageBeep types.
enum AlertBeep : unsigned {
    BeepOk = 0x00,          // MB_OK
    BeepHand = 0x10,        // MB_ICONHAND
    BeepExclamation = 0x30, // MB_ICONEXCLAMATION
    BeepAsterisk = 0x40,    // MB_ICONASTERISK
};

struct AlertDecision {
    enum Output { Silence, PlayFile, Beep };
    Output output = Silence;
    std::filesystem::path file; // PlayFile: the WAV file
    unsigned beep = BeepOk;     // Beep: the kind's beep
};

// The folder the sound files are looked for in: the executable's folder or,
// under a debugger, the "SISTEMAS" folder at the root of its drive.
std::filesystem::path AlertSoundFolder(const std::filesystem::path &executableFolder, bool underDebugger);

// What an alert of kind (0 information .. 4 warning question) does with the
// files now in folder. Nothing is cached: every alert looks again.
AlertDecision ChooseAlertSound(unsigned char kind, const std::filesystem::path &folder, bool muted = AlertsMuted);

// Chooses and outputs (or hands to the recorder) the alert of kind.
void PlayAlertSoundFrom(unsigned char kind, const std::filesystem::path &executableFolder);

// Tests see the decisions here instead of hearing them; an empty function
// restores the speaker.
using AlertRecorder = std::function<void(const AlertDecision &)>;
void SetAlertRecorder(AlertRecorder recorder);

// Per platform.
bool RunningUnderDebugger();
// Starts the output and returns at once; a new sound cuts off the one
// still playing. Never fails, never waits for a device.
void OutputAlert(const AlertDecision &decision);

} // namespace platform
