# Units of src/erp: the ERP peer: Firebird client and reader, the ERP database manager, reseller files, scrambling, ping.
list(APPEND SOURCES
  erp/erp_reader.cpp
  erp/fb_client.cpp
  erp/fb_library_common.cpp
  erp/fb_watchdog.cpp
  erp/kr_database.cpp
  erp/kr_revenda.cpp
  erp/kr_scramble.cpp
  erp/pingsend_common.cpp
)
list(APPEND POSIX_SOURCES
  erp/fb_loader_posix.cpp
  erp/pingsend_posix.cpp
)
list(APPEND WIN_SOURCES
  erp/fb_loader_win.cpp
  erp/pingsend_win.cpp
)
