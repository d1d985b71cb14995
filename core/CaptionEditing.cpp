#include "CaptionEditing.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace CaptionMath {

std::optional<std::pair<Caption, Caption>> split(const Caption& caption, double t) {
    if (t <= caption.start + 0.1 || t >= caption.end - 0.1)
        return std::nullopt;
    static const QRegularExpression breaks(QStringLiteral("[ \\n]"));
    const QStringList words = caption.text.split(breaks, Qt::SkipEmptyParts);
    if (words.size() < 2) {
        return std::pair{Caption::make(caption.start, t, caption.text),
                         Caption::make(t, caption.end, QString())};
    }
    const qsizetype count = words.size();
    const double share = (t - caption.start) / std::max(caption.end - caption.start, 0.0);
    // 0 <= share < 1 here, since the caption is longer than 0.2 s.
    const qsizetype k = std::clamp<qsizetype>(qsizetype(share * double(count)), 1, count - 1);
    return std::pair{Caption::make(caption.start, t, words.mid(0, k).join(u' ')),
                     Caption::make(t, caption.end, words.mid(k).join(u' '))};
}

} // namespace CaptionMath
