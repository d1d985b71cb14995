#include "ELMemoryKeyStore.h"

void ELMemoryKeyStore::release() {
    m_holding = false;
    const QList<std::function<void()>> held = std::exchange(m_held, {});
    for (const auto& operation : held)
        operation();
}

void ELMemoryKeyStore::perform(std::function<void()> operation) {
    ++m_operations;
    if (m_holding)
        m_held.append(std::move(operation));
    else
        operation();
}

ELKeyStore::Failure ELMemoryKeyStore::writeFailure() const {
    return m_failure != Failure::none ? m_failure : m_writeFailure;
}

void ELMemoryKeyStore::readItem(ItemDone done) {
    perform([this, done = std::move(done)] {
        if (m_failure != Failure::none)
            done(m_failure, std::nullopt, QStringLiteral("told to fail"));
        else
            done(Failure::none, item, {});
    });
}

void ELMemoryKeyStore::writeItem(const QByteArray& value, ItemDone done) {
    perform([this, value, done = std::move(done)] {
        const Failure failure = writeFailure();
        if (failure == Failure::none)
            item = value;
        done(failure, std::nullopt, {});
    });
}

void ELMemoryKeyStore::deleteItem(ItemDone done) {
    perform([this, done = std::move(done)] {
        const Failure failure = writeFailure();
        if (failure == Failure::none)
            item.reset();
        done(failure, std::nullopt, {});
    });
}
