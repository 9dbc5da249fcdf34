#pragma once

namespace abd {

/// The exit statuses of the terminal program; a run that a signal ended before its end gives 128 plus the
/// signal's number (143 for SIGTERM, 130 for SIGINT, 129 for SIGHUP).
enum ConsoleStatus {
    kStatusConcluded = 0,   ///< "Concluído.", or the database was already at version 5
    kStatusFailed = 1,      ///< any other failure: server unreachable, login refused, a query of the run
    kStatusUsage = 2,       ///< bad options, or no password to be had
    kStatusRefused = 3,     ///< others are attached to the server: nothing was done
    kStatusStepFailed = 4,  ///< a version step failed: the database stays at the version before it
    kStatusStageFailed = 5, ///< the backup or the compaction failed
};

/// The same run as the window's update button, on a terminal: options in, the panes' lines out.
int RunConsole(int argc, char** argv);

} // namespace abd
