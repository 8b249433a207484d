# Units of src/sync.
list(APPEND CORE_SOURCES
  sync/comanda.cpp
  sync/reconciliation.cpp
  sync/event_log.cpp
)
list(APPEND GUI_SOURCES
)
