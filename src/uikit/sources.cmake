# Units of src/uikit.
list(APPEND CORE_SOURCES
  uikit/kr_trace.cpp
  uikit/kr_guard.cpp
  uikit/kr_message.cpp
  uikit/kr_alert_sound_stub.cpp
)
list(APPEND GUI_SOURCES
  uikit/kr_error_box.cpp
)
