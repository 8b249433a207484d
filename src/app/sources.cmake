# Units of src/app: the program: windows, tray, dialogs, start-up (main.cpp is the executable's own).
list(APPEND SOURCES
  app/app_artwork.cpp
  app/app_fonts.cpp
  app/box_placement.cpp
  app/client_ports.cpp
  app/console_noise.cpp
  app/form_principal.cpp
  app/form_principal_sync.cpp
  app/kr_database_formconnect.cpp
  app/product_detection.cpp
  app/session_view.cpp
  app/single_instance.cpp
  app/tray_tooltip.cpp
)
list(APPEND POSIX_SOURCES
  app/quiet_sound_library_posix.cpp
  app/termination_signals_posix.cpp
)
list(APPEND WIN_SOURCES
  app/quiet_sound_library_win.cpp
  app/termination_signals_win.cpp
)
