#include "ELSettings.h"

#include "BCPreferences.h"
#include "ELPreviewPlayer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int previewCharacters = 5000;

QString slowKeyring() {
    return QStringLiteral("The keyring hasn't answered yet, so ElevenLabs counts as having no "
                          "key until it does.");
}

// What a request run off the main thread ended with: a value, a sentence, or neither when it
// was stopped.
template <typename T> struct Outcome {
    std::optional<T> value;
    QString error;
};

template <typename Work> auto attempt(const Work& work) {
    Outcome<decltype(work())> outcome;
    try {
        outcome.value = work();
    } catch (const BCCancelled&) {
    } catch (const BCError& e) {
        outcome.error = e.message();
    } catch (const std::exception& e) {
        outcome.error = QStringLiteral("Something unexpected went wrong (%1).")
                            .arg(QString::fromLocal8Bit(e.what()));
    }
    return outcome;
}

} // namespace

// One load: both answers arrive on the main thread, in either order; the voices are applied
// first, then the models.
struct ELSettings::LoadRun {
    quint64 generation = 0;
    std::optional<Outcome<QList<ELVoice>>> voices;
    std::optional<Outcome<QList<ELModel>>> models;
    bool voicesApplied = false;
    bool ended = false;
};

QString ELSettings::rawValue(Engine engine) {
    switch (engine) {
    case Engine::whisper:
        return QStringLiteral("whisper");
    case Engine::apple:
        return QStringLiteral("apple");
    case Engine::elevenlabs:
        return QStringLiteral("elevenlabs");
    }
    return {};
}

std::optional<ELSettings::Engine> ELSettings::engineFromRawValue(const QString& raw) {
    for (const Engine engine : engines()) {
        if (rawValue(engine) == raw)
            return engine;
    }
    return std::nullopt;
}

ELSettings::ELSettings(std::unique_ptr<ELKeyStore> keys, BCPreferences& preferences,
                       QObject* parent, std::chrono::milliseconds keyTimeLimit)
    : QObject(parent), m_keys(std::move(keys)), m_preferences(preferences) {
    m_pool.setMaxThreadCount(4);
    const BCPreferences& stored = m_preferences;
    m_engine =
        engineFromRawValue(stored.value(BCPref::engine).toString()).value_or(Engine::whisper);
    m_voiceID = stored.value(BCPref::voice).toString();
    m_modelID = stored.value(BCPref::speechModel).toString();
    if (m_modelID.isEmpty())
        m_modelID = QLatin1String(defaultModel);
    m_scribeModel = stored.value(BCPref::scribeModel).toString();
    if (m_scribeModel.isEmpty())
        m_scribeModel = QLatin1String(defaultScribeModel);

    checkKey([this](const ELKeyStore::Answer& answer) {
        if (!answer.ok())
            setStatus(ELKeyStore::sentence(ELKeyStore::Operation::read, answer.failure));
    });
    QTimer::singleShot(keyTimeLimit, this, [this] {
        if (!m_keyChecked)
            setStatus(slowKeyring());
    });
}

ELSettings::~ELSettings() {
    m_loadStop.request_stop();
    m_previewStop.request_stop();
    m_pool.waitForDone();
}

void ELSettings::setEngine(Engine engine) {
    if (m_engine == engine)
        return;
    m_engine = engine;
    save();
    emit engineChanged();
}

void ELSettings::setVoiceID(const QString& id) {
    if (m_voiceID == id)
        return;
    m_voiceID = id;
    save();
    emit voiceIDChanged();
}

void ELSettings::setModelID(const QString& id) {
    if (m_modelID == id)
        return;
    m_modelID = id;
    save();
    emit modelIDChanged();
}

void ELSettings::setScribeModel(const QString& id) {
    if (m_scribeModel == id)
        return;
    m_scribeModel = id;
    save();
    emit scribeModelChanged();
}

void ELSettings::save() {
    m_preferences.setValue(BCPref::engine, rawValue(m_engine));
    m_preferences.setValue(BCPref::voice, m_voiceID);
    m_preferences.setValue(BCPref::speechModel, m_modelID);
    m_preferences.setValue(BCPref::scribeModel, m_scribeModel);
}

int ELSettings::maxChars() const {
    for (const ELModel& model : m_models) {
        if (model.id == m_modelID)
            return model.maxChars;
    }
    return 5000;
}

