#include "LWJob.h"

#include "BCError.h"
#include "LWStore.h"

#include <QCoreApplication>

void LWJobContext::checkStop() const {
    if (stopRequested())
        throw BCCancelled{};
}

void LWJobContext::status(const QString& text, std::optional<double> fraction) const {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [state = m_state, text, fraction] {
            if (state->ended || !state->store)
                return; // late reports never revive a finished job
            state->store->setBusy(text);
            state->store->setProgress(fraction);
        },
        Qt::QueuedConnection);
}

void LWJobContext::notice(const QString& sentence) const {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [state = m_state, sentence] {
            if (!state->ended && state->store)
                state->store->setNote(sentence);
        },
        Qt::QueuedConnection);
}
