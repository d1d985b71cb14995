#include "Caption.h"
#include "CorePrinters.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUuid>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

const QUuid fixedId(QStringLiteral("{0f8e4a2c-91b3-4d5e-a6f7-1234567890ab}"));

QJsonObject objectFrom(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

TEST(CaptionJson, WritesTheFourKeys) {
    const QJsonObject object = Caption{fixedId, 1.25, 3.5, QStringLiteral("Hi\nthere")}.toJson();
    EXPECT_EQ(object.size(), 4);
    EXPECT_EQ(object.value("id").toString(),
              QStringLiteral("0F8E4A2C-91B3-4D5E-A6F7-1234567890AB"));
    EXPECT_EQ(object.value("start").toDouble(), 1.25);
    EXPECT_EQ(object.value("end").toDouble(), 3.5);
    EXPECT_EQ(object.value("text").toString(), QStringLiteral("Hi\nthere"));
}

// Through the JSON text, as the autosave stores it, so number printing is covered too.
TEST(CaptionJson, RoundTripsThroughText) {
    const std::vector<Caption> captions = {
        Caption::make(0, 0.1, QStringLiteral("First")),
        Caption::make(1234.5678901234, 99999.000001, QStringLiteral(u"Über “café”\n😀 \"quoted\"")),
        Caption::make(1.0 / 3.0, 2.0 / 3.0, QString()),
        Caption{fixedId, -1, 1e-9, QStringLiteral("\t")},
        // Regression: the nil UUID was refused on reading, failing the whole read.
        Caption{QUuid(), 0, 1, QStringLiteral("nil id")},
    };
    for (const Caption& caption : captions) {
        const QByteArray json = QJsonDocument(caption.toJson()).toJson(QJsonDocument::Compact);
        SCOPED_TRACE(json.toStdString());
        EXPECT_EQ(Caption::fromJson(QJsonDocument::fromJson(json).object()), caption);
    }
}

TEST(CaptionJson, ReadsIntegersAndLowerCaseIds) {
    const std::optional<Caption> caption = Caption::fromJson(objectFrom(
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":2,"end":5,"text":"x","more":1})"));
    ASSERT_TRUE(caption.has_value());
    EXPECT_EQ(*caption, (Caption{fixedId, 2, 5, QStringLiteral("x")}));
}

TEST(CaptionJson, RefusesMissingOrMistypedKeys) {
    const std::vector<const char*> cases = {
        R"({})",
        R"({"start":1,"end":2,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","end":2,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":2})",
        R"({"id":12,"start":1,"end":2,"text":"x"})",
        R"({"id":null,"start":1,"end":2,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":"1","end":2,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":null,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":true,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":[1],"end":2,"text":"x"})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":2,"text":3})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":2,"text":["x"]})",
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":2,"text":null})",
    };
    for (const char* json : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(Caption::fromJson(objectFrom(json)), std::nullopt);
    }
}

TEST(CaptionJson, RefusesIdsThatAreNotUuids) {
    const std::vector<const char*> ids = {
        "",
        "not-a-uuid",
        "0f8e4a2c-91b3-4d5e-a6f7-1234567890a",  // one digit short
        "0f8e4a2c-91b3-4d5e-a6f7-1234567890ag", // not hexadecimal
        // Regression: text after the 32nd digit was ignored, so these read as the UUID before it.
        "0f8e4a2c-91b3-4d5e-a6f7-1234567890abc",
        "0f8e4a2c-91b3-4d5e-a6f7-1234567890ab trailing",
        "{0f8e4a2c-91b3-4d5e-a6f7-1234567890ab}", // braces are not the stored form
        "0f8e4a2c91b34d5ea6f71234567890ab",       // no dashes
        "0f8e4a2c_91b3_4d5e_a6f7_1234567890ab",
        " 0f8e4a2c-91b3-4d5e-a6f7-1234567890ab",
    };
    for (const char* id : ids) {
        SCOPED_TRACE(id);
        QJsonObject object = Caption{fixedId, 1, 2, QStringLiteral("x")}.toJson();
        object.insert("id", QString::fromLatin1(id));
        EXPECT_EQ(Caption::fromJson(object), std::nullopt);
    }
}

TEST(CaptionId, FreshIdentifiersAreVersionFourAndDistinct) {
    QSet<QUuid> seen;
    for (int i = 0; i < 2000; ++i) {
        const QUuid id = Caption::newId();
        EXPECT_EQ(id.version(), QUuid::Random);
        EXPECT_EQ(id.variant(), QUuid::DCE);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 2000);
}

} // namespace
