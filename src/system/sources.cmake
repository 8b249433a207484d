# Units of src/system.
list(APPEND CORE_SOURCES
  system/app_env.cpp
  system/wide_text_common.cpp
  system/autostart_common.cpp
  system/launch_common.cpp
  system/kr_windows.cpp
)
list(APPEND GUI_SOURCES
)
list(APPEND WIN_SOURCES
  system/autostart_win.cpp
  system/file_replace_win.cpp
  system/instance_lock_win.cpp
  system/launch_win.cpp
)
list(APPEND POSIX_SOURCES
  system/autostart_posix.cpp
  system/file_replace_posix.cpp
  system/instance_lock_posix.cpp
  system/launch_posix.cpp
)
