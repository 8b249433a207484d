# Units of src/app.
list(APPEND CORE_SOURCES
  app/app_env.cpp
)
list(APPEND GUI_SOURCES
)
