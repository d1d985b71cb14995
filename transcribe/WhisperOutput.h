#pragma once

#include <QByteArray>
#include <QString>
#include <mutex>
#include <optional>

// Reads what a running whisper-cli prints: "[00:00:01.000 --> 00:00:02.500]  text" lines on
// standard output and "progress = N%" lines (N may pass 100) on standard error, both turned into
// a fraction of the run; the error stream is also kept as the log for error sentences. Bytes
// may arrive in any pieces: a line cut between two reads is completed by the next. Both feed
// functions may be called from different threads.
class WhisperOutput {
public:
    // `audioSeconds`: length of the sound (at least 1 s is used).
    explicit WhisperOutput(double audioSeconds);

    // Each returns the new highest fraction (at most 0.99) when it rose by more than 0.002,
    // else nothing: progress never goes back and is not reported in tiny steps.
    std::optional<double> feedStdout(const QByteArray& bytes);
    std::optional<double> feedStderr(const QByteArray& bytes);

    // The last three non-empty lines of the error stream joined with spaces, at most 300
    // characters.
    QString lastLines() const;
    // Whether the error stream had a line starting with "error:" (whisper-cli's way of saying
    // that it refused its arguments, even with exit status 0).
    bool sawError() const;

private:
    struct Log { // everything the child wrote to its error stream, capped
        mutable std::mutex l;
        QString text;
        QByteArray pending; // an unfinished line
        bool error = false;
    };
    struct Best { // the highest fraction reported so far
        std::mutex l;
        double v = 0;
    };

    std::optional<double> offer(double fraction);

    double m_seconds;
    QByteArray m_outPending; // output stream: an unfinished line (one reader at a time)
    Log m_log;
    Best m_best;
};
