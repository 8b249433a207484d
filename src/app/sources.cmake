# Units of src/app.
list(APPEND CORE_SOURCES
  app/box_placement.cpp
  app/console_noise.cpp
  app/product_detection.cpp
  app/session_view.cpp
  app/tray_tooltip.cpp
)
list(APPEND GUI_SOURCES
  app/app_artwork.cpp
  app/app_fonts.cpp
  app/form_principal.cpp
  app/form_principal_sync.cpp
  app/single_instance.cpp
)
list(APPEND POSIX_SOURCES
  app/quiet_sound_library_posix.cpp
  app/termination_signals_posix.cpp
)
list(APPEND WIN_SOURCES
  app/quiet_sound_library_win.cpp
  app/termination_signals_win.cpp
)
