// ELClient against a local fake of the service: what goes over the wire, and how each answer
// or failure comes back.
#include "ELClient.h"
#include "ELPrinters.h"
#include "FakeElevenLabs.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Reply = FakeElevenLabs::Reply;

QByteArray json(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson()
                           : QJsonDocument(value.toObject()).toJson();
}

QJsonObject voiceEntry(const QString& id, const QString& name) {
    return {{"voice_id", id}, {"name", name}, {"category", "premade"}};
}

ELClient::Request get(const QString& path) {
    ELClient::Request request;
    request.path = path;
    return request;
}

TEST(Client, SendsTheKeyAndTheAgentAndNeverACookie) {
    FakeElevenLabs server;
    server.on("GET", "/v2/voices", [](const FakeElevenLabs::Request&, int index) {
        QJsonObject page{{"voices", QJsonArray{voiceEntry(QString("v%1").arg(index), "A")}},
                         {"has_more", index == 0},
                         {"next_page_token", "next"}};
        return Reply(200, json(page)).withHeader("Set-Cookie", "session=abc; Path=/");
    });
    server.reply("GET", "/v1/models", Reply(200, "[]"));
    const ELClient client(QStringLiteral("sk_test_key"));
    ASSERT_EQ(client.voices().size(), 2);
    client.models();

    const QList<FakeElevenLabs::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    for (const auto& request : requests) {
        SCOPED_TRACE(request.path.toStdString());
        EXPECT_EQ(request.headers.value("xi-api-key"), "sk_test_key");
        EXPECT_EQ(request.headers.value("user-agent"), "BRCT Lorowen Pro");
        EXPECT_FALSE(request.headers.contains("cookie"));
    }
    EXPECT_EQ(requests[0].query.value("page_size"), "100");
    EXPECT_EQ(requests[0].query.value("include_total_count"), "false");
    EXPECT_FALSE(requests[0].query.contains("next_page_token"));
    EXPECT_EQ(requests[1].query.value("next_page_token"), "next");
    EXPECT_EQ(requests[2].path, "/v1/models");
}

