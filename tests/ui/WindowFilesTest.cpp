// Files into the window: drops on the picture and on the caption list, File > Open Recent, and
// the open panels' choices and messages. Driven through the real window and its real dialogs.
#include "FakePlayer.h"
#include "LWJob.h"
#include "LWMainWindow.h"
#include "LWMonitor.h"
#include "LWStack.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

class WindowFiles : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<LWMainWindow>(services.get());
        window->store().setPlayer(std::make_unique<FakePlayer>());
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override { window.reset(); }

    LWStore& store() { return window->store(); }

    // Drops `files` on `target` at its centre, as a file manager would.
    static void drop(QWidget* target, const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        const QPointF at = QPointF(target->rect().center());
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    // Runs `act`, answering the first modal dialog it opens with `answer`, which sees the dialog
    // and closes it. Returns whether a dialog came.
    static bool withDialog(const std::function<void()>& act,
                           const std::function<void(QWidget*)>& answer) {
        bool came = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                poll.stop();
                came = true;
                answer(modal);
            }
        });
        poll.start();
        act();
        spinUntil([&] { return came; }, 2000);
        return came;
    }

    void openAndWait(const QString& path) {
        store().open(path);
        ASSERT_TRUE(spinUntil([&] { return !store().isBusy(); }, 60000));
    }

    QMenu* recentMenu() { return window->findChild<QMenu*>(QStringLiteral("openRecent")); }
    QStringList recentItems() {
        QMenu* menu = recentMenu();
        emit menu->aboutToShow();
        QStringList names;
        for (QAction* item : menu->actions()) {
            if (!item->isSeparator())
                names << item->text() + (item->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return names;
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
    MediaFixtures fixtures;
    TestFolder folder;
};

TEST_F(WindowFiles, DropsOpenMediaImportCaptionsOnTheListAndRefuseTheRest) {
    const QString srt =
        folder.write(QStringLiteral("talk.srt"), "1\n00:00:00,500 --> 00:00:01,500\nHello there\n");
    const QString pdf = folder.write(QStringLiteral("notes.pdf"), "%PDF-1.4");
    window->showBay(0);

    // Something the window doesn't open, on the picture: the alert names what it takes.
    struct Refused {
        const char* what;
        QStringList files;
    };
    const Refused refusals[] = {{"a document", {pdf}}, {"a caption file on the picture", {srt}}};
    for (const Refused& r : refusals) {
        SCOPED_TRACE(r.what);
        QString text;
        QString detail;
        EXPECT_TRUE(withDialog([&] { drop(window->monitor(), r.files); },
                               [&](QWidget* dialog) {
                                   auto* box = qobject_cast<QMessageBox*>(dialog);
                                   ASSERT_NE(box, nullptr);
                                   text = box->text();
                                   detail = box->informativeText();
                                   box->accept();
                               }));
        EXPECT_EQ(text, QStringLiteral("That file type isn't supported"));
        EXPECT_TRUE(detail.startsWith(QStringLiteral("Supported: "))) << detail.toStdString();
        EXPECT_TRUE(detail.contains(QStringLiteral("mp4"))) << detail.toStdString();
        EXPECT_FALSE(store().isBusy());
        EXPECT_FALSE(store().media().has_value());
        EXPECT_TRUE(store().captions().isEmpty());
    }

    // The caption file on the caption list is imported.
    drop(window->stack(), {pdf, srt});
    ASSERT_EQ(store().captions().size(), 1);
    EXPECT_EQ(store().captions().first().text, QStringLiteral("Hello there"));
    EXPECT_DOUBLE_EQ(store().captions().first().start, 0.5);

    // A video among other files, dropped on the picture, opens.
    drop(window->monitor(), {pdf, fixtures.path(MediaFixtures::mp4)});
    ASSERT_TRUE(spinUntil([&] { return !store().isBusy(); }, 60000));
    ASSERT_TRUE(store().media().has_value());
    EXPECT_EQ(store().media()->original.toLocalFile(), fixtures.path(MediaFixtures::mp4));
}

TEST_F(WindowFiles, OpenRecentListsTheLastTenFilesNewestFirst) {
    EXPECT_EQ(recentItems(), (QStringList{QStringLiteral("No Recent Files (off)"),
                                          QStringLiteral("Clear Menu (off)")}));
    const QString wav = fixtures.path(MediaFixtures::wav);
    const QString mp4 = fixtures.path(MediaFixtures::mp4);
    openAndWait(wav);
    openAndWait(mp4);
    openAndWait(wav); // again: moves to the top, not listed twice
    EXPECT_EQ(recentItems(), (QStringList{QStringLiteral("tone.wav"), QStringLiteral("clip.mp4"),
                                          QStringLiteral("Clear Menu")}));
    // Remembered for the next start, and at most ten.
    for (int i = 0; i < 12; ++i) {
        const QString copy = folder.path(QStringLiteral("take%1.wav").arg(i));
        QFile::copy(wav, copy);
        openAndWait(copy);
    }
    const QStringList stored = storedPreference(QStringLiteral("lw.recentFiles")).toStringList();
    ASSERT_EQ(stored.size(), 10);
    EXPECT_EQ(stored.first(), folder.path(QStringLiteral("take11.wav")));

    // A file that has gone is not offered; an item opens its file.
    QFile::remove(folder.path(QStringLiteral("take11.wav")));
    QStringList items = recentItems();
    EXPECT_EQ(items.first(), QStringLiteral("take10.wav"));
    EXPECT_FALSE(items.contains(QStringLiteral("take11.wav")));
    QAction* older = recentMenu()->actions().at(3);
    ASSERT_EQ(older->text(), QStringLiteral("take7.wav"));
    older->trigger();
    ASSERT_TRUE(spinUntil([&] { return !store().isBusy(); }, 60000));
    EXPECT_EQ(store().media()->original.toLocalFile(), folder.path(QStringLiteral("take7.wav")));

    // Clear Menu empties it.
    recentItems();
    recentMenu()->actions().last()->trigger();
    EXPECT_EQ(recentItems(), (QStringList{QStringLiteral("No Recent Files (off)"),
                                          QStringLiteral("Clear Menu (off)")}));
    EXPECT_FALSE(hasStoredPreference(QStringLiteral("lw.recentFiles")));
}

TEST_F(WindowFiles, TheOpenPanelsOfferAllFilesAndShowTheirMessage) {
    struct Case {
        const char* what;
        std::function<void()> open;
        const char* kinds;   // the start of the first filter
        const char* message; // the start of the message under the list
    };
    const Case cases[] = {
        {"video or audio", [this] { store().chooseFile(); }, "MP4, MOV",
         "Choose a video or audio file to caption"},
        {"captions", [this] { store().importSubtitles(); }, "SRT, VTT",
         "Choose a caption file to import"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList filters;
        QString message;
        bool messageShown = false;
        EXPECT_TRUE(withDialog(c.open, [&](QWidget* dialog) {
            auto* panel = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(panel, nullptr);
            filters = panel->nameFilters();
            if (auto* label = panel->findChild<QLabel*>(QStringLiteral("panelMessage"))) {
                message = label->text();
                messageShown = label->isVisible();
            }
            panel->reject();
        }));
        ASSERT_EQ(filters.size(), 2);
        EXPECT_TRUE(filters[0].startsWith(QString::fromLatin1(c.kinds)))
            << filters[0].toStdString();
        EXPECT_TRUE(filters[0].contains(QStringLiteral("*.MP4")) ||
                    filters[0].contains(QStringLiteral("*.SRT")))
            << "upper-case names match too";
        EXPECT_EQ(filters[1], QStringLiteral("All files (*)"));
        EXPECT_TRUE(message.startsWith(QString::fromLatin1(c.message))) << message.toStdString();
        EXPECT_TRUE(messageShown);
    }
}

TEST_F(WindowFiles, TheMonitorOffersOpenWhenEmptyAndStopWhileBusy) {
    QAbstractButton* open = window->monitor()->openButton();
    QAbstractButton* stop = window->monitor()->stopButton();
    EXPECT_TRUE(open->isVisible());
    EXPECT_FALSE(stop->isVisible());
    EXPECT_TRUE(window->monitor()->rect().contains(open->geometry()));
    // "Open a File…" opens the panel.
    EXPECT_TRUE(withDialog([&] { QTest::mouseClick(open, Qt::LeftButton); },
                           [](QWidget* dialog) {
                               ASSERT_NE(qobject_cast<QFileDialog*>(dialog), nullptr);
                               qobject_cast<QFileDialog*>(dialog)->reject();
                           }));

    // A job that runs until stopped: the overlay's Stop ends it.
    std::atomic<bool> stopped{false};
    LWJobSpec plan;
    plan.status = QStringLiteral("Waiting…");
    plan.body = [&stopped](const LWJobContext& job) -> std::function<void()> {
        while (!job.stopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stopped = true;
        job.checkStop();
        return {};
    };
    ASSERT_TRUE(store().startJob(std::move(plan)));
    EXPECT_TRUE(stop->isVisible());
    EXPECT_FALSE(open->isVisible());
    EXPECT_TRUE(window->monitor()->rect().contains(stop->geometry()));
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return !store().isBusy(); }, 5000));
    EXPECT_TRUE(stopped.load());
    EXPECT_FALSE(stop->isVisible());
    EXPECT_TRUE(open->isVisible());
}

TEST_F(WindowFiles, FramesFasterThanTheScreenAreDroppedNotConverted) {
    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/frames.mp4"));
    media.playable = media.original;
    media.duration = 10;
    media.hasVideo = true;
    media.naturalSize = QSize(64, 48);
    store().setMedia(media);
    LWMonitor* monitor = window->monitor();
    // Thirty frames between two paints: one is turned into a picture.
    for (int i = 0; i < 30; ++i) {
        QVideoFrame frame(QVideoFrameFormat(QSize(64, 48), QVideoFrameFormat::Format_BGRA8888));
        frame.setStartTime(i * 33333);
        monitor->videoSink()->setVideoFrame(frame);
    }
    monitor->repaint();
    EXPECT_EQ(monitor->framesReceived(), 30);
    EXPECT_EQ(monitor->framesShown(), 1);
    monitor->repaint(); // nothing new: nothing converted again
    EXPECT_EQ(monitor->framesShown(), 1);
}

} // namespace
