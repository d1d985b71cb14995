#include "LWCliProgress.h"

#include <algorithm>
#include <unistd.h>

LWCliProgress::LWCliProgress(std::FILE* out) : m_out(out), m_terminal(isatty(fileno(out)) == 1) {}

LWCliProgress::~LWCliProgress() {
    finish();
}

void LWCliProgress::update(const QString& label, double fraction) {
    if (!m_terminal)
        return;
    const std::lock_guard hold(m_lock);
    const QByteArray text = label.toUtf8();
    if (fraction >= 0 && fraction <= 1) {
        constexpr int width = 30;
        const int filled = std::clamp(int(fraction * width + 0.5), 0, width);
        std::fprintf(m_out, "\r\033[K%s [%s%s] %3d%%", text.constData(),
                     QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '-').constData(), int(fraction * 100 + 0.5));
    } else {
        std::fprintf(m_out, "\r\033[K%s", text.constData());
    }
    std::fflush(m_out);
    m_drawn = true;
}

void LWCliProgress::finish() {
    const std::lock_guard hold(m_lock);
    if (m_terminal && m_drawn) {
        std::fprintf(m_out, "\r\033[K");
        std::fflush(m_out);
    }
    m_drawn = false;
}
