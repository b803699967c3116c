#pragma once

class QString;

namespace tolvane {

struct CliOptions;

// Exit statuses of tolvane-cli.
enum ExitStatus {
    exitSuccess = 0,
    exitUsage = 1,
    exitFileError = 2,
    exitNothingTraced = 3,
    exitInterrupted = 130, // by SIGINT or SIGTERM, as a shell reports a program it stopped
};

// Runs a parsed detect, remove, trace or clean command and returns its exit status. Errors,
// progress and timings go to standard error, one line each; nothing goes to standard output.
// SIGINT and SIGTERM stop the run between files: a file being written is finished, none is
// written after the signal, and the status is exitInterrupted.
int runCommand(const CliOptions &options);

// Writes one line to standard error, control characters in it (a line break in a file name)
// shown as \xNN; safe to call from several threads at once.
void printLine(const QString &line);

// Writes "tolvane-cli: " and `message` as one line to standard error.
void printError(const QString &message);

} // namespace tolvane
