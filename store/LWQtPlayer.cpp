#include "LWQtPlayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <cmath>

LWQtPlayer::LWQtPlayer(QObject* parent)
    : LWPlayer(parent), m_player(new QMediaPlayer(this)), m_audio(new QAudioOutput(this)),
      m_sound(!QMediaDevices::audioOutputs().isEmpty()) {
    // Kept without a sound device too: GStreamer then plays into a stand-in sink, and the
    // sound track still drives the clock (an audio-only file would not play at all otherwise).
    m_player->setAudioOutput(m_audio);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::LoadedMedia)
                    emit loaded(true);
                else if (status == QMediaPlayer::InvalidMedia)
                    emit loaded(false);
            });
}

LWQtPlayer::~LWQtPlayer() = default;

void LWQtPlayer::setSource(const QUrl& file) {
    m_player->setSource(file);
}

void LWQtPlayer::play() {
    m_player->play();
}

void LWQtPlayer::pause() {
    m_player->pause();
}

double LWQtPlayer::rate() const {
    // At the end the backend may still report that it is playing.
    if (m_player->mediaStatus() == QMediaPlayer::EndOfMedia)
        return 0;
    return m_player->playbackState() == QMediaPlayer::PlayingState ? m_player->playbackRate() : 0;
}

double LWQtPlayer::position() const {
    return double(m_player->position()) / 1000.0;
}

void LWQtPlayer::seek(double seconds) {
    if (std::isfinite(seconds))
        m_player->setPosition(qint64(std::llround(seconds * 1000.0)));
}
