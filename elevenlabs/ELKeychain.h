#pragma once

#include "ELKeyStore.h"

// The key in the desktop keyring through the Secret Service (QtKeychain): one item of the
// service "com.brindlecote.LorowenPro.elevenlabs" and the account "ElevenLabs API key". There
// is never a plaintext fallback: when no keyring answers, operations fail with `unreachable`
// and nothing is written anywhere else.
//
// The keyring may wait for the user to unlock it (a password prompt), and it answers its
// requests one at a time: a request stuck behind a prompt holds up the later ones. Callers
// never block the window on it: they use the asynchronous operations, or the waiting ones with a
// time limit off the main thread. Needs the thread's event loop to run (GLib's main context on
// the main thread, which Qt's event loop drives).
class ELKeychain : public ELKeyStore {
    Q_OBJECT
public:
    using ELKeyStore::ELKeyStore;

    static QString service() { return QStringLiteral("com.brindlecote.LorowenPro.elevenlabs"); }
    static QString account() { return QStringLiteral("ElevenLabs API key"); }

protected:
    void readItem(ItemDone done) override;
    void writeItem(const QByteArray& value, ItemDone done) override;
    void deleteItem(ItemDone done) override;
};
