#pragma once

#include <QAbstractListModel>
#include <QPointer>

class LWStore;

// A read-only list of the store's captions, one row each: "start – end  text".
class LWCaptionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit LWCaptionListModel(LWStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    LWStore& m_store;
};
