#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <stop_token>

// A helper program (ffmpeg, whisper-cli) run as a child process by a job's worker thread.
namespace BCChildProcess {

// Called on the calling thread with each piece of a stream as it arrives.
using Output = std::function<void(const QByteArray& piece)>;

struct Streams {
    Output out; // standard output; discarded when empty
    Output err; // standard error; discarded when empty
};

// Runs `program` with `arguments` (standard input from /dev/null) until it ends and returns its
// exit status, -1 after a crash. A stop terminates it, kills it when it is still there 2 s
// later, waits for it, and throws BCCancelled: no child outlives the call. Throws BCError with
// `cannotStart` (the system's reason as its detail) when it can't be started. `environment`
// holds NAME=VALUE entries set for the child on top of this process's environment. Blocking.
int run(const QString& program, const QStringList& arguments, const Streams& streams,
        std::stop_token stop, const QString& cannotStart, const QStringList& environment = {});

} // namespace BCChildProcess
