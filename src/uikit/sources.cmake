# Units of src/uikit: the themed controls, painter and message dialog (widgets).
list(APPEND SOURCES
  uikit/kr_comboradiobox.cpp
  uikit/kr_controls.cpp
  uikit/kr_db.cpp
  uikit/kr_dialog_form.cpp
  uikit/kr_error_box.cpp
  uikit/kr_graphics.cpp
  uikit/kr_theme.cpp
)
