# Units of src/base: errors, trace points, the INI store with its code page, file replacement (Qt Core).
list(APPEND SOURCES
  base/bounded_read.cpp
  base/kr_cp1252.cpp
  base/kr_guard.cpp
  base/kr_inifile.cpp
  base/kr_trace.cpp
  base/wide_text_common.cpp
)
list(APPEND POSIX_SOURCES
  base/file_replace_posix.cpp
)
list(APPEND WIN_SOURCES
  base/file_replace_win.cpp
)
