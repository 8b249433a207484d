# Units of src/app.
list(APPEND CORE_SOURCES
  app/app_env.cpp
)
list(APPEND GUI_SOURCES
  app/app_artwork.cpp
  app/form_principal.cpp
  app/single_instance.cpp
)
