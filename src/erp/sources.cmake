# Units of src/erp.
list(APPEND CORE_SOURCES
)
list(APPEND GUI_SOURCES
)
