#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One window per user: a second launch hands its file to the running window over a local socket
// and exits. The socket lives in a folder only this user can enter (the session's runtime folder,
// or a private folder of the user's own in the temporary folder), and each end checks that the
// other runs as the same user, so no other local account can take the name first, receive the
// files this user opens, or keep the window from starting.
class LWInstance : public QObject {
    Q_OBJECT
public:
    // The private folder for the socket: $XDG_RUNTIME_DIR when it is this user's and closed to
    // others, else <temp>/lorowen-pro-<uid>, made with mode 0700. Empty when neither is safe (a
    // folder of that name that belongs to someone else or is open to others is never used).
    static QString privateFolder();
    // The socket's path in privateFolder(), or empty when there is none.
    static QString socketPath();

    // Sends `path` (possibly empty, which only raises the window) to a window listening at
    // `socket`. Returns whether a window of this user answered.
    static bool forward(const QString& path, const QString& socket = socketPath());

    explicit LWInstance(QObject* parent = nullptr);
    // Starts answering at `socket` (a stale socket of a crashed run is replaced). Returns false,
    // and the window simply runs on its own, when it can't.
    bool listen(const QString& socket = socketPath());

signals:
    // A later launch of this user asked to open `path` (empty: only raise the window).
    void requested(const QString& path);

private:
    QLocalServer m_server;
};
