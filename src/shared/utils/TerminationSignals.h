#pragma once

namespace keyvane {

// SIGTERM and SIGINT become one byte each on a pipe, so a program's event loop handles them as
// ordinary events (a socket notifier on the answer) instead of inside a signal handler. Answers
// the pipe's read end, or -1 when no pipe could be made (the signals then keep their default).
// Call once per process.
int watchTerminationSignals();

} // namespace keyvane
