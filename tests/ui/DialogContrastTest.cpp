// Every dialog the window opens is readable in every theme. Without a desktop file-chooser
// portal the open and save panels are Qt's own file dialog, which inherits the window's style
// sheet: its file names were once near-white on the desktop's white list. Each dialog is opened
// on the real window and grabbed twice, with and without the text of one widget; the pixels the
// text changes give its ink against what lies behind it, and their contrast (relative luminance,
// as WCAG measures it) must reach 4.5:1.
#include "BCTheme.h"
#include "BCUI.h"
#include "LWMainWindow.h"
#include "LWStore.h"
#include "TestServices.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

double luminance(QRgb pixel) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast between a pixel drawn with the text and the same pixel without it: the
// ink of the text against its background. 0 when the text changed nothing.
double inkContrast(const QImage& inked, const QImage& blank) {
    double best = 0;
    for (int y = 0; y < inked.height(); ++y) {
        for (int x = 0; x < inked.width(); ++x) {
            const QRgb with = inked.pixel(x, y);
            const QRgb without = blank.pixel(x, y);
            if (with != without)
                best = std::max(best, contrast(with, without));
        }
    }
    return best;
}

// Draws items as they are, without their text.
class BlankText : public QStyledItemDelegate {
protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text.clear();
    }
};

// A header's model without its titles.
class BlankTitles : public QIdentityProxyModel {
public:
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role == Qt::DisplayRole)
            return QString();
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
};

struct Reading {
    QString what;
    QString kind; // "item view", "label", "line edit", "button", "header", "combo box"
    double ratio = 0;
};

// Measures the text of every visible, enabled widget of `dialog` that shows some.
QList<Reading> readDialog(QWidget* dialog) {
    QList<Reading> readings;
    const auto measure = [dialog, &readings](QWidget* widget, const QString& kind,
                                             const std::function<void()>& blank,
                                             const std::function<void()>& restore) {
        const QRect area(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
        const QImage inked = dialog->grab(area).toImage();
        blank();
        const QImage without = dialog->grab(area).toImage();
        restore();
        const QString name = widget->objectName().isEmpty()
                                 ? QString::fromLatin1(widget->metaObject()->className())
                                 : widget->objectName();
        readings.append({name, kind, inkContrast(inked, without)});
    };
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->width() < 4)
            continue;
        if (auto* header = qobject_cast<QHeaderView*>(widget)) {
            if (!header->model() || header->count() == 0)
                continue;
            BlankTitles blank;
            blank.setSourceModel(header->model());
            QAbstractItemModel* original = header->model();
            const QByteArray state = header->saveState();
            measure(
                header, QStringLiteral("header"),
                [&] {
                    header->setModel(&blank);
                    header->restoreState(state);
                },
                [&] {
                    header->setModel(original);
                    header->restoreState(state);
                });
        } else if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
            if (!view->model() || view->model()->rowCount(view->rootIndex()) == 0)
                continue;
            BlankText blank;
            QAbstractItemDelegate* original = view->itemDelegate();
            measure(
                view->viewport(), QStringLiteral("item view"),
                [&] { view->setItemDelegate(&blank); }, [&] { view->setItemDelegate(original); });
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QString text = label->text();
            if (text.trimmed().isEmpty())
                continue;
            measure(
                label, QStringLiteral("label"), [&] { label->setText(QString()); },
                [&] { label->setText(text); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->text().isEmpty())
                edit->setText(QStringLiteral("Interview take 3"));
            const QString text = edit->text();
            const QString placeholder = edit->placeholderText();
            measure(
                edit, QStringLiteral("line edit"),
                [&] {
                    edit->setText(QString());
                    edit->setPlaceholderText(QString());
                },
                [&] {
                    edit->setText(text);
                    edit->setPlaceholderText(placeholder);
                });
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            const int row = combo->currentIndex();
            if (combo->isEditable() || row < 0 || combo->currentText().isEmpty())
                continue; // an editable one's text is its line edit's
            // Quietly, so that the file dialog does not go to another folder.
            const QSignalBlocker quiet(combo);
            measure(
                combo, QStringLiteral("combo box"), [&] { combo->setCurrentIndex(-1); },
                [&] { combo->setCurrentIndex(row); });
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const auto* tool = qobject_cast<QToolButton*>(button);
            const QString text = button->text();
            if (text.isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                continue;
            measure(
                button, QStringLiteral("button"), [&] { button->setText(QString()); },
                [&] { button->setText(text); });
        }
    }
    return readings;
}

