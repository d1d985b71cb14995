#pragma once

#include <QByteArray>
#include <QObject>
#include <memory>

class QAudioOutput;
class QBuffer;
class QMediaPlayer;

// Plays the MP3 bytes of a voice preview from memory (Qt Multimedia). Each play() replaces the
// previous player. `playing` follows the player: true once playback runs, false again when the
// preview ends, stops or fails. A preview that cannot be played leaves no player. Main thread.
class ELPreviewPlayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
public:
    explicit ELPreviewPlayer(QObject* parent = nullptr);
    ~ELPreviewPlayer() override;

    bool playing() const { return m_playing; }
    bool hasPlayer() const { return m_player != nullptr; }

    void play(const QByteArray& mp3);
    void stop();

signals:
    void playingChanged();

private:
    void setPlaying(bool playing);
    void drop();

    // Destroyed in reverse order: the player before its output and the bytes it reads.
    std::unique_ptr<QBuffer> m_bytes;
    std::unique_ptr<QAudioOutput> m_output;
    std::unique_ptr<QMediaPlayer> m_player;
    bool m_playing = false;
};