TEST(Client, StatusesBecomeTheirErrors) {
    FakeElevenLabs server;
    const QString longText(400, u'x');
    struct Case {
        const char* name;
        int status;
        QByteArray body;
        ELError expected;
    };
    const QList<Case> cases = {
        {"403 about quota", 403,
         R"({"detail":{"status":"quota_exceeded","message":"This request exceeds your quota."}})",
         ELError::noCredits()},
        {"code names payment", 400, R"({"detail":{"code":"payment_required","message":"x"}})",
         ELError::noCredits()},
        {"401", 401, R"({"detail":{"status":"invalid_api_key","message":"Invalid API key"}})",
         ELError::badKey()},
        {"403 plain", 403, "", ELError::badKey()},
        {"402", 402, "", ELError::noCredits()},
        {"422 list", 422, R"({"detail":[{"loc":["body","text"],"msg":"Field required"}]})",
         ELError::rejected("Field required")},
        {"418 empty", 418, "", ELError::rejected("error 418")},
        {"400 text detail", 400, R"({"detail":"Voice not found"})",
         ELError::rejected("Voice not found")},
        {"long message", 400, json(QJsonObject{{"detail", longText}}),
         ELError::rejected(QString(300, u'x'))},
        {"not JSON", 404, "<html>nope</html>", ELError::rejected("error 404")},
        {"429", 429, R"({"detail":{"status":"too_many_concurrent_requests","message":"busy"}})",
         ELError::rateLimited()},
        {"503", 503, "", ELError::server(503)},
    };
    const ELClient client(QStringLiteral("k"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reply("GET", "/v1/probe", Reply(c.status, c.body));
        EXPECT_EQ(elErrorOf([&] { client.send(get("v1/probe")); }), c.expected);
        EXPECT_EQ(ELClient::mapError(c.status, c.body), c.expected);
    }
    EXPECT_EQ(ELError::server(503).message(),
              "ElevenLabs had a problem on their side (error 503). Try again later.");
}

TEST(Client, TransportFailuresAreOfflineOrTimedOut) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    qputenv("BRCT_ELEVENLABS_BASE", QStringLiteral("http://127.0.0.1:%1/").arg(port).toUtf8());
    EXPECT_EQ(elErrorOf([] { ELClient(QStringLiteral("k")).models(); }), ELError::offline());
    qunsetenv("BRCT_ELEVENLABS_BASE");

    FakeElevenLabs server;
    server.reply("GET", "/v1/silent", Reply(200, "{}").after(30000));
    server.reply("GET", "/v1/slow", Reply(200, QByteArray(100, 'x'), "text/plain").dribbling(100));
    ELClient::Timeouts quick;
    quick.request = 300;
    quick.total = 600;
    const ELClient client(QStringLiteral("k"), quick);
    for (const char* path : {"v1/silent", "v1/slow"}) {
        SCOPED_TRACE(path);
        QElapsedTimer clock;
        clock.start();
        // A server that never answers hits the idle limit; one that sends a byte every 0.1 s
        // never goes idle but runs over the limit of the whole exchange.
        EXPECT_EQ(elErrorOf([&] { client.send(get(path)); }), ELError::timedOut());
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST(Client, StopEndsARequestOnAnyThread) {
    FakeElevenLabs server;
    server.reply("GET", "/v1/models", Reply(200, "[]").after(30000));
    const ELClient client(QStringLiteral("k"));

    std::stop_source early;
    early.request_stop();
    EXPECT_THROW(client.models(early.get_token()), BCCancelled);
    EXPECT_TRUE(server.requests().isEmpty());

    // The request runs on a worker thread; the stop comes from this one while it waits.
    std::stop_source stop;
    bool cancelled = false;
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        try {
            client.models(stop.get_token());
        } catch (const BCCancelled&) {
            cancelled = true;
        }
    });
    ASSERT_TRUE(spinUntil([&] { return !server.requests().isEmpty(); }));
    stop.request_stop();
    worker.join();
    EXPECT_TRUE(cancelled);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(Client, VoicesFollowThePagesAndSortByName) {
    FakeElevenLabs server;
    // A token with characters that a query string must escape ("+" would arrive as a space).
    const QString token = QStringLiteral("a+b/c=d e&f");
    server.on("GET", "/v2/voices", [&](const FakeElevenLabs::Request& request, int index) {
        QJsonArray voices;
        QJsonObject page;
        if (index == 0) {
            voices = {voiceEntry("z", "zed"), voiceEntry("b1", "Bob"),
                      QJsonObject{{"voice_id", "x"}}, QJsonObject{{"name", "no id"}}, 7};
            page = {{"has_more", true}, {"next_page_token", token}};
        } else {
            EXPECT_EQ(request.query.value("next_page_token"), token);
            voices = {voiceEntry("b2", "bob"),
                      QJsonObject{{"voice_id", "a"},
                                  {"name", "alice"},
                                  {"preview_url", "https://example.invalid/a.mp3"}}};
            page = {{"has_more", false}, {"next_page_token", "ignored"}};
        }
        page.insert("voices", voices);
        return Reply(200, json(page));
    });
    const QList<ELVoice> expected = {
        {"a", "alice", "", QString("https://example.invalid/a.mp3")},
        {"b1", "Bob", "premade", std::nullopt}, // equal names ignoring case keep their order
        {"b2", "bob", "premade", std::nullopt},
        {"z", "zed", "premade", std::nullopt},
    };
    EXPECT_EQ(ELClient(QStringLiteral("k")).voices(), expected);
    EXPECT_EQ(server.requests().size(), 2);
}

TEST(Client, VoicesReadAtMostTwentyPages) {
    FakeElevenLabs server;
    server.on("GET", "/v2/voices", [](const FakeElevenLabs::Request&, int index) {
        const QJsonObject page{{"voices", QJsonArray{voiceEntry(QString::number(index), "v")}},
                               {"has_more", true},
                               {"next_page_token", QString("t%1").arg(index)}};
        return Reply(200, json(page));
    });
    EXPECT_EQ(ELClient(QStringLiteral("k")).voices().size(), 20);
    EXPECT_EQ(server.requests().size(), 20);
}

TEST(Client, AnswersOfTheWrongShapeAreBadResponses) {
    FakeElevenLabs server;
    const ELClient client(QStringLiteral("k"));
    for (const QByteArray& body :
         {QByteArray("not json"), QByteArray(R"({"voices":{}})"), QByteArray("[]")}) {
        SCOPED_TRACE(body.toStdString());
        server.reply("GET", "/v2/voices", Reply(200, body));
        EXPECT_EQ(elErrorOf([&] { client.voices(); }), ELError::badResponse());
    }
    server.reply("GET", "/v1/models", Reply{200, R"({"models":[]})"});
    EXPECT_EQ(elErrorOf([&] { client.models(); }), ELError::badResponse());
}

TEST(Client, ModelsKeepSpeechModelsWithTheirLimits) {
    FakeElevenLabs server;
    const auto model = [](const QString& id, const QJsonValue& limit) {
        QJsonObject entry{
            {"model_id", id}, {"name", id.toUpper()}, {"can_do_text_to_speech", true}};
        if (!limit.isUndefined())
            entry.insert("maximum_text_length_per_request", limit);
        return entry;
    };
    const QJsonArray answer = {
        model("big", 10000),
        model("missing", QJsonValue::Undefined),
        model("text", "40000"),
        model("fraction", 2500.5),
        model("tiny", 100),
        model("negative", -5),
        QJsonObject{{"model_id", "unnamed"}, {"can_do_text_to_speech", true}},
        QJsonObject{{"model_id", "scribe"}, {"can_do_text_to_speech", false}},
        QJsonObject{{"model_id", "unsure"}, {"can_do_text_to_speech", "yes"}},
        QJsonObject{{"name", "no id"}, {"can_do_text_to_speech", true}},
        "stray",
    };
    server.reply("GET", "/v1/models", Reply(200, json(answer)));
    const QList<ELModel> expected = {
        {"big", "BIG", 10000},          {"missing", "MISSING", 5000}, {"text", "TEXT", 5000},
        {"fraction", "FRACTION", 5000}, {"tiny", "TINY", 200},        {"negative", "NEGATIVE", 200},
        {"unnamed", "unnamed", 5000},
    };
    EXPECT_EQ(ELClient(QStringLiteral("k")).models(), expected);
}

TEST(Client, VoicesAndModelsKeepTheirStoredShape) {
    const ELVoice voice{"id1", "Rachel", "", QString("https://example.invalid/p.mp3")};
    EXPECT_EQ(voice.toJson(), (QJsonObject{{"id", "id1"},
                                           {"name", "Rachel"},
                                           {"category", ""},
                                           {"previewURL", "https://example.invalid/p.mp3"}}));
    EXPECT_EQ(ELVoice::fromJson(voice.toJson()), voice);
    const ELModel model{"eleven_v3", "Eleven v3", 3000};
    EXPECT_EQ(model.toJson(),
              (QJsonObject{{"id", "eleven_v3"}, {"name", "Eleven v3"}, {"maxChars", 3000}}));
    EXPECT_EQ(ELModel::fromJson(model.toJson()), model);
    EXPECT_EQ(ELVoice::fromJson(QJsonObject{{"id", "x"}}), std::nullopt);
}

} // namespace
