#pragma once

#include <QObject>
#include <QUrl>

// What the store needs of a media player. The application uses LWQtPlayer (Qt Multimedia);
// tests use a deterministic stand-in. Main thread only. Times are seconds.
class LWPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setSource(const QUrl& file) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // 0 while stopped or paused, and once playback has reached the end.
    virtual double rate() const = 0;
    // The current position; not finite when unknown.
    virtual double position() const = 0;
    // Frame-exact seek.
    virtual void seek(double seconds) = 0;
    // Whether there is a sound output to play on; without one, playback runs silent.
    virtual bool hasSoundOutput() const { return true; }

signals:
    // The source has loaded (true) or failed to load (false).
    void loaded(bool ok);
};
