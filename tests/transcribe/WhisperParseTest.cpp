#include "WhisperEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonObject segment(const QString& text, double from, double to) {
    return QJsonObject{
        {"timestamps", QJsonObject{{"from", "00:00:00,000"}, {"to", "00:00:00,000"}}},
        {"offsets", QJsonObject{{"from", from}, {"to", to}}},
        {"text", text}};
}

QByteArray result(const QJsonArray& segments) {
    return QJsonDocument(QJsonObject{{"systeminfo", "AVX = 1"},
                                     {"result", QJsonObject{{"language", "en"}}},
                                     {"transcription", segments}})
        .toJson();
}

QStringList texts(const TimedWords& words) {
    QStringList out;
    for (const TimedWord& w : words)
        out.append(w.text);
    return out;
}

TimedWords wordsOf(const QStringList& texts) {
    TimedWords words;
    double t = 0;
    for (const QString& text : texts) {
        words.append({text, t, 0.2});
        t += 0.3;
    }
    return words;
}

TEST(WhisperParse, KeepsWordsAndSkipsMarkers) {
    const QJsonArray segments = {
        segment(" Hello", 0, 320),
        segment("[BLANK_AUDIO]", 320, 1000),
        segment(" (music)", 1000, 1500),
        segment(" ♪", 1500, 1600),
        segment(" ...", 1600, 1700),
        segment("♪ - ♫", 1700, 1800),
        segment("  \n", 1800, 1900),
        segment(" world!\n", 1200, 1210),
        QJsonObject{{"text", "no offsets"}},
        QJsonObject{{"offsets", QJsonObject{{"from", 0}}}},
        QJsonObject{{"offsets", QJsonObject{}}, {"text", "zero"}},
        QJsonObject{{"offsets", QJsonObject{{"from", 3000}}}, {"text", "late"}},
        QJsonObject{{"offsets", QJsonObject{{"from", 4000}, {"to", 3000}}}, {"text", "back"}},
    };
    const TimedWords words = WhisperEngine::parse(result(segments));
    ASSERT_EQ(texts(words), (QStringList{"Hello", "world!", "zero", "late", "back"}));
    EXPECT_EQ(words[0], (TimedWord{"Hello", 0, 0.32}));
    EXPECT_EQ(words[1].start, 1.2);
    EXPECT_NEAR(words[1].duration, 0.05, 1e-12); // 10 ms is raised to 50 ms
    EXPECT_EQ(words[2], (TimedWord{"zero", 0, 0.05}));
    EXPECT_EQ(words[3], (TimedWord{"late", 3, 0.05}));
    EXPECT_EQ(words[4], (TimedWord{"back", 4, 0.05}));
}

// A full (-ojf) result gives each word the lowest probability of its text tokens.
TEST(WhisperParse, AWordsConfidenceIsItsLeastLikelyTextToken) {
    const auto token = [](const char* text, double p) {
        return QJsonObject{{"text", text}, {"id", 1}, {"p", p}, {"t_dtw", -1}};
    };
    const auto scoredSegment = [](const char* text, double from, double to, QJsonArray tokens) {
        QJsonObject s = segment(QString::fromUtf8(text), from, to);
        s.insert("tokens", tokens);
        return s;
    };
    const QJsonArray segments = {
        scoredSegment(" Hello", 0, 300, {token("[_BEG_]", 0.01), token(" Hello", 0.93)}),
        scoredSegment(" Brindlecote", 300, 900,
                      {token(" Br", 0.8), token("indle", 0.12), token("cote", 0.6)}),
        scoredSegment(" odd", 900, 1000, {token(" odd", 7.5)}), // clamped into 0..1
        segment(" plain", 1000, 1100),                          // no tokens: unknown
    };
    const TimedWords words = WhisperEngine::parse(result(segments));
    ASSERT_EQ(texts(words), (QStringList{"Hello", "Brindlecote", "odd", "plain"}));
    EXPECT_DOUBLE_EQ(words[0].confidence, 0.93);
    EXPECT_DOUBLE_EQ(words[1].confidence, 0.12);
    EXPECT_DOUBLE_EQ(words[2].confidence, 1.0);
    EXPECT_LT(words[3].confidence, 0);
}

TEST(WhisperParse, AnythingElseGivesNoWords) {
    const QList<QByteArray> inputs = {"",
                                      "not json",
                                      "[]",
                                      "{}",
                                      R"({"transcription": {}})",
                                      R"({"transcription": "x"})",
                                      R"({"transcription": [1, "two", null]})"};
    for (const QByteArray& input : inputs)
        EXPECT_TRUE(WhisperEngine::parse(input).isEmpty()) << input.constData();
}

TEST(WhisperParse, ParseDropsLoops) {
    QJsonArray segments;
    for (int i = 0; i < 6; ++i)
        segments.append(segment(" la", i * 300, i * 300 + 200));
    EXPECT_EQ(texts(WhisperEngine::parse(result(segments))), (QStringList{"la", "la"}));
}

TEST(DropLoops, FourOrMoreRepeatsBecomeTwo) {
    struct Case {
        QStringList in;
        QStringList out;
    };
    const QList<Case> cases = {
        {{"la", "la", "la", "la"}, {"la", "la"}},
        {{"la", "la", "la"}, {"la", "la", "la"}},
        {{"La,", "la", "LA!", "là", "end"}, {"La,", "la", "end"}}, // same key despite case/accent
        {{"oh", "baby", "oh", "baby", "oh", "baby", "oh", "baby", "yes"},
         {"oh", "baby", "oh", "baby", "yes"}},
        {{"a", "b", "c", "a", "b", "c", "a", "b", "c"},
         {"a", "b", "c", "a", "b", "c", "a", "b", "c"}},
        {{"x",     "one",  "two",  "three", "four", "five", "six",   "one",  "two",
          "three", "four", "five", "six",   "one",  "two",  "three", "four", "five",
          "six",   "one",  "two",  "three", "four", "five", "six"},
         {"x", "one", "two", "three", "four", "five", "six", "one", "two", "three", "four", "five",
          "six"}},
        {{}, {}},
        {{"a"}, {"a"}},
    };
    for (const Case& c : cases) {
        const TimedWords out = WhisperEngine::dropLoops(wordsOf(c.in));
        EXPECT_EQ(texts(out), c.out) << c.in.join(u' ').toStdString();
    }
}

TEST(DropLoops, KeepsTheFirstTwoCopiesWithTheirTimes) {
    const TimedWords in = wordsOf({"go", "go", "go", "go", "go", "stop"});
    const TimedWords out = WhisperEngine::dropLoops(in);
    ASSERT_EQ(out.size(), 3);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    EXPECT_EQ(out[2], in[5]);
}

} // namespace
