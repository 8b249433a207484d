#include "system/alert_sound.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>

#ifdef CATRACA_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace platform {

bool RunningUnderDebugger()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0)
            return std::stol(line.substr(10)) != 0;
    }
    return false;
}

namespace {

// Where nothing can play, a bell on the terminal the program runs in is the
// closest thing to the system beep; without a terminal, silence.
void terminalBell()
{
    if (isatty(STDERR_FILENO)) {
        const char bell = '\a';
        [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, &bell, 1);
    }
}

#ifdef CATRACA_HAVE_CANBERRA
// The freedesktop sound theme's events that match the Windows beeps.
const char *themeEvent(unsigned beep)
{
    switch (beep) {
    case BeepHand: return "dialog-error";
    case BeepExclamation: return "dialog-warning";
    case BeepAsterisk: return "dialog-information";
    default: return "bell";
    }
}

std::mutex contextMutex;

// One context for the process, created at the first alert. It is left open
// at exit on purpose: closing it could wait on the sound server.
ca_context *context()
{
    static ca_context *ctx = [] {
        ca_context *c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS)
            return static_cast<ca_context *>(nullptr);
        ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "catraca-sync", nullptr);
        return c;
    }();
    return ctx;
}

// Every alert uses the same id, so cancelling it cuts off the previous one.
constexpr std::uint32_t AlertSoundId = 1;
#endif

} // namespace

void OutputAlert(const AlertDecision &decision)
{
    if (decision.output == AlertDecision::Silence)
        return;
#ifdef CATRACA_HAVE_CANBERRA
    std::lock_guard<std::mutex> lock(contextMutex);
    if (ca_context *c = context()) {
        ca_context_cancel(c, AlertSoundId);
        if (decision.output == AlertDecision::PlayFile) {
            // A file that cannot be played stays silent, never the default sound.
            ca_context_play(c, AlertSoundId, CA_PROP_MEDIA_FILENAME, decision.file.c_str(),
                            CA_PROP_CANBERRA_CACHE_CONTROL, "volatile", nullptr);
            return;
        }
        if (ca_context_play(c, AlertSoundId, CA_PROP_EVENT_ID, themeEvent(decision.beep), nullptr) == CA_SUCCESS)
            return;
    }
#endif
    if (decision.output == AlertDecision::Beep)
        terminalBell();
}

} // namespace platform
