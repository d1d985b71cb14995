// Times the window's per-update work on a long file: 3,000 captions over two hours. Each figure
// is milliseconds per update (mean and worst); the bar is 16 ms. Then plays a 1080p30 clip for
// ten seconds through the real player with the monitor, list and lane following, and reports the
// frames received and shown and the longest stall of the main thread. Runs offscreen.
#include "BCPreferences.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWCaptionRow.h"
#include "LWLane.h"
#include "LWMonitor.h"
#include "LWPlayer.h"
#include "LWQtPlayer.h"
#include "LWStack.h"
#include "LWStore.h"
#include "LWUiHooks.h"
#include "LWWordMarks.h"
#include "WhisperModels.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

class StillPlayer : public LWPlayer {
public:
    void setSource(const QUrl&) override {}
    void play() override {}
    void pause() override {}
    double rate() const override { return 0; }
    double position() const override { return 0; }
    void seek(double) override {}
};

class QuietHooks : public LWUiHooks {
public:
    std::optional<QString> openPanel(const OpenPanel&) override { return std::nullopt; }
    std::optional<QString> savePanel(const SavePanel&) override { return std::nullopt; }
    int question(const QString&, const QString&, const QStringList&) override { return 0; }
    void alert(const QString&, const QString&) override {}
    void reveal(const QString&) override {}
    void beep() override {}
};

void measure(const char* name, int rounds, const std::function<void(int)>& step) {
    double total = 0;
    double worst = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        step(i);
        QApplication::processEvents();
        const double ms = clock.nsecsElapsed() / 1e6;
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("%-28s %8.3f ms mean %8.3f ms worst\n", name, total / rounds, worst);
}

// The caption list, monitor and lane at the window's sizes, shown offscreen.
struct Views {
    explicit Views(LWStore& store) : stack(store), monitor(store), lane(store) {
        stack.resize(400, 700);
        monitor.resize(900, 506);
        lane.resize(900, 170);
        stack.show();
        monitor.show();
        lane.show();
    }
    LWStack stack;
    LWMonitor monitor;
    LWLane lane;
};

// Plays ten seconds of a 1080p30 clip made by the ffmpeg program, with 100 captions.
int playback(LWStore& store) {
    QTemporaryDir folder;
    const QString clip = folder.filePath(QStringLiteral("1080p30.mp4"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc2=size=1920x1080:rate=30:duration=12"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=12"), QStringLiteral("-c:v"),
                  QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                  QStringLiteral("aac"), clip});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        std::printf("playback: ffmpeg could not make the clip\n");
        return 1;
    }
    Views views(store);
    LWMonitor& monitor = views.monitor;
    if (auto* qt = dynamic_cast<LWQtPlayer*>(&store.player()))
        qt->mediaPlayer().setVideoSink(monitor.videoSink());
    store.open(clip);
    QElapsedTimer wait;
    wait.start();
    while ((store.isBusy() || !store.media()) && wait.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!store.media()) {
        std::printf("playback: the clip did not open\n");
        return 1;
    }
    Captions captions;
    for (int i = 0; i < 100; ++i)
        captions.append(Caption::make(i * 0.12, i * 0.12 + 0.1, QStringLiteral("Line %1").arg(i)));
    store.setCaptions(captions);
    // The longest gap between two turns of a 2 ms timer, less the 2 ms, is the longest time
    // the main thread could not answer.
    double longest = 0;
    QElapsedTimer since;
    QTimer beat;
    beat.setInterval(2);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, since.nsecsElapsed() / 1e6 - 2.0);
        since.restart();
    });
    const int before = monitor.framesReceived();
    store.togglePlay();
    since.start();
    beat.start();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    beat.stop();
    store.togglePlay();
    std::printf("playback 1080p30 for 10 s: %d frames received, %d shown, clock at %.1f s, "
                "longest main-thread stall %.1f ms\n",
                monitor.framesReceived() - before, monitor.framesShown(), store.time(), longest);
    // The monitor goes first; the player must not keep its sink.
    if (auto* qt = dynamic_cast<LWQtPlayer*>(&store.player()))
        qt->mediaPlayer().setVideoSink(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    QuietHooks hooks;
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::memory();
    WhisperModels models(*preferences);
    ELSettings elevenLabs(ELKeyStore::system(), *preferences);
    LWStore store(hooks, {*preferences, models, elevenLabs}, QStringLiteral("en_US"));
    store.setPlayer(std::make_unique<StillPlayer>());
    BCOpenedMedia media;
    media.duration = 7200;
    media.hasVideo = true;
    media.naturalSize = QSize(1920, 1080);
    store.setMedia(media);
    QList<float> peaks(7200 * 50);
    for (qsizetype i = 0; i < peaks.size(); ++i)
        peaks[i] = float((i * 7919) % 100) / 100.0f;
    store.setPeaks(peaks);

    // Each caption has a misspelled word and a word the recogniser was unsure of, so every row
    // shown draws both marks (and counts as a problem).
    Captions captions;
    for (int i = 0; i < 3000; ++i) {
        Caption c = Caption::make(i * 2.4, i * 2.4 + 2.0,
                                  QStringLiteral("Caption number %1 with a few wrods").arg(i));
        c.confidence = {{0, QStringLiteral("Caption"), 0.95f}, {8, QStringLiteral("number"), 0.3f}};
        captions.append(c);
    }

    Views views(store);
    LWStack& stack = views.stack;
    LWMonitor& monitor = views.monitor;
    LWLane& lane = views.lane;
    LWRowList& list = *stack.list();

    measure("open (3,000 captions)", 5, [&](int) {
        store.setCaptions(captions);
        stack.repaint();
        monitor.repaint();
        lane.repaint();
    });
    lane.setPps(40);
    measure("scroll the list", 200, [&](int i) {
        list.verticalScrollBar()->setValue((i * 37) % list.verticalScrollBar()->maximum());
        list.viewport()->repaint();
    });
    measure("follow the playhead", 300, [&](int i) {
        store.setTime(i * 23.9);
        list.centreOn(qsizetype(i * 23.9 / 2.4), false);
        list.viewport()->repaint();
        monitor.repaint();
        lane.repaint();
    });
    list.centreOn(1500, false);
    QApplication::processEvents();
    LWCaptionRow* row = list.rowFor(store.captions()[1500].id);
    if (!row) {
        std::printf("row 1500 is not in view\n");
        return 1;
    }
    row->textField()->setFocus();
    measure("type in a row", 100, [&](int i) {
        row->textField()->insertPlainText(QString(QChar(u'a' + i % 26)));
        list.viewport()->repaint();
        monitor.repaint();
        lane.repaint();
    });
    // The same updates split by view, to show where the time goes.
    measure("  list repaint", 100, [&](int) { list.viewport()->repaint(); });
    measure("  monitor repaint", 100, [&](int i) {
        store.setTime(i * 23.9 + 0.5);
        monitor.repaint();
    });
    measure("  lane repaint", 100, [&](int) { lane.repaint(); });
    measure("  setText alone", 100, [&](int i) {
        store.setText(store.captions()[1500].id, QStringLiteral("Again %1").arg(i));
    });
    std::printf("row widgets for 3,000 captions: %d\n", list.rowWidgets());
    std::printf("spelling marks in the typed row: %s\n",
                qPrintable(row->wordMarks()->misspelledWords().join(QStringLiteral(", "))));

    LWStore playing(hooks, {*preferences, models, elevenLabs}, QStringLiteral("en_US"));
    return playback(playing);
}
