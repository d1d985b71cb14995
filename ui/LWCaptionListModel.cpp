#include "LWCaptionListModel.h"

#include "CaptionMath.h"
#include "LWStore.h"

LWCaptionListModel::LWCaptionListModel(LWStore& store, QObject* parent)
    : QAbstractListModel(parent), m_store(store) {
    connect(&m_store, &LWStore::captionsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int LWCaptionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_store.captions().size());
}

QVariant LWCaptionListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_store.captions().size())
        return {};
    const Caption& c = m_store.captions()[index.row()];
    if (role == Qt::DisplayRole) {
        QString text = c.text;
        text.replace(u'\n', QStringLiteral(" / "));
        return QStringLiteral("%1 – %2   %3")
            .arg(CaptionMath::stamp(c.start, u'.'), CaptionMath::stamp(c.end, u'.'), text);
    }
    if (role == Qt::ToolTipRole)
        return c.text;
    return {};
}
