# Units of src/sync.
list(APPEND CORE_SOURCES
  sync/mysql_connection.cpp
  sync/comanda.cpp
  sync/reconciliation.cpp
  sync/event_log.cpp
  sync/failure_text.cpp
  sync/reconnect_policy.cpp
  sync/sync_core.cpp
  sync/sync_engine.cpp
  sync/turnstile_settings.cpp
)
list(APPEND GUI_SOURCES
)
