#include "LWQtUiHooks.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

QString nameFilter(const QStringList& extensions) {
    if (extensions.isEmpty())
        return {};
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns.append(QStringLiteral("*.") + extension);
    return QStringLiteral("%1 (%2)").arg(extensions.join(QStringLiteral(", ")).toUpper(),
                                         patterns.join(u' '));
}

} // namespace

std::optional<QString> LWQtUiHooks::openPanel(const OpenPanel& panel) {
    QFileDialog dialog(m_window, panel.title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!panel.extensions.isEmpty())
        dialog.setNameFilter(nameFilter(panel.extensions));
    if (!panel.message.isEmpty())
        dialog.setLabelText(QFileDialog::LookIn, panel.message);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QString> LWQtUiHooks::savePanel(const SavePanel& panel) {
    QFileDialog dialog(m_window, panel.title);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!panel.extensions.isEmpty()) {
        dialog.setNameFilter(nameFilter(panel.extensions));
        dialog.setDefaultSuffix(panel.extensions.first());
    }
    if (!panel.startFolder.isEmpty())
        dialog.setDirectory(panel.startFolder);
    dialog.selectFile(panel.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

int LWQtUiHooks::question(const QString& title, const QString& message,
                          const QStringList& buttons) {
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Question);
    box.setText(title);
    box.setInformativeText(message);
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole
                                 : (i == buttons.size() - 1 ? QMessageBox::RejectRole
                                                            : QMessageBox::DestructiveRole);
        made.append(box.addButton(buttons[i], role));
    }
    if (!made.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
        box.setEscapeButton(made.last());
    }
    box.exec();
    const auto index = made.indexOf(box.clickedButton());
    return index < 0 ? int(made.size()) - 1 : int(index);
}

void LWQtUiHooks::alert(const QString& title, const QString& message) {
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setText(title);
    box.setInformativeText(message);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void LWQtUiHooks::beep() {
    QApplication::beep();
}

void LWQtUiHooks::reveal(const QString& path) {
    const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{uri} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}
