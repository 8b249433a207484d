# Units of src/turnstile: the turnstile peer: MySQL connection, its settings and port.
list(APPEND SOURCES
  turnstile/mysql_connection.cpp
  turnstile/turnstile_settings.cpp
)
