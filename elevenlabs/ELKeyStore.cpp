#include "ELKeyStore.h"

#include "BCError.h"
#include "ELError.h"
#include "ELKeychain.h"
#include "ELMemoryKeyStore.h"

#include <QEventLoop>
#include <QPointer>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <mutex>

void ELKeyStore::answerLater(Done done, Answer answer) {
    QMetaObject::invokeMethod(
        this, [done = std::move(done), answer = std::move(answer)] { done(answer); },
        Qt::QueuedConnection);
}

void ELKeyStore::read(Done done) {
    readItem([this, done = std::move(done)](Failure failure, std::optional<QByteArray> data,
                                            const QString& detail) mutable {
        Answer answer{failure, std::nullopt, detail};
        if (failure == Failure::none && data) {
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString text = utf8(*data);
            if (!utf8.hasError() && !text.isEmpty())
                answer.key = text;
        }
        answerLater(std::move(done), std::move(answer));
    });
}

void ELKeyStore::save(const QString& key, Done done) {
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty()) {
        remove(std::move(done));
        return;
    }
    writeItem(trimmed.toUtf8(),
              [this, done = std::move(done)](Failure failure, std::optional<QByteArray>,
                                             const QString& detail) mutable {
                  answerLater(std::move(done), Answer{failure, std::nullopt, detail});
              });
}

void ELKeyStore::remove(Done done) {
    deleteItem([this, done = std::move(done)](Failure failure, std::optional<QByteArray>,
                                              const QString& detail) mutable {
        answerLater(std::move(done), Answer{failure, std::nullopt, detail});
    });
}

ELKeyStore::Answer ELKeyStore::wait(const std::function<void(Done)>& start, std::stop_token stop,
                                    std::chrono::milliseconds limit) {
    if (stop.stop_requested())
        throw BCCancelled();
    struct Shared {
        std::mutex mutex;
        std::condition_variable_any arrived;
        std::optional<Answer> answer;
    };
    const auto shared = std::make_shared<Shared>();

    if (QThread::currentThread() == thread()) {
        QEventLoop loop;
        // The answer may come after the time limit, when this loop is gone.
        const QPointer<QEventLoop> waiting(&loop);
        const Done done = [shared, waiting](const Answer& answer) {
            shared->answer = answer;
            if (waiting)
                waiting->quit();
        };
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        const std::stop_callback onStop(stop, [&loop] {
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        start(done);
        loop.exec();
    } else {
        const Done done = [shared](const Answer& answer) {
            {
                const std::lock_guard lock(shared->mutex);
                shared->answer = answer;
            }
            shared->arrived.notify_all();
        };
        QMetaObject::invokeMethod(
            this, [start, done] { start(done); }, Qt::QueuedConnection);
        std::unique_lock lock(shared->mutex);
        shared->arrived.wait_for(lock, stop, limit,
                                 [&shared] { return shared->answer.has_value(); });
    }

    const std::lock_guard lock(shared->mutex);
    if (shared->answer)
        return *shared->answer;
    if (stop.stop_requested())
        throw BCCancelled();
    return Answer{Failure::noAnswer, std::nullopt, QStringLiteral("no answer in time")};
}

ELKeyStore::Answer ELKeyStore::readNow(std::stop_token stop, std::chrono::milliseconds limit) {
    return wait([this](Done done) { read(std::move(done)); }, stop, limit);
}

ELKeyStore::Answer ELKeyStore::saveNow(const QString& key, std::stop_token stop,
                                       std::chrono::milliseconds limit) {
    return wait([this, key](Done done) { save(key, std::move(done)); }, stop, limit);
}

ELKeyStore::Answer ELKeyStore::removeNow(std::stop_token stop, std::chrono::milliseconds limit) {
    return wait([this](Done done) { remove(std::move(done)); }, stop, limit);
}

QString ELKeyStore::keyForJob(std::stop_token stop, std::chrono::milliseconds limit) {
    const Answer answer = readNow(stop, limit);
    if (!answer.ok())
        throw BCError(sentence(Operation::read, answer.failure), answer.detail);
    if (!answer.key)
        throw ELError::noKey();
    return *answer.key;
}

QString ELKeyStore::sentence(Operation operation, Failure failure) {
    switch (failure) {
    case Failure::none:
        return {};
    case Failure::unreachable:
        switch (operation) {
        case Operation::read:
            return QStringLiteral(
                "Lorowen Pro couldn't reach a keyring on this computer, so it can't read your "
                "ElevenLabs key. Make sure your desktop's keyring (for example GNOME Keyring) is "
                "running, then try again.");
        case Operation::save:
            return QStringLiteral(
                "Lorowen Pro couldn't reach a keyring on this computer, so the key wasn't saved. "
                "Make sure your desktop's keyring (for example GNOME Keyring) is running, then "
                "try again.");
        case Operation::remove:
            return QStringLiteral(
                "Lorowen Pro couldn't reach a keyring on this computer, so the key wasn't "
                "removed. Make sure your desktop's keyring (for example GNOME Keyring) is "
                "running, then try again.");
        }
        break;
    case Failure::denied:
        switch (operation) {
        case Operation::read:
            return QStringLiteral("The keyring refused to give out your ElevenLabs key. Unlock "
                                  "the keyring and try again.");
        case Operation::save:
            return QStringLiteral(
                "The keyring refused to save the key. Unlock the keyring and try again.");
        case Operation::remove:
            return QStringLiteral(
                "The keyring refused to remove the key. Unlock the keyring and try again.");
        }
        break;
    case Failure::noAnswer:
        switch (operation) {
        case Operation::read:
            return QStringLiteral(
                "The keyring didn't answer when Lorowen Pro asked for your ElevenLabs key. "
                "Unlock the keyring if it asks for its password, then try again.");
        case Operation::save:
            return QStringLiteral("The keyring didn't answer, so the key wasn't saved. Unlock the "
                                  "keyring if it asks for its password, then try again.");
        case Operation::remove:
            return QStringLiteral("The keyring didn't answer, so the key wasn't removed. Unlock "
                                  "the keyring if it asks for its password, then try again.");
        }
        break;
    }
    return {};
}

std::unique_ptr<ELKeyStore> ELKeyStore::system() {
    if (qEnvironmentVariable("BRCT_ELEVENLABS_KEYSTORE") == QLatin1String("memory"))
        return std::make_unique<ELMemoryKeyStore>();
    return std::make_unique<ELKeychain>();
}
