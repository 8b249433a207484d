#include "system/alert_sound.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform {

bool RunningUnderDebugger()
{
    return IsDebuggerPresent() != FALSE;
}

void OutputAlert(const AlertDecision &decision)
{
    switch (decision.output) {
    case AlertDecision::PlayFile:
        // Asynchronous, and silent rather than the default sound when the file
        // cannot be played; a new sound replaces the one still playing.
        PlaySoundW(decision.file.c_str(), nullptr, SND_ASYNC | SND_NODEFAULT);
        break;
    case AlertDecision::Beep:
        MessageBeep(decision.beep);
        break;
    case AlertDecision::Silence:
        break;
    }
}

} // namespace platform
