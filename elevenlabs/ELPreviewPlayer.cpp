#include "ELPreviewPlayer.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QMediaPlayer>
#include <QUrl>

ELPreviewPlayer::ELPreviewPlayer(QObject* parent) : QObject(parent) {}

ELPreviewPlayer::~ELPreviewPlayer() = default;

void ELPreviewPlayer::play(const QByteArray& mp3) {
    drop();
    auto bytes = std::make_unique<QBuffer>();
    bytes->setData(mp3);
    bytes->open(QIODevice::ReadOnly);
    auto output = std::make_unique<QAudioOutput>();
    auto player = std::make_unique<QMediaPlayer>();
    player->setAudioOutput(output.get());
    QMediaPlayer* const raw = player.get();
    connect(raw, &QMediaPlayer::playbackStateChanged, this,
            [this, raw](QMediaPlayer::PlaybackState state) {
                if (raw == m_player.get())
                    setPlaying(state == QMediaPlayer::PlayingState);
            });
    // A failure leaves no player. Dropped later: the player is still inside its own signal.
    connect(raw, &QMediaPlayer::errorOccurred, this, [this, raw] {
        if (raw != m_player.get())
            return;
        setPlaying(false);
        QMetaObject::invokeMethod(
            this,
            [this, raw] {
                if (raw == m_player.get())
                    drop();
            },
            Qt::QueuedConnection);
    });
    // The name tells the media framework what the bytes are.
    player->setSourceDevice(bytes.get(), QUrl(QStringLiteral("preview.mp3")));
    m_bytes = std::move(bytes);
    m_output = std::move(output);
    m_player = std::move(player);
    m_player->play();
    setPlaying(m_player && m_player->playbackState() == QMediaPlayer::PlayingState);
}

void ELPreviewPlayer::stop() {
    drop();
}

void ELPreviewPlayer::drop() {
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
    }
    m_player.reset();
    m_output.reset();
    m_bytes.reset();
    setPlaying(false);
}

void ELPreviewPlayer::setPlaying(bool playing) {
    if (m_playing == playing)
        return;
    m_playing = playing;
    emit playingChanged();
}
