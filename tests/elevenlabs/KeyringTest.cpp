// ELKeychain against a real GNOME Keyring. These tests run only inside
// tests/elevenlabs/run-with-keyring.sh (a private session bus with a throwaway keyring,
// unlocked); anywhere else they are skipped, so nothing ever waits on a keyring prompt.
#include "ELKeychain.h"
#include "ELSettings.h"
#include "FakeElevenLabs.h"
#include "TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QMutex>
#include <QSettings>
#include <QUuid>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

QMutex logMutex;
QStringList logged;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& message) {
    const QMutexLocker lock(&logMutex);
    logged << message;
}

class Keyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("LOROWEN_KEYRING_TEST"))
            GTEST_SKIP() << "runs only under tests/elevenlabs/run-with-keyring.sh";
        clearPreferences();
        m_previous = qInstallMessageHandler(captureLog);
    }
    void TearDown() override {
        if (!qEnvironmentVariableIsSet("LOROWEN_KEYRING_TEST"))
            return;
        ELKeychain().removeNow({}, 20s);
        qInstallMessageHandler(m_previous);
        clearPreferences();
    }

private:
    QtMessageHandler m_previous = nullptr;
};

TEST_F(Keyring, StoresReplacesAndRemovesTheKey) {
    ELKeychain keys;
    EXPECT_TRUE(keys.removeNow({}, 20s).ok()); // nothing stored yet still counts as removed
    ELKeyStore::Answer read = keys.readNow({}, 20s);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(read.key, std::nullopt);

    EXPECT_TRUE(keys.saveNow(QStringLiteral("  sk_first \n"), {}, 20s).ok());
    EXPECT_EQ(keys.readNow({}, 20s).key, QStringLiteral("sk_first"));
    EXPECT_TRUE(keys.saveNow(QStringLiteral("sk_second"), {}, 20s).ok());
    EXPECT_EQ(ELKeychain().readNow({}, 20s).key, QStringLiteral("sk_second"));

    EXPECT_TRUE(keys.removeNow({}, 20s).ok());
    read = keys.readNow({}, 20s);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(read.key, std::nullopt);
}

TEST_F(Keyring, AJobReadsTheKeyFromItsWorkerThread) {
    ELKeychain keys;
    ASSERT_TRUE(keys.saveNow(QStringLiteral("sk_job"), {}, 20s).ok());
    const auto onWorker = [&keys] {
        QString key;
        std::optional<ELError> error;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            try {
                key = keys.keyForJob({}, 20s);
            } catch (const ELError& e) {
                error = e;
            }
            done = true;
        });
        // The keyring answers through this thread's event loop.
        spinUntil([&] { return done.load(); }, 30000);
        worker.join();
        return std::make_pair(key, error);
    };
    EXPECT_EQ(onWorker().first, QStringLiteral("sk_job"));
    ASSERT_TRUE(keys.removeNow({}, 20s).ok());
    EXPECT_TRUE(onWorker().second == ELError::noKey());
}

TEST_F(Keyring, SettingsKeepTheKeyInTheKeyringOnly) {
    FakeElevenLabs server;
    server.reply("GET", "/v2/voices",
                 FakeElevenLabs::Reply(200, R"({"voices":[{"voice_id":"v","name":"V"}]})"));
    server.reply("GET", "/v1/models", FakeElevenLabs::Reply(200, "[]"));
    const QString key = QStringLiteral("sk_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        ELSettings settings(std::make_unique<ELKeychain>(), testPreferences());
        ASSERT_TRUE(spinUntil([&] { return settings.keyChecked(); }));
        EXPECT_FALSE(settings.hasKey());
        settings.setEngine(ELSettings::Engine::elevenlabs);
        settings.setKey(QStringLiteral("  ") + key + QStringLiteral("  "));
        ASSERT_TRUE(spinUntil([&] {
            return settings.status() == QStringLiteral("Connected: 1 voices, 0 speech models.");
        })) << settings.status().toStdString();
        EXPECT_TRUE(settings.hasKey());
        EXPECT_EQ(server.requests().first().headers.value("xi-api-key"), key.toUtf8());

        ELSettings restarted(std::make_unique<ELKeychain>(), testPreferences());
        ASSERT_TRUE(spinUntil([&] { return restarted.hasKey(); }));

        settings.removeKey();
        ASSERT_TRUE(spinUntil([&] {
            return settings.status() == QStringLiteral("Key removed from this computer.");
        })) << settings.status().toStdString();
        EXPECT_FALSE(settings.hasKey());
        EXPECT_EQ(settings.engine(), ELSettings::Engine::whisper);
        EXPECT_EQ(QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"))
                      .value(QStringLiteral("el.engine2")),
                  QStringLiteral("whisper"));
    }

    // Nowhere else: not in any file under the temporary folder (which holds this run's
    // preferences and data folders), and not in anything logged.
    QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).sync();
    QDirIterator files(QDir::tempPath(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    int searched = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) {
            ++searched;
            EXPECT_FALSE(file.readAll().contains(key.toUtf8())) << file.fileName().toStdString();
        }
    }
    EXPECT_GT(searched, 0); // at least the preferences
    const QMutexLocker lock(&logMutex);
    for (const QString& line : logged)
        EXPECT_FALSE(line.contains(key)) << line.toStdString();
}

} // namespace
