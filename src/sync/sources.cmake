# Units of src/sync.
list(APPEND CORE_SOURCES
)
list(APPEND GUI_SOURCES
)
