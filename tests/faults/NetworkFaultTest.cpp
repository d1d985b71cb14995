// The connection dropping in the middle of a Scribe upload: the captions stay as they were, the
// temporary sound file goes, and the person reads one of the service's plain sentences.
#include "ELError.h"
#include "ELSettings.h"
#include "FakePlayer.h"
#include "LWStore.h"
#include "LoopbackListener.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QDir>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A server on 127.0.0.1 that reads the first `readBytes` of every request and then drops the
// connection: with a reset when `reset` is set, else with an orderly close.
class CuttingServer {
public:
    CuttingServer(qsizetype readBytes, bool reset) {
        if (!m_listener.port())
            return;
        m_previous = qgetenv("BRCT_ELEVENLABS_BASE");
        qputenv("BRCT_ELEVENLABS_BASE",
                QByteArray("http://127.0.0.1:") + QByteArray::number(m_listener.port()) + '/');
        m_thread = std::thread([this, readBytes, reset] {
            for (;;) {
                const int client = m_listener.accept();
                if (client < 0 || m_stopping)
                    break;
                char buffer[4096];
                qsizetype got = 0;
                while (got < readBytes) {
                    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    got += n;
                }
                m_received += got;
                if (reset) {
                    linger hard{1, 0};
                    ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                }
                ::close(client);
            }
        });
    }
    ~CuttingServer() {
        m_stopping = true;
        m_listener.stop();
        if (m_thread.joinable())
            m_thread.join();
        qputenv("BRCT_ELEVENLABS_BASE", m_previous);
    }
    CuttingServer(const CuttingServer&) = delete;
    CuttingServer& operator=(const CuttingServer&) = delete;

    bool listening() const { return m_listener.port() != 0; }
    qsizetype received() const { return m_received; }

private:
    LoopbackListener m_listener;
    QByteArray m_previous;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<qsizetype> m_received{0};
};

TEST(DroppedUpload, LeavesTheCaptionsAndNoTemporaryFileAndSaysSo) {
    TestFolder tmp;
    const QByteArray previousTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.root().toUtf8());
    clearPreferences();
    TestServices services;
    ASSERT_TRUE(services.useKey(QByteArrayLiteral("sk_faults_test")));
    services.elevenLabs.setEngine(ELSettings::Engine::elevenlabs);
    MediaFixtures fixtures;
    const QString clip = fixtures.tone(QStringLiteral("talk.wav"), 3.0);
    // What the person may read when the line drops: offline, or an answer that couldn't be read.
    const QStringList plain = {ELError::offline().message(), ELError::badResponse().message(),
                               ELError::timedOut().message()};

    struct Case {
        const char* what;
        qsizetype readBytes;
        bool reset;
    };
    for (const Case& c : {Case{"closed after the headers", 300, false},
                          Case{"reset halfway through the sound", 60000, true},
                          Case{"closed halfway through the sound", 60000, false}}) {
        SCOPED_TRACE(c.what);
        CuttingServer server(c.readBytes, c.reset);
        ASSERT_TRUE(server.listening());
        ScriptedHooks hooks;
        LWStore store(hooks, services.get(), QStringLiteral("en_US"));
        store.setPlayer(std::make_unique<FakePlayer>());
        store.open(clip);
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 30000));
        store.setCaptions({Caption::make(0.2, 1.0, QStringLiteral("Old words"))});
        const Captions old = store.captions();
        hooks.questionAnswers = {0}; // Replace
        store.transcribe();
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 60000));

        EXPECT_GT(server.received(), 0);
        ASSERT_EQ(hooks.alerts.size(), 1);
        EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Transcription didn't finish"));
        EXPECT_TRUE(plain.contains(hooks.alerts[0].message))
            << hooks.alerts[0].message.toStdString();
        EXPECT_EQ(store.captions(), old);
        EXPECT_FALSE(store.previousCaptions().has_value());
        EXPECT_TRUE(QDir(tmp.root())
                        .entryList({QStringLiteral("brct-lw-scribe-*")},
                                   QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                        .isEmpty());
    }
    qputenv("TMPDIR", previousTmp);
}

} // namespace
