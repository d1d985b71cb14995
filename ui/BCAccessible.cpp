#include "BCAccessible.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QWidget>

namespace BCAccessible {

namespace {

QAccessibleInterface* factory(const QString& className, QObject* object) {
    static const QHash<QString, QAccessible::Role> roles = {
        {QStringLiteral("LWLaneCanvas"), QAccessible::Chart},
        {QStringLiteral("LWMonitor"), QAccessible::Animation},
        {QStringLiteral("BCChromeTitle"), QAccessible::StaticText},
        {QStringLiteral("BCSegment"), QAccessible::PageTabList},
        {QStringLiteral("LWCaptionRow"), QAccessible::Grouping},
        {QStringLiteral("LWRowList"), QAccessible::List},
    };
    const auto role = roles.constFind(className);
    if (role == roles.constEnd() || !object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), *role);
}

} // namespace

void install() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(factory);
}

} // namespace BCAccessible