QString ELSettings::voiceName() const {
    for (const ELVoice& voice : m_voices) {
        if (voice.id == m_voiceID)
            return voice.name;
    }
    return m_voiceID.isEmpty() ? QStringLiteral("none chosen") : QStringLiteral("saved voice");
}

void ELSettings::refreshKey() {
    checkKey({});
}

void ELSettings::checkKey(std::function<void(const ELKeyStore::Answer&)> then) {
    // Only the newest question sets `hasKey`: answers can arrive out of order.
    const quint64 sequence = ++m_keyCheck;
    m_keys->read([this, sequence, then = std::move(then)](const ELKeyStore::Answer& answer) {
        if (sequence == m_keyCheck) {
            m_keyChecked = true;
            setHasKey(answer.key.has_value());
            if (m_status == slowKeyring())
                setStatus({});
        }
        if (then)
            then(answer);
    });
}

void ELSettings::setKey(const QString& key) {
    using Op = ELKeyStore::Operation;
    const bool blank = key.trimmed().isEmpty();
    if (blank) {
        dropLoads();
        setBusy(false);
    }
    m_keys->save(key, [this, blank](const ELKeyStore::Answer& saved) {
        checkKey([this, blank, saved](const ELKeyStore::Answer& read) {
            const bool present = read.key.has_value();
            if (!saved.ok())
                setStatus(ELKeyStore::sentence(blank ? Op::remove : Op::save, saved.failure));
            else if (!read.ok())
                setStatus(ELKeyStore::sentence(Op::read, read.failure));
            else if (blank)
                setStatus(present ? QStringLiteral("The keyring still holds a key after removing "
                                                   "it. Try again.")
                                  : QStringLiteral("Key removed."));
            else
                setStatus(present ? QStringLiteral("Key saved in your keyring.")
                                  : QStringLiteral("The keyring didn't keep the key. Make sure "
                                                   "it is unlocked, then try again."));
            if (!present)
                clearLists();
            else if (saved.ok() && !blank)
                load();
        });
    });
}

void ELSettings::removeKey() {
    using Op = ELKeyStore::Operation;
    dropLoads();
    setBusy(false);
    m_keys->remove([this](const ELKeyStore::Answer& removed) {
        checkKey([this, removed](const ELKeyStore::Answer& read) {
            const bool present = read.key.has_value();
            if (!present)
                clearLists();
            if (!removed.ok()) {
                setStatus(ELKeyStore::sentence(Op::remove, removed.failure));
                return;
            }
            if (present) {
                setStatus(QStringLiteral("The keyring still holds a key after removing it. Try "
                                         "again."));
                return;
            }
            if (m_engine == Engine::elevenlabs)
                setEngine(Engine::whisper);
            setStatus(QStringLiteral("Key removed from this computer."));
        });
    });
}

void ELSettings::load() {
    if (!m_hasKey) {
        setStatus(ELError::noKey().message());
        return;
    }
    dropLoads();
    const quint64 generation = m_loadGeneration;
    setBusy(true);
    setStatus(QStringLiteral("Loading your ElevenLabs voices…"));
    m_keys->read([this, generation](const ELKeyStore::Answer& answer) {
        if (generation != m_loadGeneration)
            return;
        if (!answer.ok()) {
            finishLoad(ELKeyStore::sentence(ELKeyStore::Operation::read, answer.failure));
            return;
        }
        if (!answer.key) {
            finishLoad(ELError::noKey().message());
            return;
        }
        auto run = std::make_shared<LoadRun>();
        run->generation = generation;
        const ELClient client(*answer.key, m_timeouts);
        const std::stop_token stop = m_loadStop.get_token();
        m_pool.start([this, client, stop, run] {
            auto outcome = attempt([&] { return client.voices(stop); });
            QMetaObject::invokeMethod(
                this,
                [this, run, outcome = std::move(outcome)] {
                    run->voices = outcome;
                    advanceLoad(run);
                },
                Qt::QueuedConnection);
        });
        m_pool.start([this, client, stop, run] {
            auto outcome = attempt([&] { return client.models(stop); });
            QMetaObject::invokeMethod(
                this,
                [this, run, outcome = std::move(outcome)] {
                    run->models = outcome;
                    advanceLoad(run);
                },
                Qt::QueuedConnection);
        });
    });
}

