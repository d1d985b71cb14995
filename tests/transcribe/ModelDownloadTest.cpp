#include "../core/CorePrinters.h"
#include "BCError.h"
#include "BCSha256.h"
#include "FakeModelServer.h"
#include "LoopbackListener.h"
#include "ModelDownloader.h"
#include "TestFiles.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QString modelPath = QStringLiteral("/ggerganov/whisper.cpp/resolve/main/");
const QString vadPath = QStringLiteral("/ggml-org/whisper-vad/resolve/main/");

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Error sentence of an exception_ptr, "cancelled" for BCCancelled, "" for success.
QString outcome(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const BCCancelled&) {
        return QStringLiteral("cancelled");
    } catch (const BCError& e) {
        return e.message();
    }
}

// A server on 127.0.0.1 that closes connections in an orderly way, as a proxy or a server going
// down does: the first `unanswered` connections right after reading the request, the next one
// after sending `answer`. While it lives, the catalog's addresses point at it.
class QuietlyClosingServer {
public:
    QuietlyClosingServer(QByteArray answer, int unanswered) : m_listener(4) {
        if (!m_listener.port())
            return;
        m_previous = qgetenv("BRCT_WHISPER_MODEL_HOST");
        qputenv("BRCT_WHISPER_MODEL_HOST",
                "http://127.0.0.1:" + QByteArray::number(m_listener.port()));
        m_thread = std::thread([this, answer, unanswered] {
            for (int connection = 0; connection <= unanswered; ++connection) {
                const int client = m_listener.accept();
                if (client < 0)
                    return;
                // Reads the whole request first, so the close is a plain end of stream.
                QByteArray request;
                char buffer[4096];
                while (!request.contains("\r\n\r\n")) {
                    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    request.append(buffer, n);
                }
                ++m_requests;
                for (qsizetype sent = 0; connection == unanswered && sent < answer.size();) {
                    const ssize_t n = ::send(client, answer.constData() + sent,
                                             size_t(answer.size() - sent), MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += n;
                }
                ::shutdown(client, SHUT_WR);
                while (::recv(client, buffer, sizeof buffer, 0) > 0) {
                }
                ::close(client);
            }
        });
    }
    ~QuietlyClosingServer() {
        m_listener.stop();
        if (m_thread.joinable())
            m_thread.join();
        qputenv("BRCT_WHISPER_MODEL_HOST", m_previous);
    }
    QuietlyClosingServer(const QuietlyClosingServer&) = delete;
    QuietlyClosingServer& operator=(const QuietlyClosingServer&) = delete;

    bool listening() const { return m_listener.port() != 0; }
    int requests() const { return m_requests; }

private:
    LoopbackListener m_listener;
    QByteArray m_previous;
    std::thread m_thread;
    std::atomic<int> m_requests{0};
};

// A network whose every GET answers 200 with `body` and a Content-Length of `promised`, and
// then ends without an error: what Qt reports when it notices a server's close while bytes of
// the answer are still unread.
class EarlyEndingNetwork : public QNetworkAccessManager {
public:
    EarlyEndingNetwork(QByteArray body, qint64 promised)
        : m_body(std::move(body)), m_promised(promised) {}

protected:
    QNetworkReply* createRequest(Operation, const QNetworkRequest& request, QIODevice*) override {
        return new Reply(request, m_body, m_promised, this);
    }

private:
    class Reply : public QNetworkReply {
    public:
        Reply(const QNetworkRequest& request, QByteArray body, qint64 promised, QObject* parent)
            : QNetworkReply(parent), m_body(std::move(body)) {
            setRequest(request);
            setUrl(request.url());
            setOperation(QNetworkAccessManager::GetOperation);
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
            setHeader(QNetworkRequest::ContentLengthHeader, promised);
            open(QIODevice::ReadOnly | QIODevice::Unbuffered);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    emit metaDataChanged();
                    emit readyRead();
                    setFinished(true);
                    emit finished();
                },
                Qt::QueuedConnection);
        }
        void abort() override {}
        qint64 bytesAvailable() const override { return m_body.size() - m_read; }

    protected:
        qint64 readData(char* data, qint64 max) override {
            const qint64 n = std::min(max, qint64(m_body.size()) - m_read);
            std::memcpy(data, m_body.constData() + m_read, size_t(n));
            m_read += n;
            return n;
        }

