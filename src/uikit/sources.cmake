# Units of src/uikit.
list(APPEND CORE_SOURCES
  uikit/kr_trace.cpp
  uikit/kr_guard.cpp
  uikit/kr_message.cpp
  uikit/kr_alert_sound.cpp
  uikit/alert_sound_common.cpp
)
list(APPEND GUI_SOURCES
  uikit/kr_error_box.cpp
  uikit/kr_graphics.cpp
  uikit/kr_theme.cpp
  uikit/kr_controls.cpp
  uikit/kr_db.cpp
  uikit/kr_comboradiobox.cpp
  uikit/kr_dialog_form.cpp
)
list(APPEND WIN_SOURCES
  uikit/alert_sound_win.cpp
)
list(APPEND POSIX_SOURCES
  uikit/alert_sound_posix.cpp
)
