#pragma once

#include "ELClient.h"
#include "ELKeyStore.h"

#include <QObject>
#include <QThreadPool>
#include <chrono>
#include <memory>
#include <stop_token>

class BCPreferences;
class ELPreviewPlayer;

// The user's ElevenLabs choices and what was loaded with their key: whether a key is stored,
// the transcription engine, the voice, the speech model and the Scribe model (remembered as the
// preferences "el.engine2", "el.voice", "el.model", "el.scribe"), the account's voices and
// models, and a one-line status for the Settings window.
//
// Lives on the main thread; every field changes there and announces it. Requests run on a
// pool of its own, never on the main thread, and report back to it. Nothing here blocks: the
// key store is asked asynchronously, and `hasKey` is false until it has answered (after
// `keyTimeLimit` without an answer, `status` says the keyring is slow; a late answer still
// counts). The lists fill only when asked (load, or a saved key), never by themselves.
class ELSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY hasKeyChanged)
    Q_PROPERTY(Engine engine READ engine WRITE setEngine NOTIFY engineChanged)
    Q_PROPERTY(QString voiceID READ voiceID WRITE setVoiceID NOTIFY voiceIDChanged)
    Q_PROPERTY(QString modelID READ modelID WRITE setModelID NOTIFY modelIDChanged)
    Q_PROPERTY(QString scribeModel READ scribeModel WRITE setScribeModel NOTIFY scribeModelChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)

public:
    // Stored by their raw values "whisper", "apple" (the offline recogniser), "elevenlabs".
    enum class Engine { whisper, apple, elevenlabs };
    Q_ENUM(Engine)
    // In the order a choice lists them.
    static QList<Engine> engines() { return {Engine::whisper, Engine::apple, Engine::elevenlabs}; }
    static QString rawValue(Engine engine);
    static std::optional<Engine> engineFromRawValue(const QString& raw);

    static constexpr const char* defaultModel = "eleven_multilingual_v2";
    static constexpr const char* defaultScribeModel = "scribe_v2";

    // Reads `preferences` (which remember the choices and must outlive this) and starts asking
    // `keys` whether a key is stored.
    ELSettings(std::unique_ptr<ELKeyStore> keys, BCPreferences& preferences,
               QObject* parent = nullptr,
               std::chrono::milliseconds keyTimeLimit = std::chrono::seconds(5));
    // Stops running requests and waits for them to end.
    ~ELSettings() override;

    // The key store, for jobs that need the key (ELKeyStore::keyForJob from a worker thread).
    ELKeyStore& keys() const { return *m_keys; }
    // Limits of the requests made here (tests shorten them).
    void setTimeouts(const ELClient::Timeouts& timeouts) { m_timeouts = timeouts; }

    bool hasKey() const { return m_hasKey; }
    // Whether the key store has answered at least once.
    bool keyChecked() const { return m_keyChecked; }

    // The setters remember the choice at once.
    Engine engine() const { return m_engine; }
    void setEngine(Engine engine);
    QString voiceID() const { return m_voiceID; }
    void setVoiceID(const QString& id);
    QString modelID() const { return m_modelID; }
    void setModelID(const QString& id);
    QString scribeModel() const { return m_scribeModel; }
    void setScribeModel(const QString& id);

    const QList<ELVoice>& voices() const { return m_voices; }
    const QList<ELModel>& models() const { return m_models; }
    // Empty when there is nothing to say.
    QString status() const { return m_status; }
    bool busy() const { return m_busy; }

    // The chosen model's character limit; 5000 while it is not among the loaded models.
    int maxChars() const;
    // The chosen voice's name; "saved voice" while it is not among the loaded voices, "none
    // chosen" when no voice is chosen.
    QString voiceName() const;

    // Stores the key (trimmed; a blank one removes the stored key), then reads it back for
    // `hasKey` and says in `status` what happened, failures included. A stored key loads the
    // lists; no key empties them.
    void setKey(const QString& key);
    // Deletes the stored key, reads back for `hasKey` and says what happened. Once no key is
    // stored the lists are emptied, and a successful removal moves the ElevenLabs engine back
    // to Whisper.
    void removeKey();
    // Loads the voices and the models at the same time and puts right a chosen voice or model
    // that the account no longer offers. A newer load supersedes a running one: only the newest
    // writes the lists, the choices and the status.
    void load();
    // Writes the four choices to the preferences.
    void save();
    // Asks the key store again whether a key is stored.
    void refreshKey();

    // Speaks `text` with the chosen voice and model and plays it on `player`; a failure goes
    // to `status`. A newer preview supersedes a running one. `done` (optional) runs once on the
    // main thread when this preview has ended: played, failed or superseded.
    void preview(const QString& text, ELPreviewPlayer& player, std::function<void()> done = {});
    // Ends a preview still being read or generated: nothing of it plays and it sets no status;
    // its `done` still runs. A preview already playing is the player's to stop.
    void stopPreview();
    static QString defaultPreviewText() {
        return QStringLiteral(
            "Hi! This is how my voice sounds in your BRCT Lorowen Pro voiceover.");
    }

signals:
    void hasKeyChanged();
    void engineChanged();
    void voiceIDChanged();
    void modelIDChanged();
    void scribeModelChanged();
    void voicesChanged();
    void modelsChanged();
    void statusChanged();
    void busyChanged();

private:
    struct LoadRun;

    void checkKey(std::function<void(const ELKeyStore::Answer&)> then);
    void setHasKey(bool hasKey);
    void setStatus(const QString& status);
    void setBusy(bool busy);
    void setVoices(const QList<ELVoice>& voices);
    void setModels(const QList<ELModel>& models);
    void clearLists();
    // Forgets running loads (their answers are dropped) and ends `busy`.
    void dropLoads();
    void advanceLoad(const std::shared_ptr<LoadRun>& run);
    void finishLoad(const QString& status);

    std::unique_ptr<ELKeyStore> m_keys;
    BCPreferences& m_preferences;
    ELClient::Timeouts m_timeouts;
    bool m_hasKey = false;
    bool m_keyChecked = false;
    quint64 m_keyCheck = 0;
    Engine m_engine = Engine::whisper;
    QString m_voiceID;
    QString m_modelID;
    QString m_scribeModel;
    QList<ELVoice> m_voices;
    QList<ELModel> m_models;
    QString m_status;
    bool m_busy = false;

    quint64 m_loadGeneration = 0;
    std::stop_source m_loadStop;
    quint64 m_previewGeneration = 0;
    std::stop_source m_previewStop;
    QThreadPool m_pool;
};
