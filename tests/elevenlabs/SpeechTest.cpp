// Speech to text (the multipart upload and the timed words of the answer) and text to speech
// (pieces with their context, joined MP3).
#include "ELClient.h"
#include "ELPrinters.h"
#include "FakeElevenLabs.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using Reply = FakeElevenLabs::Reply;

QByteArray multipart(const QString& boundary, const QString& language, const QByteArray& file) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    return ELClient::multipartBody(boundary, QStringLiteral("scribe_v2"), language, buffer);
}

TEST(Speech, MultipartBodyIsExact) {
    const QByteArray file("RIFF\r\n--B\x00\xff", 11);
    const QByteArray fields = "--B\r\nContent-Disposition: form-data; name=\"model_id\"\r\n\r\n"
                              "scribe_v2\r\n"
                              "--B\r\nContent-Disposition: form-data; "
                              "name=\"timestamps_granularity\"\r\n\r\nword\r\n"
                              "--B\r\nContent-Disposition: form-data; "
                              "name=\"tag_audio_events\"\r\n\r\nfalse\r\n";
    const QByteArray language = "--B\r\nContent-Disposition: form-data; "
                                "name=\"language_code\"\r\n\r\npt\r\n";
    const QByteArray filePart = "--B\r\nContent-Disposition: form-data; name=\"file\"; "
                                "filename=\"audio.wav\"\r\nContent-Type: audio/wav\r\n\r\n" +
                                file + "\r\n--B--\r\n";
    EXPECT_EQ(multipart("B", "pt-BR", file), fields + language + filePart);
    EXPECT_EQ(multipart("B", "", file), fields + filePart);
}

TEST(Speech, TranscribeUploadsTheFormAndReadsTheWords) {
    FakeElevenLabs server;
    server.reply("POST", "/v1/speech-to-text", Reply{200, R"({"language_code":"en","words":[
                     {"text":"Hello","start":0.5,"end":0.9,"type":"word","logprob":-0.693147},
                     {"text":" ","start":0.9,"end":1.0,"type":"spacing"},
                     {"text":"world","start":1.0,"end":1.0,"type":"word"}]})"});
    TestFolder folder;
    QByteArray wav("RIFF");
    for (int i = 0; i < 70000; ++i)
        wav.append(char(i % 251));
    const QString path = folder.write(QStringLiteral("sound.wav"), wav);
    const ELClient client(QStringLiteral("k"));

    struct Case {
        QString language;
        std::optional<QString> sent;
    };
    const QList<Case> cases = {{"pt-BR", "pt"}, {"en_US", "en"}, {"FR", "fr"}, {"", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language.toStdString());
        TimedWords words = client.transcribe(path, QStringLiteral("scribe_v2"), c.language);
        // The word's log probability, where the service sends one, is its confidence.
        ASSERT_EQ(words.size(), 2);
        EXPECT_NEAR(words[0].confidence, 0.5, 1e-6);
        words[0].confidence = -1;
        EXPECT_EQ(words, (TimedWords{{"Hello", 0.5, 0.4}, {"world", 1.0, 0.05}}));

        const FakeElevenLabs::Request request = server.requests().last();
        const QString type = QString::fromLatin1(request.headers.value("content-type"));
        const QRegularExpression form(
            QStringLiteral("^multipart/form-data; boundary=(BRCT-[0-9A-F]{8}-[0-9A-F]{4}-"
                           "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
        const QRegularExpressionMatch match = form.match(type);
        ASSERT_TRUE(match.hasMatch()) << type.toStdString();
        EXPECT_EQ(request.headers.value("content-length").toLongLong(),
                  multipart(match.captured(1), c.language, wav).size());
        EXPECT_EQ(request.parts.value("model_id").content, "scribe_v2");
        EXPECT_EQ(request.parts.value("timestamps_granularity").content, "word");
        EXPECT_EQ(request.parts.value("tag_audio_events").content, "false");
        EXPECT_EQ(request.parts.contains("language_code"), c.sent.has_value());
        if (c.sent) {
            EXPECT_EQ(request.parts.value("language_code").content, c.sent->toUtf8());
        }
        const FakeElevenLabs::Part file = request.parts.value("file");
        EXPECT_EQ(file.filename, "audio.wav");
        EXPECT_EQ(file.contentType, "audio/wav");
        EXPECT_EQ(file.content, wav);
    }
}

TEST(Speech, AnUnreadableFileSendsNothing) {
    FakeElevenLabs server;
    TestFolder folder;
    const ELClient client(QStringLiteral("k"));
    EXPECT_THROW(client.transcribe(folder.path(QStringLiteral("missing.wav")),
                                   QStringLiteral("scribe_v2"), QString()),
                 BCError);
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST(Speech, WordsComeFromWordEntriesOnly) {
    struct Case {
        const char* name;
        QByteArray body;
        TimedWords expected;
    };
    const QList<Case> cases = {
        {"spacing and audio events dropped",
         R"({"words":[{"text":"[laughter]","start":0,"end":1,"type":"audio_event"},
                      {"text":"Hi","start":1,"end":1.5,"type":"word"},
                      {"text":" ","start":1.5,"end":1.6,"type":"spacing"},
                      {"text":"there","start":1.75,"end":2,"type":"word"}]})",
         {{"Hi", 1, 0.5}, {"there", 1.75, 0.25}}},
        {"no type counts as a word; blank and malformed entries dropped",
         R"({"words":[{"text":" \n padded \t","start":2,"end":2.5},
                      {"text":"  ","start":3,"end":3.5,"type":"word"},
                      {"text":"nostart","end":4,"type":"word"},
                      {"text":"textstart","start":"4","end":5},
                      {"text":7,"start":4,"end":5},
                      "stray"]})",
         {{"padded", 2, 0.5}}},
        {"shortest duration, stable sort by start",
         R"({"words":[{"text":"c","start":2,"end":1.9},{"text":"a","start":1,"end":1.01},
                      {"text":"b","start":1,"end":1.25}]})",
         {{"a", 1, 0.05}, {"b", 1, 0.25}, {"c", 2, 0.05}}},
        {"channels joined",
         R"({"transcripts":[{"words":[{"text":"left","start":1,"end":2}]},{},
                            {"words":[{"text":"right","start":0,"end":0.5}]}]})",
         {{"right", 0, 0.5}, {"left", 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ELClient::words(c.body), c.expected);
    }
    for (const QByteArray& bad :
         {QByteArray("[]"), QByteArray("nonsense"), QByteArray(R"({"text":"hi"})"),
          QByteArray(R"({"words":"hi"})")}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_EQ(elErrorOf([&] { ELClient::words(bad); }), ELError::badResponse());
    }
}

