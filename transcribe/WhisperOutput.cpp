#include "WhisperOutput.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

constexpr qsizetype logCap = 20000;     // characters kept before trimming
constexpr qsizetype logKeep = 8000;     // characters kept after trimming
constexpr qsizetype pendingCap = 65536; // a "line" without end this long is not a progress line

// Complete lines of `pending` + `bytes`; the unfinished rest stays in `pending`.
QList<QByteArray> takeLines(QByteArray& pending, const QByteArray& bytes) {
    pending += bytes;
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending[i] == '\n' || pending[i] == '\r') {
            if (i > start)
                lines.append(pending.mid(start, i - start));
            start = i + 1;
        }
    }
    pending.remove(0, start);
    if (pending.size() > pendingCap)
        pending.clear();
    return lines;
}

// Seconds of "hh:mm:ss.mmm", or nothing.
std::optional<double> clockSeconds(const QByteArray& text) {
    const QList<QByteArray> pieces = text.split(':');
    QList<double> numbers;
    for (const QByteArray& piece : pieces) {
        bool ok = false;
        const double v = piece.trimmed().toDouble(&ok); // locale-free
        if (ok && std::isfinite(v))
            numbers.append(v);
    }
    if (numbers.size() != 3)
        return std::nullopt;
    return numbers[0] * 3600 + numbers[1] * 60 + numbers[2];
}

} // namespace

WhisperOutput::WhisperOutput(double audioSeconds) : m_seconds(std::max(audioSeconds, 1.0)) {}

std::optional<double> WhisperOutput::offer(double fraction) {
    const double f = std::min(fraction, 0.99);
    std::lock_guard guard(m_best.l);
    if (!(m_best.v + 0.002 < f))
        return std::nullopt;
    m_best.v = f;
    return f;
}

std::optional<double> WhisperOutput::feedStdout(const QByteArray& bytes) {
    std::optional<double> reported;
    for (const QByteArray& line : takeLines(m_outPending, bytes)) {
        const qsizetype arrow = line.indexOf("--> ");
        if (!line.startsWith('[') || arrow < 0)
            continue;
        const auto t = clockSeconds(line.mid(arrow + 4, 12));
        if (!t)
            continue;
        if (auto f = offer(*t / m_seconds))
            reported = f;
    }
    return reported;
}

std::optional<double> WhisperOutput::feedStderr(const QByteArray& bytes) {
    QList<QByteArray> lines;
    {
        std::lock_guard guard(m_log.l);
        lines = takeLines(m_log.pending, bytes);
        for (const QByteArray& line : lines) {
            m_log.text += QString::fromUtf8(line) + u'\n';
            if (line.trimmed().startsWith("error:"))
                m_log.error = true;
        }
        if (m_log.text.size() > logCap)
            m_log.text = m_log.text.right(logKeep);
    }
    std::optional<double> reported;
    for (const QByteArray& line : lines) {
        if (!line.contains("progress ="))
            continue;
        QByteArray value = line.split('=').last().trimmed();
        while (value.endsWith('%') || value.endsWith(' '))
            value.chop(1);
        while (value.startsWith('%') || value.startsWith(' '))
            value.remove(0, 1);
        bool ok = false;
        const double percent = value.toDouble(&ok);
        if (!ok || !std::isfinite(percent))
            continue;
        if (auto f = offer(percent / 100))
            reported = f;
    }
    return reported;
}

QString WhisperOutput::lastLines() const {
    QString text;
    {
        std::lock_guard guard(m_log.l);
        text = m_log.text + QString::fromUtf8(m_log.pending);
    }
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines.mid(std::max<qsizetype>(lines.size() - 3, 0)).join(u' ').left(300);
}

bool WhisperOutput::sawError() const {
    std::lock_guard guard(m_log.l);
    return m_log.error;
}
