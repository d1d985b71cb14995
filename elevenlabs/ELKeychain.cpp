#include "ELKeychain.h"

#include <qt6keychain/keychain.h>

namespace {

ELKeyStore::Failure failureOf(QKeychain::Error error) {
    switch (error) {
    case QKeychain::NoError:
    case QKeychain::EntryNotFound:
        return ELKeyStore::Failure::none;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::CouldNotDeleteEntry:
        return ELKeyStore::Failure::denied;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        // With no session bus, or no Secret Service on it, every request ends here.
        break;
    }
    return ELKeyStore::Failure::unreachable;
}

template <typename Job> Job* prepared(Job* job) {
    job->setKey(ELKeychain::account());
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    return job;
}

} // namespace

void ELKeychain::readItem(ItemDone done) {
    auto* job = prepared(new QKeychain::ReadPasswordJob(service()));
    connect(job, &QKeychain::Job::finished, this, [done = std::move(done)](QKeychain::Job* j) {
        if (j->error() == QKeychain::EntryNotFound)
            done(Failure::none, std::nullopt, {});
        else if (j->error() != QKeychain::NoError)
            done(failureOf(j->error()), std::nullopt, j->errorString());
        else
            done(Failure::none, static_cast<QKeychain::ReadPasswordJob*>(j)->binaryData(), {});
    });
    job->start();
}

void ELKeychain::writeItem(const QByteArray& value, ItemDone done) {
    auto* job = prepared(new QKeychain::WritePasswordJob(service()));
    // Stored as text, so that the desktop's keyring manager shows the key as the user typed it.
    job->setTextData(QString::fromUtf8(value));
    connect(job, &QKeychain::Job::finished, this, [done = std::move(done)](QKeychain::Job* j) {
        done(failureOf(j->error()), std::nullopt, j->errorString());
    });
    job->start();
}

void ELKeychain::deleteItem(ItemDone done) {
    auto* job = prepared(new QKeychain::DeletePasswordJob(service()));
    connect(job, &QKeychain::Job::finished, this, [done = std::move(done)](QKeychain::Job* j) {
        done(failureOf(j->error()), std::nullopt, j->errorString());
    });
    job->start();
}
