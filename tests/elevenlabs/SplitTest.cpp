// ELClient::split: pieces for text to speech, counted in user-perceived characters.
#include "BCText.h"
#include "ELClient.h"
#include "ELPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(Split, CutsBetweenSentencesThenAtSpacesThenAnywhere) {
    const QString a150(150, u'a');
    struct Case {
        const char* name;
        QString text;
        int max;
        QStringList expected;
    };
    const QList<Case> cases = {
        {"blank", " \n\t ", 200, {}},
        {"short text trimmed", "  " + a150 + "\n", 4950, {a150}},
        {"sentences joined while they fit", "One. Two. Three.", 10, {"One. Two.", "Three."}},
        {"long sentence cut at its last space in the limit",
         "aaaa bbbb cccc dddd. Next.",
         12,
         {"aaaa bbbb", "cccc dddd.", "Next."}},
        {"one word of 500 characters",
         QString(500, u'w'),
         200,
         {QString(200, u'w'), QString(200, u'w'), QString(100, u'w')}},
        // Regression: after a cut at a space, the rest of the sentence starts with that space;
        // when it is followed by a run longer than the limit, that space at index 0 was taken
        // as the cut again and the loop never ended.
        {"space then a long run",
         a150 + " " + QString(300, u'b') + ".",
         200,
         {a150, QString(199, u'b'), QString(101, u'b') + "."}},
        {"piece before a long sentence goes out as it is",
         "Hi. " + QString(30, u'X') + ".",
         20,
         {"Hi. ", QString(20, u'X'), QString(10, u'X') + "."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ELClient::split(c.text, c.max), c.expected);
    }
}

TEST(Split, LongTextIsCutOnlyBetweenSentences) {
    QString text;
    for (int i = 0; text.size() < 12000; ++i)
        text += QStringLiteral("This is sentence number %1, which is of middling length%2. ")
                    .arg(i)
                    .arg(QString(i % 7 * 9, u'!'));
    const QStringList pieces = ELClient::split(text, 4950);
    ASSERT_EQ(pieces.size(), 3);
    for (const QString& piece : pieces) {
        EXPECT_LE(piece.size(), 4950);
        EXPECT_TRUE(piece.startsWith(QStringLiteral("This is sentence")))
            << piece.left(40).toStdString();
        EXPECT_TRUE(piece.endsWith(u'.'));
    }
    EXPECT_EQ(pieces.join(u' '), text.trimmed());
}

TEST(Split, CountsCharactersAsPeopleSeeThem) {
    // "é" written as e + combining acute: two code units, one character.
    QString accented;
    for (int i = 0; i < 300; ++i)
        accented += QStringLiteral("e\u0301");
    const QStringList pieces = ELClient::split(accented, 200);
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(BCText::length(pieces[0]), 200);
    EXPECT_EQ(BCText::length(pieces[1]), 100);
    EXPECT_EQ(pieces.join(QString()), accented);

    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(ELClient::split(family.repeated(5), 5), QStringList{family.repeated(5)});
    EXPECT_EQ(ELClient::split(family.repeated(6), 5), (QStringList{family.repeated(5), family}));
}

} // namespace