// Runs `look` on the modal dialog that `open` shows, then rejects it.
void whileOpen(const std::function<void()>& open, const std::function<void(QDialog*)>& look) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        poll.stop();
        look(dialog);
        dialog->reject();
    });
    poll.start();
    open();
    EXPECT_TRUE(seen) << "no dialog opened";
}

class DialogContrast : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<LWMainWindow>(services.get());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(folder.isValid());
        for (const char* name : {"Interview take 1.mp4", "Interview take 2.mov", "Notes.srt"}) {
            QFile file(folder.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("x");
        }
        QDir(folder.path()).mkdir(QStringLiteral("Clips"));
    }
    void TearDown() override {
        window.reset();
        BCUI::shared().setTheme(BCTheme::all().front());
    }

    // Every reading at least 4.5:1; and each kind in `kinds` was read at least once.
    static void expectReadable(const QList<Reading>& readings, const QString& dialog,
                               const QStringList& kinds) {
        QStringList seen;
        for (const Reading& reading : readings) {
            EXPECT_GE(reading.ratio, 4.5)
                << dialog.toStdString() << ": " << reading.kind.toStdString() << " "
                << reading.what.toStdString() << " in " << BCUI::shared().theme().id.toStdString();
            seen << reading.kind;
        }
        for (const QString& kind : kinds)
            EXPECT_TRUE(seen.contains(kind))
                << dialog.toStdString() << ": no " << kind.toStdString();
    }

    QList<Reading> readFileDialog(QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        EXPECT_NE(files, nullptr);
        if (!files)
            return {};
        files->setDirectory(folder.path());
        files->setViewMode(QFileDialog::Detail); // the dialog may remember the last one
        // The folder is read in the background; wait for its folder and two videos.
        for (int i = 0; i < 250; ++i) {
            const auto* view = files->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
            if (view && view->model()->rowCount(view->rootIndex()) >= 3)
                break;
            QTest::qWait(20);
        }
        QList<Reading> readings = readDialog(files);
        files->setViewMode(QFileDialog::List);
        QTest::qWait(20);
        readings += readDialog(files);
        return readings;
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
    QTemporaryDir folder;
};

TEST_F(DialogContrast, EveryDialogIsReadableInEveryTheme) {
    for (const BCTheme& theme : BCTheme::all()) {
        BCUI::shared().setTheme(theme);
        // The open panel, as File > Open shows it.
        whileOpen([this] { window->store().chooseFile(); },
                  [this](QDialog* dialog) {
                      expectReadable(readFileDialog(dialog), QStringLiteral("open panel"),
                                     {QStringLiteral("item view"), QStringLiteral("header"),
                                      QStringLiteral("label"), QStringLiteral("line edit"),
                                      QStringLiteral("button"), QStringLiteral("combo box")});
                  });
        // An alert, as the window's hooks make it.
        {
            QMessageBox box(window.get());
            box.setIcon(QMessageBox::Warning);
            box.setText(QStringLiteral("Can't open “Interview take 1.mp4”"));
            box.setInformativeText(QStringLiteral("The file has no video or audio track."));
            box.addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
            box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
            box.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
            expectReadable(readDialog(&box), QStringLiteral("message box"),
                           {QStringLiteral("label"), QStringLiteral("button")});
        }
        // The colour picker, from the Style bay's "Text" well.
        QPushButton* well = nullptr;
        for (auto* button : window->findChildren<QPushButton*>()) {
            if (button->accessibleName() == QStringLiteral("Text colour"))
                well = button;
        }
        ASSERT_NE(well, nullptr);
        whileOpen([well] { well->click(); },
                  [](QDialog* dialog) {
                      EXPECT_NE(qobject_cast<QColorDialog*>(dialog), nullptr);
                      expectReadable(readDialog(dialog), QStringLiteral("colour picker"),
                                     {QStringLiteral("label"), QStringLiteral("line edit"),
                                      QStringLiteral("button")});
                  });
    }
}

} // namespace
