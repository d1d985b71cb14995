#pragma once

#include <QString>
#include <cstdio>
#include <mutex>

// A one-line progress bar on standard error, drawn only when standard error is a terminal.
// Any thread may update it.
class LWCliProgress {
public:
    explicit LWCliProgress(std::FILE* out = stderr);
    ~LWCliProgress();

    // `fraction` outside 0..1 (or negative for "unknown") draws the label alone.
    void update(const QString& label, double fraction);
    void finish();

private:
    std::mutex m_lock;
    std::FILE* m_out;
    bool m_terminal;
    bool m_drawn = false;
};
