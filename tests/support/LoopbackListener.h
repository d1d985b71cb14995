#pragma once

#include <QtGlobal>

// A listening TCP socket on 127.0.0.1 at a port the system picks, for test servers that need to
// close connections in ways an HTTP library does not offer. Closed when it goes.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 8);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // 0 when no socket could be opened.
    quint16 port() const { return m_port; }
    // The next connection, or -1 once stop() was called.
    int accept() const;
    // Wakes a thread waiting in accept(); later calls return -1 at once.
    void stop();

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
