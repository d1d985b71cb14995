#include "BCPreferences.h"

#include <QSettings>

namespace {

QSettings stored() {
    return QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"));
}

} // namespace

std::unique_ptr<BCPreferences> BCPreferences::user(bool writable) {
    return std::unique_ptr<BCPreferences>(new BCPreferences(true, writable));
}

std::unique_ptr<BCPreferences> BCPreferences::memory() {
    return std::unique_ptr<BCPreferences>(new BCPreferences(false, true));
}

QString BCPreferences::key(BCPref pref) {
    switch (pref) {
    case BCPref::language:
        return QStringLiteral("lw.language");
    case BCPref::sidecars:
        return QStringLiteral("lw.sidecars");
    case BCPref::songMode:
        return QStringLiteral("lw.songMode");
    case BCPref::markSpeakers:
        return QStringLiteral("lw.markSpeakers");
    case BCPref::style:
        return QStringLiteral("lw.style");
    case BCPref::lastSaveFolder:
        return QStringLiteral("lw.lastSaveFolder");
    case BCPref::whisperModel:
        return QStringLiteral("lw.whisperModel");
    case BCPref::engine:
        return QStringLiteral("el.engine2");
    case BCPref::voice:
        return QStringLiteral("el.voice");
    case BCPref::speechModel:
        return QStringLiteral("el.model");
    case BCPref::scribeModel:
        return QStringLiteral("el.scribe");
    case BCPref::zoom:
        return QStringLiteral("brct.ui.zoom");
    case BCPref::theme:
        return QStringLiteral("brct.ui.theme");
    case BCPref::recentFiles:
        return QStringLiteral("lw.recentFiles");
    case BCPref::checkLimits:
        return QStringLiteral("lw.checks");
    case BCPref::whisperGPU:
        return QStringLiteral("lw.whisperGPU");
    }
    return {};
}

QVariant BCPreferences::value(BCPref pref) const {
    return m_persistent ? stored().value(key(pref)) : m_memory.value(key(pref));
}

bool BCPreferences::contains(BCPref pref) const {
    return m_persistent ? stored().contains(key(pref)) : m_memory.contains(key(pref));
}

bool BCPreferences::flag(BCPref pref, bool fallback) const {
    return contains(pref) ? value(pref).toBool() : fallback;
}

void BCPreferences::setValue(BCPref pref, const QVariant& value) {
    if (!m_writable)
        return;
    if (m_persistent)
        stored().setValue(key(pref), value);
    else
        m_memory.insert(key(pref), value);
}

void BCPreferences::remove(BCPref pref) {
    if (!m_writable)
        return;
    if (m_persistent)
        stored().remove(key(pref));
    else
        m_memory.remove(key(pref));
}
