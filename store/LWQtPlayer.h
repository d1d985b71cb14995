#pragma once

#include "LWPlayer.h"

class QAudioOutput;
class QMediaPlayer;

// The player on Qt Multimedia (GStreamer backend). The window connects its video output to
// mediaPlayer().
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

    QMediaPlayer& mediaPlayer() { return *m_player; }

private:
    QMediaPlayer* m_player;
    QAudioOutput* m_audio;
};
