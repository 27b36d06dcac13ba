#pragma once
// What the engine's ODBC driver does for a connection and for the one statement it answers:
// shared by the stand-in ODBC driver (POSIX) and the test-only ADO server (Windows), so that a
// client sees the same failures, statuses and journal lines through either.
#include <cstdint>
#include <optional>
#include <string>

namespace varnholt::standin {

struct DriverFailure {
    std::string state;  // ODBC 3 SQLSTATE
    int32_t native = 0;
    std::string message;  // engine failures end in "(Btrieve Error N)"
};

// Where a stored path lies for this process (the drive table on POSIX, UNC shares on Windows).
using LocalPathFn = std::string (*)(const std::string& enginePath);

struct DriverConnection {
    std::optional<DriverFailure> failure;
    std::string dataFolder;  // of the connected name, in local form; empty after a fault of 0
    std::string server;      // as the caller named it; empty for the local engine
    std::string database;    // the connected name as stored; empty after a fault of 0
};

// The name of this machine, which the driver shows for a connection without ServerName.
std::string LocalHostName();

// Journals SQLDriverConnect (library "ODBC") and takes its fault, then resolves ServerName and
// dbq=@NAME through the engine home's names and checks the name's dictionary.
DriverConnection DriverConnect(const std::string& connectionString, LocalPathFn localPath);

struct DriverExecution {
    std::optional<DriverFailure> failure;
    std::string table;  // the statement's table as dataFolder spells it; empty after a fault of 0
};

// Journals function (SQLExecDirect, SQLPrepare or SQLExecute) with sql and takes its fault;
// without one, "Select [Top N] * From T" succeeds when dataFolder holds T.DAT (any case).
// check false stops after the fault: a statement prepared under a fault of 0 is not read again.
DriverExecution DriverExecute(const std::string& dataFolder, const std::string& sql,
                              const char* function = "SQLExecDirect", bool check = true);

}  // namespace varnholt::standin
