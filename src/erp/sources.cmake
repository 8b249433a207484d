# Units of src/erp.
list(APPEND CORE_SOURCES
  erp/kr_cp1252.cpp
  erp/kr_inifile.cpp
  erp/kr_scramble.cpp
  erp/kr_revenda.cpp
)
list(APPEND GUI_SOURCES
)
