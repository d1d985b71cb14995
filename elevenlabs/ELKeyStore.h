#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

// Where the user's ElevenLabs API key is kept: one item, read, replaced and deleted as a whole.
// The application uses ELKeychain (the desktop keyring); tests and screenshots use
// ELMemoryKeyStore, so nothing ever waits on a keyring prompt.
//
// The object belongs to the thread it was made on (the main thread in the application) and its
// asynchronous operations are called there; their answers always arrive later through that
// thread's event loop, never inside the call. The waiting forms (`readNow`, `saveNow`,
// `removeNow`, `keyForJob`) may be called from any thread. The key is never logged and never
// put into an answer's `detail`.
class ELKeyStore : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        none,
        unreachable, // no keyring service answers on this session (or it failed)
        denied,      // the keyring is locked or refused
        noAnswer,    // the keyring did not answer within the time limit
    };
    enum class Operation { read, save, remove };

    struct Answer {
        Failure failure = Failure::none;
        std::optional<QString> key; // read: the stored key; never empty
        QString detail;             // the keyring's own words, for logs only
        bool ok() const { return failure == Failure::none; }
    };
    using Done = std::function<void(const Answer& answer)>;

    using QObject::QObject;

    // The stored key: nothing when there is no item, its bytes are not UTF-8 or it is empty.
    void read(Done done);
    // Stores the key trimmed of white space and line breaks; a blank key deletes the item
    // (a missing item counts as deleted).
    void save(const QString& key, Done done);
    // Deletes the item; a missing item counts as deleted.
    void remove(Done done);

    // The same, waiting at most `limit` for the answer (then `noAnswer`). Any thread. Throws
    // BCCancelled once `stop` is requested. On the store's own thread a private event loop
    // runs meanwhile; from another thread the store's thread must be running its event loop.
    Answer readNow(std::stop_token stop, std::chrono::milliseconds limit);
    Answer saveNow(const QString& key, std::stop_token stop, std::chrono::milliseconds limit);
    Answer removeNow(std::stop_token stop, std::chrono::milliseconds limit);

    // For a job's worker thread: the stored key, or throws ELError::noKey when there is none,
    // a BCError with the keyring's sentence when it failed or did not answer in `limit`, and
    // BCCancelled when `stop` is requested.
    QString keyForJob(std::stop_token stop,
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

    // The user's sentence for a failed operation ("none" gives an empty text).
    static QString sentence(Operation operation, Failure failure);

    // The store the application uses: the desktop keyring, or an empty in-memory store when
    // BRCT_ELEVENLABS_KEYSTORE is "memory" (screenshots and demos; nothing is ever written).
    static std::unique_ptr<ELKeyStore> system();

protected:
    // What a store implements. Each calls `done` exactly once, on this object's thread, with
    // the failure, and for readItem the item's bytes (nothing when there is no item).
    using ItemDone =
        std::function<void(Failure failure, std::optional<QByteArray> data, const QString& detail)>;
    virtual void readItem(ItemDone done) = 0;
    virtual void writeItem(const QByteArray& value, ItemDone done) = 0;
    virtual void deleteItem(ItemDone done) = 0;

private:
    // Delivers `answer` to `done` through the event loop.
    void answerLater(Done done, Answer answer);
    Answer wait(const std::function<void(Done)>& start, std::stop_token stop,
                std::chrono::milliseconds limit);
};
