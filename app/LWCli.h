#pragma once

#include <QStringList>

// lorowen-cli: the application's jobs without a window. Never asks a question, never writes the
// application's preferences or project autosaves. Exit status: 0 done, 2 bad usage, 3 the job
// failed (its sentence on standard error), 130 stopped by Ctrl+C.
namespace LWCli {

enum Exit { ok = 0, usage = 2, failed = 3, interrupted = 130 };

// Runs one command line (without the program name).
int run(const QStringList& arguments);

// True once Ctrl+C was pressed; commands check it between steps.
bool interruptRequested();
void installInterruptHandler();

} // namespace LWCli
