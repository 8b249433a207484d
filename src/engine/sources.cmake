# Units of src/engine: the synchronisation engine: ports, decisions, reconciliation, reconnection, failure wording, thread shell.
list(APPEND SOURCES
  engine/comanda.cpp
  engine/event_log.cpp
  engine/failure_text.cpp
  engine/reconciliation.cpp
  engine/reconnect_policy.cpp
  engine/sync_core.cpp
  engine/sync_engine.cpp
)
