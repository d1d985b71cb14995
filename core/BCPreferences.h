#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <memory>

// Every remembered preference of the application, each declared once here with its stored name.
enum class BCPref {
    language,       // "lw.language": the spoken language ("en-US")
    sidecars,       // "lw.sidecars": SRT and VTT files beside exported videos
    songMode,       // "lw.songMode"
    markSpeakers,   // "lw.markSpeakers": ">> " where the speaker changes
    style,          // "lw.style": the caption look as compact JSON
    lastSaveFolder, // "lw.lastSaveFolder"
    whisperModel,   // "lw.whisperModel": the chosen Whisper model's id
    engine,         // "el.engine2": "whisper", "apple" (the offline recogniser) or "elevenlabs"
    voice,          // "el.voice": the ElevenLabs voice id
    speechModel,    // "el.model": the ElevenLabs text-to-speech model
    scribeModel,    // "el.scribe": the ElevenLabs Scribe model
    zoom,           // "brct.ui.zoom"
    theme,          // "brct.ui.theme"
    recentFiles,    // "lw.recentFiles": the files opened last, newest first
    checkLimits,    // "lw.checks": {"maxCps", "maxDuration", "minGap", "minConfidence"}
    whisperGPU,     // "lw.whisperGPU": Whisper on the graphics card when there is one (default on)
};

// The remembered preferences: the user's (QSettings, organisation "Brindlecote", application
// "Lorowen Pro"), a read-only view of them for the command line, or a private set in memory.
// One object is made at start-up and handed to whoever reads or writes preferences. Main
// thread only.
class BCPreferences {
public:
    // The user's preferences; with `writable` false every write is dropped (the command line
    // never changes the application's preferences).
    static std::unique_ptr<BCPreferences> user(bool writable = true);
    // Preferences that live in memory only and start empty.
    static std::unique_ptr<BCPreferences> memory();

    // The stored name of a preference ("lw.language").
    static QString key(BCPref pref);

    QVariant value(BCPref pref) const;
    bool contains(BCPref pref) const;
    // The stored bool, or `fallback` when nothing is stored.
    bool flag(BCPref pref, bool fallback) const;
    void setValue(BCPref pref, const QVariant& value);
    void remove(BCPref pref);
    bool writable() const { return m_writable; }

private:
    BCPreferences(bool persistent, bool writable)
        : m_persistent(persistent), m_writable(writable) {}

    bool m_persistent;
    bool m_writable;
    QHash<QString, QVariant> m_memory; // the values of an in-memory set
};
