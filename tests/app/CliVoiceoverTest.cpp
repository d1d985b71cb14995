// lorowen-cli voiceover and transcribe --engine scribe, run as a person would against a local
// stand-in for ElevenLabs: with the key in a throwaway keyring, and with no key at all.
#include "../elevenlabs/FakeElevenLabs.h"
#include "CliRunner.h"
#include "ELError.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using Reply = FakeElevenLabs::Reply;

const QString program = QStringLiteral(LOROWEN_CLI_PATH);
const QByteArray kSrt = "1\n00:00:00,000 --> 00:00:01,000\nFirst one.\n\n"
                        "2\n00:00:01,000 --> 00:00:02,000\nSecond\nline.\n";
const QByteArray kMp3 = QByteArray("ID3\x04\x00", 5) + "cli-mp3";

// Saves `key` in a throwaway keyring, then runs lorowen-cli with `arguments` in the same
// session. Status 77: no keyring tools here.
CliRun withKeyring(const QByteArray& key, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(cliEnvironment());
    const QString script =
        QStringLiteral("printf '%s\\n' \"$KEY\" | \"$0\" key set >/dev/null || exit 9; "
                       "exec \"$0\" \"$@\"");
    QProcessEnvironment env = cliEnvironment();
    env.insert(QStringLiteral("KEY"), QString::fromUtf8(key));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LOROWEN_KEYRING_WRAPPER),
                  QStringList{QStringLiteral("bash"), QStringLiteral("-c"), script, program} +
                      arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void serveAccount(FakeElevenLabs& server) {
    server.reply("GET", "/v2/voices",
                 Reply{200, R"({"voices":[{"voice_id":"v-9","name":"Rachel"}],"has_more":false})"});
    server.reply("GET", "/v1/models",
                 Reply{200, R"([{"model_id":"eleven_multilingual_v2","can_do_text_to_speech":true,
                                 "maximum_text_length_per_request":10000}])"});
    server.reply("POST", "/v1/text-to-speech/v-9", Reply{200, kMp3, "audio/mpeg"});
}

TEST(CliVoiceover, ReadsTheCaptionsWithTheKeyFromTheKeyring) {
    FakeElevenLabs server;
    serveAccount(server);
    TestFolder folder;
    const QString srt = folder.write(QStringLiteral("talk.srt"), kSrt);
    const QString mp3 = folder.path(QStringLiteral("talk.mp3"));
    const CliRun r =
        withKeyring("sk_cli_voice", {QStringLiteral("voiceover"), srt, mp3,
                                     QStringLiteral("--voice"), QStringLiteral("rachel")});
    if (r.status == 77)
        GTEST_SKIP() << r.err.toStdString();
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Saved talk.mp3 (voice: Rachel).\n"));
    EXPECT_EQ(folder.read(QStringLiteral("talk.mp3")), kMp3);
    EXPECT_FALSE(r.out.contains(QStringLiteral("sk_cli_voice")));
    EXPECT_FALSE(r.err.contains(QStringLiteral("sk_cli_voice")));

    const auto requests = server.requests();
    ASSERT_FALSE(requests.isEmpty());
    const FakeElevenLabs::Request& speech = requests.last();
    EXPECT_EQ(speech.path, QStringLiteral("/v1/text-to-speech/v-9"));
    EXPECT_EQ(speech.headers.value("xi-api-key"), "sk_cli_voice");
    const QJsonObject body = QJsonDocument::fromJson(speech.body).object();
    EXPECT_EQ(body.value("text").toString(), QStringLiteral("First one. Second line."));
    EXPECT_EQ(body.value("model_id").toString(), QStringLiteral("eleven_multilingual_v2"));
}

TEST(CliVoiceover, TranscribesWithScribe) {
    FakeElevenLabs server;
    server.reply("POST", "/v1/speech-to-text",
                 Reply{200, R"({"words":[{"text":"Hello","start":0.1,"end":0.5,"type":"word"},
                                         {"text":"there.","start":0.6,"end":1.0,"type":"word"}]})"});
    MediaFixtures fixtures;
    TestFolder folder;
    const QString out = folder.path(QStringLiteral("talk.srt"));
    const CliRun r = withKeyring(
        "sk_cli_scribe",
        {QStringLiteral("transcribe"), fixtures.tone(QStringLiteral("talk.wav"), 2.0),
         QStringLiteral("-o"), out, QStringLiteral("--engine"), QStringLiteral("scribe"),
         QStringLiteral("--language"), QStringLiteral("de-DE")});
    if (r.status == 77)
        GTEST_SKIP() << r.err.toStdString();
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Made 1 captions with ElevenLabs Scribe. Check names and "
                                    "spellings before exporting.\n"));
    EXPECT_TRUE(QString::fromUtf8(folder.read(QStringLiteral("talk.srt")))
                    .contains(QStringLiteral("Hello there.")));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].parts.value("language_code").content, "de");
    EXPECT_EQ(server.requests()[0].parts.value("model_id").content, "scribe_v2");
}

TEST(CliVoiceover, RefusesWithoutKeyCaptionsOrArguments) {
    FakeElevenLabs server;
    serveAccount(server);
    TestFolder folder;
    const QString srt = folder.write(QStringLiteral("talk.srt"), kSrt);
    const QString blank = folder.write(QStringLiteral("blank.srt"), "no captions here\n");
    const QString mp3 = folder.path(QStringLiteral("out.mp3"));
    struct Case {
        const char* name;
        QStringList args;
        int status;
        QString said;
    };
    const QList<Case> cases = {
        // The test programs keep the key in an empty in-memory store.
        {"no key",
         {QStringLiteral("voiceover"), srt, mp3, QStringLiteral("--voice"), "v-9"},
         3,
         ELError::noKey().message()},
        {"no captions",
         {QStringLiteral("voiceover"), blank, mp3, QStringLiteral("--voice"), "v-9"},
         3,
         QStringLiteral("Nothing to read")},
        {"one file only",
         {QStringLiteral("voiceover"), srt},
         2,
         QStringLiteral("usage: lorowen-cli voiceover")},
        {"a key on the command line",
         {QStringLiteral("voiceover"), srt, mp3, QStringLiteral("--key"), "sk"},
         2,
         QStringLiteral("unknown option --key")},
        {"an unknown engine",
         {QStringLiteral("transcribe"), srt, QStringLiteral("-o"), folder.path("x.srt"),
          QStringLiteral("--engine"), QStringLiteral("cloud")},
         2,
         QStringLiteral("unknown engine cloud")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(mp3));
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
