#include "uikit/kr_alert_sound.h"

#include "system/app_env.h"
#include "uikit/alert_sound.h"

void PlayAlertSound(unsigned char kind)
{
    platform::PlayAlertSoundFrom(kind, std::filesystem::path(ExecutableFolder().toStdU16String()));
}