// Sentences of about 90 characters, numbered so that every piece is different.
QString sentences(int count) {
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("Sentence %1 tells a little more of the story, and keeps going "
                               "until it ends here. ")
                    .arg(i, 4, 10, QLatin1Char('0'));
    return text;
}

TEST(Speech, SpeakSendsThePiecesInOrderWithTheirContext) {
    FakeElevenLabs server;
    server.on("POST", "/v1/text-to-speech/voice1", [](const FakeElevenLabs::Request&, int index) {
        return Reply(200, QByteArray("MP3-") + QByteArray::number(index), "audio/mpeg");
    });
    const QString text = sentences(30);
    const QStringList pieces = ELClient::split(text, 950);
    ASSERT_EQ(pieces.size(), 3);

    const ELClient client(QStringLiteral("k"));
    EXPECT_EQ(client.speak(text, "voice1", "eleven_multilingual_v2", 1000), "MP3-0MP3-1MP3-2");

    const QList<FakeElevenLabs::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].query.value("output_format"), "mp3_44100_128");
        EXPECT_EQ(requests[i].headers.value("content-type"), "application/json");
        EXPECT_EQ(requests[i].headers.value("accept"), "audio/mpeg");
        const QJsonObject body = QJsonDocument::fromJson(requests[i].body).object();
        EXPECT_EQ(body.value("text").toString(), pieces[i]);
        EXPECT_EQ(body.value("model_id").toString(), "eleven_multilingual_v2");
        EXPECT_EQ(body.value("previous_text").toString(), i > 0 ? pieces[i - 1].right(400) : "");
        EXPECT_EQ(body.contains("previous_text"), i > 0);
        EXPECT_EQ(body.value("next_text").toString(), i < 2 ? pieces[i + 1].left(400) : "");
        EXPECT_EQ(body.contains("next_text"), i < 2);
    }
}

TEST(Speech, SpeakFailsWholeOrSendsNothing) {
    FakeElevenLabs server;
    server.on("POST", "/v1/text-to-speech/v", [](const FakeElevenLabs::Request&, int index) {
        return index == 1 ? Reply{500, "{}"} : Reply(200, "MP3", "audio/mpeg");
    });
    const ELClient client(QStringLiteral("k"));
    EXPECT_EQ(elErrorOf([&] { client.speak(sentences(30), "v", "m", 1000); }),
              ELError::server(500));
    EXPECT_EQ(server.requests().size(), 2); // nothing after the failing piece

    EXPECT_EQ(client.speak(QStringLiteral(" \n\t "), "v", "m", 5000), QByteArray());
    EXPECT_EQ(server.requests().size(), 2);
}

} // namespace
