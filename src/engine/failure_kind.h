#pragma once
// Failures as the engine understands them, whichever client reported them.
// Each peer turns its client's error codes into one of these kinds; the
// failure wording (failure_text.h) says each in the user's words. So the
// engine never sees a client's codes, and no peer holds a sentence.

enum class TFailureSide { Turnstile, Erp };
enum class TFailureStage { Connect, Read, Write };

enum class TFailureKind {
    Unreachable,
    UnknownHost,
    TimedOut,
    Lost,
    Login,
    HostRefused,
    DatabaseDenied,
    UnknownDatabase,
    DatabaseFileMissing,
    NotADatabase,
    DatabaseShutDown,
    DatabaseUnavailable,
    SettingsFileMissing,
    TableMissing,
    ColumnMissing,
    PermissionDenied,
    Busy,
    Overloaded,
    SecureChannel,
    AuthPlugin,
    ClientMissing,
    Refused,
    Unknown,
};

// Implemented by the peers' error types beside their error codes.
class IClassifiedFailure
{
public:
    virtual ~IClassifiedFailure() = default;
    // The stage matters: a connection dropped while it is being made is a
    // server that does not answer; dropped later, it is a connection lost.
    virtual TFailureKind Kind(TFailureStage stage) const = 0;
};
