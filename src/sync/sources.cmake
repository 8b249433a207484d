# Units of src/sync.
list(APPEND CORE_SOURCES
  sync/comanda.cpp
  sync/reconciliation.cpp
)
list(APPEND GUI_SOURCES
)
