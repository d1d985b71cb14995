#pragma once

#include "BCError.h"

#include <QString>

// Every way an ElevenLabs request can fail, each with one sentence for the user (`message()`).
// Equal when the kind and its value (the status of `server`, the text of `rejected`) are equal.
class ELError : public BCError {
public:
    enum class Kind {
        server,      // the service failed (status 500 and above)
        rejected,    // the service refused the request, with its reason
        noKey,       // no API key is stored
        badKey,      // the key was not accepted (401, 403)
        noCredits,   // out of credits or not in the plan
        offline,     // the service could not be reached
        timedOut,    // the service took too long
        rateLimited, // too many requests at once (429)
        badResponse, // an answer of the wrong shape
    };

    static ELError server(int status) { return ELError(Kind::server, status, {}); }
    static ELError rejected(const QString& text) { return ELError(Kind::rejected, 0, text); }
    static ELError noKey() { return ELError(Kind::noKey, 0, {}); }
    static ELError badKey() { return ELError(Kind::badKey, 0, {}); }
    static ELError noCredits() { return ELError(Kind::noCredits, 0, {}); }
    static ELError offline() { return ELError(Kind::offline, 0, {}); }
    static ELError timedOut() { return ELError(Kind::timedOut, 0, {}); }
    static ELError rateLimited() { return ELError(Kind::rateLimited, 0, {}); }
    static ELError badResponse() { return ELError(Kind::badResponse, 0, {}); }

    Kind kind() const { return m_kind; }
    // The HTTP status of `server`; 0 otherwise.
    int status() const { return m_status; }
    // The reason given with `rejected`; empty otherwise.
    const QString& text() const { return m_text; }

    // The user's sentence for a kind, as `message()` gives it.
    static QString description(Kind kind, int status = 0, const QString& text = {});
    // The website named in the sentences that send the user to their account.
    static QString websiteDomain() { return QStringLiteral("elevenlabs.io"); }

    friend bool operator==(const ELError& a, const ELError& b) {
        return a.m_kind == b.m_kind && a.m_status == b.m_status && a.m_text == b.m_text;
    }

private:
    ELError(Kind kind, int status, QString text);

    Kind m_kind;
    int m_status;
    QString m_text;
};
