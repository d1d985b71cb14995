#pragma once

#include "LWPlayer.h"

class QAudioOutput;
class QMediaPlayer;

// The player on Qt Multimedia (GStreamer backend). The window connects its video output to
// mediaPlayer(). On a system without a sound output device it still plays, silently.
class LWQtPlayer : public LWPlayer {
    Q_OBJECT
public:
    explicit LWQtPlayer(QObject* parent = nullptr);
    ~LWQtPlayer() override;

    void setSource(const QUrl& file) override;
    void play() override;
    void pause() override;
    double rate() const override;
    double position() const override;
    void seek(double seconds) override;
    bool hasSoundOutput() const override { return m_sound; }

    QMediaPlayer& mediaPlayer() { return *m_player; }

private:
    QMediaPlayer* m_player;
    QAudioOutput* m_audio;
    bool m_sound; // whether the system has a sound output device
};
