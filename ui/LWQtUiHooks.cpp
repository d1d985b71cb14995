#include "LWQtUiHooks.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

// "MP4, MOV (*.mp4 *.MP4 *.mov *.MOV)": file names on Linux are matched case by case.
QString nameFilter(const QStringList& extensions) {
    if (extensions.isEmpty())
        return {};
    QStringList patterns;
    for (const QString& extension : extensions) {
        patterns.append(QStringLiteral("*.") + extension.toLower());
        patterns.append(QStringLiteral("*.") + extension.toUpper());
    }
    return QStringLiteral("%1 (%2)").arg(extensions.join(QStringLiteral(", ")).toUpper(),
                                         patterns.join(u' '));
}

// Shows a panel's message under its file list (the panel drawn by Qt has a grid layout), or in
// its title when the desktop draws the panel.
void showMessage(QFileDialog& dialog, const QString& message) {
    if (message.isEmpty())
        return;
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* label = new QLabel(message, &dialog);
        label->setObjectName(QStringLiteral("panelMessage"));
        label->setWordWrap(true);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (dialog.windowTitle().isEmpty()) {
        dialog.setWindowTitle(message);
    }
}

} // namespace

std::optional<QString> LWQtUiHooks::openPanel(const OpenPanel& panel) {
    QFileDialog dialog(m_window, panel.title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The listed kinds first; any other file can still be picked, and the opener converts
    // what it can (Matroska, WebM, …).
    if (!panel.extensions.isEmpty())
        dialog.setNameFilters({nameFilter(panel.extensions), QStringLiteral("All files (*)")});
    showMessage(dialog, panel.message);
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
    showMessage(dialog, panel.message);
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
