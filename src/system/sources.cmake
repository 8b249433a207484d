# Units of src/system.
list(APPEND CORE_SOURCES
)
list(APPEND GUI_SOURCES
)