    private:
        QByteArray m_body;
        qint64 m_read = 0;
    };

    QByteArray m_body;
    qint64 m_promised;
};

// A fresh models folder and a local repository for every test.
class ModelDownload : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(WhisperModels::folder()).removeRecursively();
        clearPreferences();
    }

    // A made-up model of `size` random bytes, served by the fake repository.
    WhisperModel fakeModel(const QString& id, qsizetype size, quint32 seed,
                           FakeModelServer::File serving = {}) {
        const QByteArray body = randomBytes(size, seed);
        const QString file = id + QStringLiteral(".bin");
        if (serving.body.isEmpty())
            serving.body = body;
        server.serve(modelPath + file, serving);
        return {id,   QStringLiteral("Model ") + id, file,
                size, BCSha256::ofBytes(body),       WhisperModel::host() + modelPath + file,
                {}};
    }

    // The real voice detector record, served with the real file's bytes.
    WhisperModel servedDetector() {
        server.serve(vadPath + QStringLiteral("ggml-silero-v5.1.2.bin"),
                     {readFile(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"))});
        return WhisperModel::voiceDetector();
    }

    // Runs ensure to its end on this thread's event loop.
    std::exception_ptr ensure(const QList<WhisperModel>& list,
                              const WhisperModels::Progress& progress = {},
                              std::stop_token stop = {}) {
        bool finished = false;
        std::exception_ptr error;
        models.ensure(
            list, progress,
            [&](std::exception_ptr e) {
                error = e;
                finished = true;
            },
            stop);
        EXPECT_TRUE(spinUntil([&] { return finished; }, 60000));
        return error;
    }

    QStringList folderFiles() const {
        return QDir(WhisperModels::folder()).entryList(QDir::Files, QDir::Name);
    }

    FakeModelServer server;
    WhisperModels models{testPreferences()};
};

TEST_F(ModelDownload, TwoFilesMakeOneWeightedRunWithReadyOnlyAtTheEnd) {
    const WhisperModel big = fakeModel(QStringLiteral("big"), 3 * 1024 * 1024 + 17, 1);
    const WhisperModel detector = servedDetector();
    QList<double> fractions;
    QStringList texts;
    QStringList statuses;
    QObject::connect(&models, &WhisperModels::changed, [&] {
        if (models.status() && (statuses.isEmpty() || statuses.last() != *models.status()))
            statuses.append(*models.status());
    });
    const int tickBefore = models.tick();

    const auto error = ensure({big, detector}, [&](double f, const QString& text) {
        fractions.append(f);
        texts.append(text);
    });

    ASSERT_EQ(outcome(error), QString());
    EXPECT_TRUE(models.installed(big));
    EXPECT_TRUE(models.installed(detector));
    EXPECT_EQ(folderFiles(), (QStringList{"big.bin", "big.bin.verified", "ggml-silero-v5.1.2.bin",
                                          "ggml-silero-v5.1.2.bin.verified"}));
    EXPECT_EQ(readFile(WhisperModels::folder() + "/big.bin.verified"), big.sha256.toLatin1());
    EXPECT_EQ(models.tick(), tickBefore + 2);
    EXPECT_EQ(models.fraction(), 1.0);
    EXPECT_FALSE(models.downloading().has_value());

    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_LE(fractions.last(), 1.0);
    // Weighted by size: the first file ends at its share of the bytes, not at one half.
    const double split = double(big.bytes) / double(big.bytes + detector.bytes);
    const auto checking = texts.indexOf(QStringLiteral("Checking the download (safety checksum)…"));
    ASSERT_GE(checking, 0);
    EXPECT_NEAR(fractions[checking], split, 0.002);
    const QRegularExpression downloading(
        "^Downloading (Model big|Voice detector \\(Silero VAD\\)): [0-9]{1,3}%$");
    for (const QString& text : texts) {
        if (!text.startsWith("Checking")) {
            EXPECT_TRUE(downloading.match(text).hasMatch()) << text.toStdString();
        }
    }
    EXPECT_EQ(texts.last(), "Checking the download (safety checksum)…");
    EXPECT_EQ(texts[texts.size() - 2], "Downloading Voice detector (Silero VAD): 100%");
    EXPECT_EQ(statuses.first(), QStringLiteral("Downloading Model big (3.1 MB)…"));
    EXPECT_TRUE(
        statuses.contains(QStringLiteral("Downloading Voice detector (Silero VAD) (885 KB)…")));
    EXPECT_EQ(statuses.count(QStringLiteral("Ready — the model is stored on this computer.")), 1);
    EXPECT_EQ(statuses.last(), QStringLiteral("Ready — the model is stored on this computer."));
}

TEST_F(ModelDownload, RejectedDownloadsLeaveNothingBehind) {
    struct Case {
        const char* what;
        FakeModelServer::File serving;
        QString sentence;
    };
    const qsizetype size = 200000;
    const QList<Case> cases = {
        {"404", {{}, 404}, "The model server answered 404. Please try again later."},
        {"short body",
         {randomBytes(1000, 7)},
         "The download of Model m was incomplete (1000 of 200000 bytes). Please try again."},
        {"wrong bytes",
         {randomBytes(size, 8)},
         "The downloaded Model m file didn't pass its safety check (checksum mismatch), so it "
         "was not used. Please try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(WhisperModels::folder()).removeRecursively();
        const WhisperModel model = fakeModel(QStringLiteral("m"), size, 9, c.serving);
        EXPECT_EQ(outcome(ensure({model})), c.sentence);
        EXPECT_FALSE(models.installed(model));
        EXPECT_EQ(folderFiles(), QStringList());
        EXPECT_FALSE(models.downloading().has_value());
    }
}

TEST_F(ModelDownload, CutConnectionKeepsThePartAndTheNextRunResumesWithRange) {
    const qsizetype size = 1024 * 1024;
    FakeModelServer::File cut{randomBytes(size, 3)};
    cut.cutAfter = 400000;
    WhisperModel model = fakeModel(QStringLiteral("r"), size, 3, cut);

    const QString first = outcome(ensure({model}));
    EXPECT_TRUE(first.startsWith("The model download failed: ")) << first.toStdString();
    const QString part = WhisperModels::folder() + "/r.bin.part";
    const qint64 kept = QFileInfo(part).size();
    EXPECT_GT(kept, 0);
    EXPECT_LE(kept, 400000);

    server.serve(modelPath + "r.bin", {randomBytes(size, 3)});
    EXPECT_EQ(outcome(ensure({model})), QString());
    EXPECT_TRUE(models.installed(model));
    EXPECT_FALSE(QFileInfo::exists(part));
    // Qt may itself send a request again when a connection dies before any answer arrived; the
    // whole file is asked for until there is a part, and then only the rest.
    QList<QByteArray> ranges = server.ranges(modelPath + "r.bin");
    ASSERT_GE(ranges.size(), 2);
    EXPECT_EQ(ranges.takeLast(), "bytes=" + QByteArray::number(kept) + "-");
    EXPECT_EQ(ranges, QList<QByteArray>(ranges.size(), QByteArray()));
}

TEST_F(ModelDownload, AClosedConnectionBeforeTheEndKeepsThePartForTheNextRun) {
    const qsizetype size = 1024 * 1024;
    const QByteArray body = randomBytes(size, 5);
    const WhisperModel model = fakeModel(QStringLiteral("q"), size, 5);
    const QString part = WhisperModels::folder() + "/q.bin.part";
    const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(size) +
                              "\r\n\r\n" + body.left(300000);
    // Closed mid-body, and closed first with no answer at all, which Qt answers by asking again
    // on a new connection: the part holds exactly what arrived, once.
    for (const int unanswered : {0, 1}) {
        SCOPED_TRACE(unanswered);
        QFile::remove(part);
        {
            QuietlyClosingServer quiet(answer, unanswered);
            ASSERT_TRUE(quiet.listening());
            WhisperModel there = model;
            there.urlString = WhisperModel::host() + modelPath + model.file;
            EXPECT_TRUE(outcome(ensure({there})).startsWith("The model download failed: "));
            EXPECT_EQ(quiet.requests(), unanswered + 1);
        }
        EXPECT_EQ(readFile(part), body.left(300000));
        EXPECT_FALSE(models.installed(model));
    }

    EXPECT_EQ(outcome(ensure({model})), QString());
    EXPECT_TRUE(models.installed(model));
    EXPECT_EQ(server.ranges(modelPath + "q.bin"), QList<QByteArray>{"bytes=300000-"});
}

TEST(ModelDownloader, AReplyEndingShortOfItsLengthIsACutThatKeepsThePart) {
    TestFolder tmp;
    const QString part = tmp.root() + "/m.bin.part";
    const QByteArray body = randomBytes(5000, 11);
    struct Case {
        const char* what;
        qint64 promised;
        QString outcome;
    };
    for (const Case& c :
         {Case{"whole", 5000, {}},
          Case{"cut", 12000,
               "The model download failed: the connection closed before the whole file "
               "arrived."}}) {
        SCOPED_TRACE(c.what);
        QFile::remove(part);
        EarlyEndingNetwork network(body, c.promised);
        ModelDownloader downloader(network);
        bool finished = false;
        std::exception_ptr error;
        downloader.start(QUrl("http://127.0.0.1:9/m.bin"), part, {}, [&](std::exception_ptr e) {
            error = e;
            finished = true;
        });
        ASSERT_TRUE(spinUntil([&] { return finished; }, 10000));
        EXPECT_EQ(outcome(error), c.outcome);
        EXPECT_EQ(readFile(part), body);
    }
}

TEST_F(ModelDownload, ServerWithoutRangeSupportStartsTheFileOver) {
    FakeModelServer::File whole{randomBytes(300000, 4)};
    whole.ranges = false;
    const WhisperModel model = fakeModel(QStringLiteral("n"), 300000, 4, whole);
    // A stale prefix that is not the start of the file: appending to it would fail the hash.
    writeFile(WhisperModels::folder() + "/n.bin.part", randomBytes(1000, 99));

    EXPECT_EQ(outcome(ensure({model})), QString());
    EXPECT_TRUE(models.installed(model));
    EXPECT_EQ(server.ranges(modelPath + "n.bin"), QList<QByteArray>{"bytes=1000-"});
}

TEST_F(ModelDownload, StopMidTransferKeepsThePart) {
    FakeModelServer::File slow{randomBytes(4 * 1024 * 1024, 5)};
    slow.chunkDelayMs = 30;
    const WhisperModel model = fakeModel(QStringLiteral("s"), 4 * 1024 * 1024, 5, slow);
    std::stop_source stop;
    const auto error = ensure(
        {model},
        [&](double f, const QString&) {
            if (f > 0.01)
                stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(outcome(error), QStringLiteral("cancelled"));
    EXPECT_FALSE(models.installed(model));
    EXPECT_FALSE(models.downloading().has_value());
    EXPECT_GT(QFileInfo(WhisperModels::folder() + "/s.bin.part").size(), 0);
}

TEST_F(ModelDownload, InstalledNeedsRightSizeAndMarker) {
    const WhisperModel model = fakeModel(QStringLiteral("k"), 5000, 6);
    const QString folder = WhisperModels::folder();
    struct Case {
        const char* what;
        qsizetype size;
        std::optional<QByteArray> marker;
        bool installed;
    };
    const QByteArray sha = model.sha256.toLatin1();
    const QList<Case> cases = {
        {"marker with a line break", 5000, sha + "\n", true},
        {"marker with spaces and CRLF", 5000, "  " + sha + " \r\n", true},
        {"no marker", 5000, std::nullopt, false},
        {"empty marker", 5000, QByteArray(), false},
        {"other hash", 5000, QByteArray(64, 'a'), false},
        {"one byte short", 4999, sha, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        writeFile(folder + "/k.bin", QByteArray(c.size, 'x'));
        if (c.marker)
            writeFile(folder + "/k.bin.verified", *c.marker);
        EXPECT_EQ(WhisperModels::isInstalled(model, folder), c.installed);
    }
}

TEST_F(ModelDownload, RightSizedFileWithoutMarkerIsDownloadedAgain) {
    const WhisperModel model = fakeModel(QStringLiteral("w"), 70000, 10);
    writeFile(WhisperModels::folder() + "/w.bin", QByteArray(70000, 'x'));
    EXPECT_EQ(outcome(ensure({model})), QString());
    EXPECT_EQ(BCSha256::ofFile(WhisperModels::folder() + "/w.bin"), model.sha256);
    EXPECT_EQ(server.ranges(modelPath + "w.bin").size(), 1);
}

TEST_F(ModelDownload, EnsureWithEverythingInstalledChangesNothing) {
    const WhisperModel model = fakeModel(QStringLiteral("e"), 1000, 11);
    ASSERT_EQ(outcome(ensure({model})), QString());
    models.remove(fakeModel(QStringLiteral("other"), 10, 12)); // leaves a status to keep
    const auto status = models.status();
    const double fraction = models.fraction();
    const int tick = models.tick();
    int changes = 0;
    QObject::connect(&models, &WhisperModels::changed, [&] { ++changes; });

    bool finished = false;
    models.ensure({model}, {}, [&](std::exception_ptr e) { finished = !e; });
    EXPECT_TRUE(finished); // at once, without a trip through the event loop
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(models.status(), status);
    EXPECT_EQ(models.fraction(), fraction);
    EXPECT_EQ(models.tick(), tick);
    EXPECT_EQ(server.ranges(modelPath + "e.bin").size(), 1);
}

TEST_F(ModelDownload, OverlappingRequestsFetchTheFileOnce) {
    FakeModelServer::File slow{randomBytes(600000, 13)};
    slow.chunkDelayMs = 5;
    const WhisperModel model = fakeModel(QStringLiteral("o"), 600000, 13, slow);
    QStringList results;
    models.ensure({model}, {}, [&](std::exception_ptr e) { results.append("1:" + outcome(e)); });
    models.ensure({model}, {}, [&](std::exception_ptr e) { results.append("2:" + outcome(e)); });
    ASSERT_TRUE(spinUntil([&] { return results.size() == 2; }, 60000));
    EXPECT_EQ(results, (QStringList{"1:", "2:"}));
    EXPECT_EQ(server.ranges(modelPath + "o.bin").size(), 1);
}

TEST_F(ModelDownload, StartDownloadWhileOneRunsDoesNothingAndStopSaysSo) {
    FakeModelServer::File slow{randomBytes(2 * 1024 * 1024, 14)};
    slow.chunkDelayMs = 30;
    const WhisperModel first = fakeModel(QStringLiteral("a"), 2 * 1024 * 1024, 14, slow);
    const WhisperModel second = fakeModel(QStringLiteral("b"), 1000, 15);
    servedDetector();

    models.startDownload(first);
    ASSERT_TRUE(spinUntil([&] { return models.fraction() > 0; }));
    EXPECT_EQ(models.downloading(), QStringLiteral("a"));
    models.startDownload(second);
    models.stopDownload();
    ASSERT_TRUE(spinUntil([&] { return !models.taskRunning(); }));
    EXPECT_EQ(models.status(), QStringLiteral("Download stopped."));
    EXPECT_TRUE(server.ranges(modelPath + "b.bin").isEmpty());
    EXPECT_FALSE(models.installed(first));
}

// The settings window's Stop used to reach only a download the window itself had started: one
// a transcription had asked for ran on while its row showed Stop, and the row's status kept
// reading "Downloading …" after it ended.
TEST_F(ModelDownload, StopEndsTheRunningDownloadWhoeverAskedForIt) {
    FakeModelServer::File slow{randomBytes(2 * 1024 * 1024, 18)};
    slow.chunkDelayMs = 30;
    const WhisperModel model = fakeModel(QStringLiteral("j"), 2 * 1024 * 1024, 18, slow);
    QStringList results;
    // As a transcription asks: with its job's token, which nobody stops here.
    std::stop_source job;
    models.ensure(
        {model}, {}, [&](std::exception_ptr e) { results.append("job:" + outcome(e)); },
        job.get_token());
    models.ensure({model}, {}, [&](std::exception_ptr e) { results.append("next:" + outcome(e)); });
    ASSERT_TRUE(spinUntil([&] { return models.fraction() > 0; }));
    EXPECT_FALSE(models.taskRunning()) << "not the settings window's own download";

    models.stopDownload();
    ASSERT_TRUE(spinUntil([&] { return results.size() == 2; }, 20000));
    EXPECT_EQ(results, (QStringList{"next:cancelled", "job:cancelled"}));
    EXPECT_EQ(models.status(), QStringLiteral("Download stopped."));
    EXPECT_FALSE(models.downloading().has_value());
    EXPECT_FALSE(models.installed(model));
    EXPECT_GT(QFileInfo(WhisperModels::folder() + "/j.bin.part").size(), 0);
    spinUntil([] { return false; }, 200);
    EXPECT_EQ(server.ranges(modelPath + "j.bin").size(), 1) << "nothing fetched after the stop";
}

TEST_F(ModelDownload, ShortDiskRefusesBeforeTheFirstByteCountingThePart) {
    const WhisperModel model = fakeModel(QStringLiteral("d"), 100000, 16);
    models.freeBytes = [](const QString&) { return qint64(40000); };
    EXPECT_EQ(outcome(ensure({model})),
              "There isn't enough free space to download Model d: 100 KB more is needed, and "
              "only 40 KB is free on the disk that holds “" +
                  WhisperModels::folder() + "”. Free up some space and try again.");
    EXPECT_TRUE(server.ranges(modelPath + "d.bin").isEmpty());

    // With 70 000 bytes already in the ".part" file, 30 000 more fit.
    writeFile(WhisperModels::folder() + "/d.bin.part", randomBytes(100000, 16).left(70000));
    EXPECT_EQ(outcome(ensure({model})), QString());
    EXPECT_TRUE(models.installed(model));
}

TEST_F(ModelDownload, EnsureFromWorkerBlocksUntilInstalled) {
    const WhisperModel model = fakeModel(QStringLiteral("t"), 50000, 17);
    std::atomic<bool> done = false;
    QString error;
    std::thread worker([&] {
        try {
            models.ensureFromWorker({model}, {});
        } catch (const BCError& e) {
            error = e.message();
        }
        done = true;
    });
    EXPECT_TRUE(spinUntil([&] { return done.load(); }, 60000));
    worker.join();
    EXPECT_EQ(error, QString());
    EXPECT_TRUE(models.installed(model));
}

TEST_F(ModelDownload, RemoveOfAMissingModelStillBumpsTick) {
    const WhisperModel model = WhisperModel::byID(QStringLiteral("small-q5_1"));
    const int tick = models.tick();
    models.remove(model);
    EXPECT_EQ(models.tick(), tick + 1);
    EXPECT_EQ(models.status(), QStringLiteral("Fast — Small removed from this computer."));
}

TEST(WhisperCatalog, ByIdFallsBackToLargeV3Turbo) {
    EXPECT_EQ(WhisperModel::byID("small-q5_1").file, "ggml-small-q5_1.bin");
    for (const QString& id : {QStringLiteral("silero-vad"), QString(), QStringLiteral("tiny")})
        EXPECT_EQ(WhisperModel::byID(id).id, "large-v3-turbo-q5_0") << id.toStdString();
    const WhisperModel large = WhisperModel::byID("large-v3-turbo-q5_0");
    EXPECT_EQ(large.bytes, 574041195);
    EXPECT_EQ(large.urlString, "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/"
                               "ggml-large-v3-turbo-q5_0.bin");
    EXPECT_EQ(WhisperModel::voiceDetector().urlString,
              "https://huggingface.co/ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin");
}

TEST(WhisperCatalog, ByteCountReadsLikeAFileSize) {
    const QList<std::pair<qint64, QString>> cases = {
        {999, "999 bytes"},    {885098, "885 KB"}, {190085487, "190.1 MB"},
        {574041195, "574 MB"}, {999600, "1 MB"},   {1500000000, "1.5 GB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(WhisperModels::byteCount(bytes), text);
}

TEST(ModelHash, MatchesOpenSslAcrossTheReadSize) {
    EXPECT_EQ(BCSha256::ofBytes({}),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(BCSha256::ofBytes("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    TestFolder folder;
    const QByteArray bytes = randomBytes(4 * 1024 * 1024 + 3, 18); // one byte past a read
    EXPECT_EQ(BCSha256::ofFile(folder.write("f", bytes)), BCSha256::ofBytes(bytes));
    EXPECT_EQ(BCSha256::ofFile(folder.write("g", {})), BCSha256::ofBytes({}));
    EXPECT_THROW(BCSha256::ofFile(folder.path("missing")), BCError);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(BCSha256::ofFile(folder.path("f"), stop.get_token()), BCCancelled);
}

} // namespace
