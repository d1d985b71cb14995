#pragma once

#include "ELKeyStore.h"

#include <QList>

// A key store that keeps the key in memory only, for tests and screenshots: nothing is written
// anywhere and nothing waits on a keyring. It can be told to fail, or to hold its answers back
// as a keyring waiting for its password does. Main thread, like every key store.
class ELMemoryKeyStore : public ELKeyStore {
    Q_OBJECT
public:
    using ELKeyStore::ELKeyStore;

    // The stored item's bytes; tests may read and set it directly.
    std::optional<QByteArray> item;

    // Every later operation fails with `failure` and changes nothing (`none`: they work again).
    void setFailure(Failure failure) { m_failure = failure; }
    // The same for saving and deleting only; reading still works.
    void setWriteFailure(Failure failure) { m_writeFailure = failure; }
    // While held, operations wait; release() carries them out in order.
    void hold() { m_holding = true; }
    void release();
    // Operations asked for so far.
    int operations() const { return m_operations; }

protected:
    void readItem(ItemDone done) override;
    void writeItem(const QByteArray& value, ItemDone done) override;
    void deleteItem(ItemDone done) override;

private:
    void perform(std::function<void()> operation);
    Failure writeFailure() const;

    Failure m_failure = Failure::none;
    Failure m_writeFailure = Failure::none;
    bool m_holding = false;
    int m_operations = 0;
    QList<std::function<void()>> m_held;
};