void ELSettings::advanceLoad(const std::shared_ptr<LoadRun>& run) {
    if (run->ended || run->generation != m_loadGeneration)
        return;
    if (!run->voicesApplied) {
        if (!run->voices)
            return;
        if (!run->voices->value) {
            run->ended = true;
            finishLoad(run->voices->error);
            return;
        }
        setVoices(*run->voices->value);
        run->voicesApplied = true;
    }
    if (!run->models)
        return;
    run->ended = true;
    if (!run->models->value) {
        finishLoad(run->models->error);
        return;
    }
    setModels(*run->models->value);

    const auto voiceOffered = [this](const ELVoice& v) { return v.id == m_voiceID; };
    if (std::none_of(m_voices.begin(), m_voices.end(), voiceOffered))
        setVoiceID(m_voices.isEmpty() ? QString() : m_voices.first().id);
    const auto offered = [this](const QString& id) {
        return std::any_of(m_models.begin(), m_models.end(),
                           [&id](const ELModel& m) { return m.id == id; });
    };
    if (!m_models.isEmpty() && !offered(m_modelID)) {
        const QString fallback = QLatin1String(defaultModel);
        setModelID(offered(fallback) ? fallback : m_models.first().id);
    }
    finishLoad(QStringLiteral("Connected: %1 voices, %2 speech models.")
                   .arg(m_voices.size())
                   .arg(m_models.size()));
}

void ELSettings::finishLoad(const QString& status) {
    setStatus(status);
    setBusy(false);
}

void ELSettings::dropLoads() {
    ++m_loadGeneration;
    m_loadStop.request_stop();
    m_loadStop = std::stop_source();
}

void ELSettings::preview(const QString& text, ELPreviewPlayer& player, std::function<void()> done) {
    m_previewStop.request_stop();
    m_previewStop = std::stop_source();
    const quint64 generation = ++m_previewGeneration;
    const QPointer<ELPreviewPlayer> target(&player);
    // Posts `done` to the main thread when the last copy of this guard goes (on whichever
    // thread), however the preview ends.
    const auto ended = std::shared_ptr<void>(nullptr, [done = std::move(done)](void*) {
        if (done)
            QMetaObject::invokeMethod(QCoreApplication::instance(), done, Qt::QueuedConnection);
    });
    m_keys->read([this, generation, target, text, ended](const ELKeyStore::Answer& answer) {
        if (generation != m_previewGeneration)
            return;
        if (!answer.ok()) {
            setStatus(ELKeyStore::sentence(ELKeyStore::Operation::read, answer.failure));
            return;
        }
        if (!answer.key) {
            setStatus(ELError::noKey().message());
            return;
        }
        const ELClient client(*answer.key, m_timeouts);
        const std::stop_token stop = m_previewStop.get_token();
        m_pool.start([this, client, stop, generation, target, text, voice = m_voiceID,
                      model = m_modelID, ended] {
            auto outcome =
                attempt([&] { return client.speak(text, voice, model, previewCharacters, stop); });
            QMetaObject::invokeMethod(
                this,
                [this, generation, target, outcome = std::move(outcome), ended] {
                    if (generation != m_previewGeneration)
                        return;
                    if (!outcome.value)
                        setStatus(outcome.error.isEmpty() ? m_status : outcome.error);
                    else if (target && !outcome.value->isEmpty())
                        target->play(*outcome.value);
                },
                Qt::QueuedConnection);
        });
    });
}

void ELSettings::stopPreview() {
    m_previewStop.request_stop();
    ++m_previewGeneration; // a late answer of the stopped preview is dropped
}

void ELSettings::setHasKey(bool hasKey) {
    if (m_hasKey == hasKey)
        return;
    m_hasKey = hasKey;
    emit hasKeyChanged();
}

void ELSettings::setStatus(const QString& status) {
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged();
}

void ELSettings::setBusy(bool busy) {
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged();
}

void ELSettings::setVoices(const QList<ELVoice>& voices) {
    m_voices = voices;
    emit voicesChanged();
}

void ELSettings::setModels(const QList<ELModel>& models) {
    m_models = models;
    emit modelsChanged();
}

void ELSettings::clearLists() {
    if (!m_voices.isEmpty())
        setVoices({});
    if (!m_models.isEmpty())
        setModels({});
}
