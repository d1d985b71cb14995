#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <span>

// Tiny media files made at test time by the `ffmpeg` program (one second, 64×48 pictures at
// 25 frames per second, a 440 Hz tone at 44 100 samples per second), each made on first use in
// a private folder that goes away with the object. A fixture that ffmpeg cannot make is reported
// as a test failure and gives an empty path.
class MediaFixtures {
public:
    enum Kind {
        mp4,          // H.264 + AAC, "clip.mp4"
        mov,          // H.264 + AAC, "clip.mov"
        mpegProgram,  // MPEG-2 video + MP2, "clip.mpg"
        transport188, // MPEG-2 video + MP2 in 188-byte packets, "clip.ts"
        transport192, // H.264 + AC-3 in 192-byte packets (M2TS), "clip.m2ts"
        mpegVideo,    // elementary MPEG-2 video, "clip.m2v"
        matroska,     // H.264 + AAC, "clip.mkv"
        wav,          // 16-bit PCM, "tone.wav"
        mp3WithId3,   // "tone.mp3", starts with an ID3v2 tag
        mp3Plain,     // "plain.mp3", starts with a frame sync
        aiff,         // "tone.aiff"
        audioOnly,    // AAC in MP4, "tone.m4a"
        videoOnly,    // H.264 without sound, "silent.mp4"
        rotated,      // a phone video: 64×48 with a 90° display matrix, "phone.mp4"
        oddSize,      // MPEG-2 video of 101×75 in a program stream, "odd.mpg"
        empty,        // 0 bytes, "empty.mp4"
        randomBytes,  // 4 096 bytes of noise named "random.mp4"
        truncatedMp4, // the first half of an MP4 whose index is at the end, "truncated.mp4"
        unreadable,   // a WAV file without read permission, "locked.wav"
    };

    MediaFixtures();

    QString path(Kind kind);
    QString folder() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // Runs the ffmpeg program (quiet, no questions) with `arguments`; true when it succeeded.
    static bool ffmpeg(const QStringList& arguments);
    // The ffmpeg program found on PATH when the first fixture was asked for.
    static QString ffmpegProgram();

    // A `seconds`-long sine of `hz` written by ffmpeg at `rate` with `channels` (16-bit WAV).
    QString tone(const QString& name, double seconds, int rate = 44100, int channels = 1,
                 int hz = 440);

    // Writes interleaved 32-bit float samples as a WAV file (format 3), bit for bit, so a test
    // can put exact values (even NaN) into a file.
    QString floatWav(const QString& name, std::span<const float> interleaved, int rate,
                     int channels);

    // Writes an executable shell script (a fake converter) and returns its path.
    QString script(const QString& name, const QByteArray& body);

private:
    QTemporaryDir m_dir;
};

// Points the converter lookup at `program` (nothing: no converter at all) for one scope, by
// setting BRCT_FFMPEG and emptying PATH's ffmpeg; restores both afterwards.
class ScopedConverter {
public:
    explicit ScopedConverter(const QString& program);
    ~ScopedConverter();
    ScopedConverter(const ScopedConverter&) = delete;
    ScopedConverter& operator=(const ScopedConverter&) = delete;

private:
    QByteArray m_path;
    QByteArray m_ffmpeg;
    bool m_hadFfmpeg;
    QTemporaryDir m_emptyBin;
};
