# Units of src/erp.
list(APPEND CORE_SOURCES
  erp/fb_client.cpp
  erp/erp_reader.cpp
  erp/fb_watchdog.cpp
  erp/fb_library_common.cpp
  erp/pingsend_common.cpp
  erp/bounded_read.cpp
  erp/kr_cp1252.cpp
  erp/kr_inifile.cpp
  erp/kr_scramble.cpp
  erp/kr_revenda.cpp
  erp/kr_database.cpp
)
list(APPEND GUI_SOURCES
  erp/kr_database_formconnect.cpp
)
list(APPEND POSIX_SOURCES
  erp/fb_loader_posix.cpp
  erp/pingsend_posix.cpp
)
list(APPEND WIN_SOURCES
  erp/fb_loader_win.cpp
  erp/pingsend_win.cpp
)
