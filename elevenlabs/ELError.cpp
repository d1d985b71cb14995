#include "ELError.h"

ELError::ELError(Kind kind, int status, QString text)
    : BCError(description(kind, status, text)), m_kind(kind), m_status(status),
      m_text(std::move(text)) {}

QString ELError::description(Kind kind, int status, const QString& text) {
    switch (kind) {
    case Kind::server:
        return QStringLiteral("ElevenLabs had a problem on their side (error %1). Try again later.")
            .arg(QString::number(status));
    case Kind::rejected:
        return QStringLiteral("ElevenLabs refused the request: ") + text;
    case Kind::noKey:
        return QStringLiteral("No ElevenLabs API key is set. Open Settings (Ctrl+,) and paste your "
                              "own key from %1 > Developers > API Keys.")
            .arg(websiteDomain());
    case Kind::badKey:
        return QStringLiteral(
                   "ElevenLabs didn't accept the API key. Check it in Settings (Ctrl+,): copy it "
                   "again from %1 > Developers > API Keys, and make sure it has Text to Speech, "
                   "Voices, Models and Speech to Text access.")
            .arg(websiteDomain());
    case Kind::noCredits:
        return QStringLiteral("Your ElevenLabs account is out of credits (or this feature isn't in "
                              "your plan). Add credits or upgrade at %1, then try again.")
            .arg(websiteDomain());
    case Kind::offline:
        return QStringLiteral("Can't reach ElevenLabs — this computer seems to be offline. Check "
                              "the internet connection and try again.");
    case Kind::timedOut:
        return QStringLiteral("ElevenLabs took too long to answer. Try again in a moment (long "
                              "files take longer).");
    case Kind::rateLimited:
        return QStringLiteral("ElevenLabs is busy or your plan's limit for simultaneous requests "
                              "was reached. Wait a few seconds and try again.");
    case Kind::badResponse:
        return QStringLiteral("ElevenLabs sent an answer Lorowen Pro couldn't read.");
    }
    return {};
}
