# Units of src/system: platform services: start-up registration, launching, the instance lock, alert sounds and the message API.
list(APPEND SOURCES
  system/alert_sound_common.cpp
  system/app_env.cpp
  system/autostart_common.cpp
  system/kr_alert_sound.cpp
  system/kr_message.cpp
  system/kr_windows.cpp
  system/launch_common.cpp
)
list(APPEND POSIX_SOURCES
  system/alert_sound_posix.cpp
  system/autostart_posix.cpp
  system/instance_lock_posix.cpp
  system/launch_posix.cpp
)
list(APPEND WIN_SOURCES
  system/alert_sound_win.cpp
  system/autostart_win.cpp
  system/instance_lock_win.cpp
  system/launch_win.cpp
)
