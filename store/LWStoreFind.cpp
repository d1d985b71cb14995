// The store's find and replace over caption texts.
#include "LWStore.h"

std::optional<CaptionFind::Match>
LWStore::findNext(const QString& pattern, const CaptionFind::Options& options, bool forward) {
    QString problem;
    const auto expression = CaptionFind::expression(pattern, options, &problem);
    if (!expression) {
        setNote(problem);
        m_hooks.beep();
        return std::nullopt;
    }
    // From the match last found while its caption is still selected, else from the selection.
    qsizetype caption = forward ? -1 : m_captions.size();
    qsizetype from = -1;
    if (const auto selectedIndex = indexOf(m_selected)) {
        caption = *selectedIndex;
        from = forward ? -1 : m_captions[caption].text.size() + 1;
        if (m_found && m_selected == m_foundId)
            from = m_found->from;
    }
    const auto match = CaptionFind::next(m_captions, *expression, caption, from, forward);
    if (!match) {
        setNote(QStringLiteral("“%1” isn't in any caption.").arg(pattern));
        m_hooks.beep();
        return std::nullopt;
    }
    m_found = match;
    m_foundId = m_captions[match->caption].id;
    setSelected(m_foundId);
    seek(m_captions[match->caption].start);
    emit foundChanged();
    return match;
}

void LWStore::setCaptionsAsOneStep(const Captions& captions) {
    m_history.lastKey.reset();
    setCaptions(captions);
    m_history.lastKey.reset();
}

void LWStore::replaceWord(const QUuid& id, qsizetype from, qsizetype length, const QString& with) {
    const auto index = indexOf(id);
    if (!index || from < 0 || length < 0 || from + length > m_captions[*index].text.size())
        return;
    Captions list = m_captions;
    list[*index].text.replace(from, length, with);
    setCaptionsAsOneStep(list);
}

void LWStore::replaceCurrent(const QString& pattern, const QString& replacement,
                             const CaptionFind::Options& options) {
    const auto expression = CaptionFind::expression(pattern, options);
    const auto index = indexOf(m_foundId);
    if (expression && m_found && index && m_selected == m_foundId) {
        // Only when the match last found is still there as it was.
        const QString& text = m_captions[*index].text;
        const auto m = expression->match(text, m_found->from);
        if (m.hasMatch() && m.capturedStart() == m_found->from &&
            m.capturedLength() == m_found->length) {
            const QString piece = text.mid(m_found->from, m_found->length);
            const QString with = CaptionFind::replaced(piece, *expression, replacement, options);
            Captions list = m_captions;
            list[*index].text =
                text.left(m_found->from) + with + text.mid(m_found->from + m_found->length);
            setCaptionsAsOneStep(list);
            // Go on after what was put in.
            m_found->from += with.size() - 1;
            m_found->length = 0;
        }
    }
    findNext(pattern, options, true);
}

void LWStore::replaceAll(const QString& pattern, const QString& replacement,
                         const CaptionFind::Options& options) {
    QString problem;
    const auto expression = CaptionFind::expression(pattern, options, &problem);
    if (!expression) {
        setNote(problem);
        m_hooks.beep();
        return;
    }
    Captions list = m_captions;
    int matches = 0;
    int captions = 0;
    for (Caption& caption : list) {
        int count = 0;
        caption.text =
            CaptionFind::replaced(caption.text, *expression, replacement, options, &count);
        matches += count;
        captions += count > 0 ? 1 : 0;
    }
    if (matches == 0) {
        setNote(QStringLiteral("“%1” isn't in any caption.").arg(pattern));
        m_hooks.beep();
        return;
    }
    setCaptionsAsOneStep(list);
    m_found.reset();
    emit foundChanged();
    setNote(QStringLiteral("Replaced %1 %2 in %3 %4.")
                .arg(matches)
                .arg(matches == 1 ? QStringLiteral("match") : QStringLiteral("matches"))
                .arg(captions)
                .arg(captions == 1 ? QStringLiteral("caption") : QStringLiteral("captions")));
}
