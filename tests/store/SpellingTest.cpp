// Spelling against the system's dictionaries: the words checked, the dictionary found for a
// language, and the store's round trip on Debian's en_US dictionary (hunspell-en-us).
#include "LWSpeller.h"
#include "LWSpelling.h"
#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString kDebianEnglish = QStringLiteral("/usr/share/hunspell/en_US.aff");

// The texts of the words checked in `text`.
QStringList checkedWords(const QString& text) {
    QStringList out;
    for (const LWSpeller::Word& word : LWSpeller::words(text)) {
        EXPECT_EQ(text.mid(word.from, word.length), word.text);
        out << word.text;
    }
    return out;
}

// The words `spelling` marks in `text` once every word is answered.
QStringList marked(LWSpelling& spelling, const QString& text) {
    QList<LWSpeller::Word> wrong;
    const bool answered = spinUntil([&] {
        bool waiting = false;
        wrong = spelling.misspelled(text, &waiting);
        return !waiting && (spelling.ready() || spelling.statusText().startsWith(u"No "));
    });
    EXPECT_TRUE(answered) << "no answer for: " << text.toStdString();
    QStringList out;
    for (const LWSpeller::Word& word : wrong)
        out << word.text;
    return out;
}

TEST(Spelling, OnlyRealWordsAreChecked) {
    struct Case {
        const char* text;
        QStringList words;
    };
    const Case cases[] = {
        {"In 2024 we met 3 times, at 10:30", {"In", "we", "met", "times", "at"}},
        {"MP4 files, the 3rd take, 4K", {"files", "the", "take"}},
        {"NASA told the BBC", {"told", "the"}},
        {">> Who's there?\n>> Me.", {"Who's", "there", "Me"}},
        {"don't stop, it’s fine", {"don't", "stop", "it’s", "fine"}},
        {"I saw A-level", {"I", "saw", "A", "level"}},
        {"see www.example.com or https://x.org/a_b now", {"see", "or", "now"}},
        {"mail me@example.org soon", {"mail", "soon"}},
        {"— … !!", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(checkedWords(QString::fromUtf8(c.text)), c.words);
    }
}

TEST(Spelling, DictionaryFollowsTheLanguageAndNamesTheMissingPackage) {
    TestFolder folder;
    for (const char* name : {"de_DE", "es_MX", "fr"}) {
        folder.write(QStringLiteral("%1.aff").arg(QLatin1String(name)), "SET UTF-8\n");
        folder.write(QStringLiteral("%1.dic").arg(QLatin1String(name)), "0\n");
    }
    folder.write(QStringLiteral("it_IT.aff"), "SET UTF-8\n"); // no .dic: not a dictionary
    const QStringList folders = {folder.path(QStringLiteral("none")), folder.root()};
    struct Case {
        const char* language;
        const char* file; // found in the folder, or empty
        const char* package;
    };
    const Case cases[] = {
        {"de", "de_DE.aff", "hunspell-de-de"},
        {"de-AT", "de_DE.aff", "hunspell-de-at"},
        {"de_DE", "de_DE.aff", "hunspell-de-de"},
        {"es", "es_MX.aff", "hunspell-es"},
        {"fr-CA", "fr.aff", "hunspell-fr"},
        {"en-US", "", "hunspell-en-us"},
        {"en", "", "hunspell-en-us"},
        {"en-GB", "", "hunspell-en-gb"},
        {"pt", "", "hunspell-pt-br"},
        {"nb-NO", "", "hunspell-no"},
        {"it", "", "hunspell-it"},
        {"ja", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        const QString language = QString::fromLatin1(c.language);
        const QString found = LWSpeller::findDictionary(language, folders);
        EXPECT_EQ(QFileInfo(found).fileName(), QLatin1String(c.file));
        EXPECT_EQ(LWSpeller::packageFor(language), QLatin1String(c.package));
    }
    EXPECT_EQ(LWSpeller::statusText(QStringLiteral("en-US"), folders),
              QStringLiteral("No spelling dictionary for English is installed. Install the "
                             "hunspell-en-us package to check spelling."));
    EXPECT_EQ(LWSpeller::statusText(QStringLiteral("de"), folders),
              QStringLiteral("Spelling is checked with the German (Germany) dictionary (%1).")
                  .arg(folder.path(QStringLiteral("de_DE.dic"))));

    // No dictionary: nothing is marked, ever, and the sentence names the package.
    LWSpelling spelling(folders, folder.path(QStringLiteral("words.txt")));
    spelling.setLanguage(QStringLiteral("en-US"));
    EXPECT_TRUE(marked(spelling, QStringLiteral("Thsi is wrnog")).isEmpty());
    EXPECT_FALSE(spelling.ready());
    EXPECT_TRUE(spelling.suggestions(QStringLiteral("wrnog")).isEmpty());
    EXPECT_TRUE(spelling.statusText().contains(QStringLiteral("hunspell-en-us")));
}

TEST(Spelling, RoundTripOnTheDebianDictionary) {
    ASSERT_TRUE(QFileInfo::exists(kDebianEnglish))
        << "Debian's hunspell-en-us is missing (scripts/setup installs it)";
    clearPreferences();
    TestFolder folder;
    const QString personal = folder.path(QStringLiteral("data/Dictionary.txt"));
    ScriptedHooks hooks;
    TestServices services;
    LWStore store(hooks, services.get(), QStringLiteral("en_US"));
    store.setLanguage(QStringLiteral("en-US"));
    // The store's own speller reads the user's list; this test's lists live in its folder.
    LWSpelling spelling(LWSpeller::systemFolders(), personal);
    spelling.setLanguage(store.language());

    const QString text = QStringLiteral(">> I recieve teh NASA mail in 2024, don't I? Lorowen");
    store.setCaptions({Caption::make(1, 3, text)});
    store.resetHistory();
    EXPECT_EQ(
        marked(store.spelling(), text),
        (QStringList{QStringLiteral("recieve"), QStringLiteral("teh"), QStringLiteral("Lorowen")}));
    EXPECT_EQ(marked(spelling, text), marked(store.spelling(), text));

    // A suggestion, applied through the store, is one undo step.
    const QList<LWSpeller::Word> wrong = store.spelling().misspelled(text);
    ASSERT_EQ(wrong.size(), 3);
    const QStringList corrections = store.spelling().suggestions(wrong[0].text);
    ASSERT_FALSE(corrections.isEmpty());
    EXPECT_EQ(corrections.first(), QStringLiteral("receive"));
    const QUuid id = store.captions()[0].id;
    store.replaceWord(id, wrong[0].from, wrong[0].length, corrections.first());
    const QString mended = store.captions()[0].text;
    EXPECT_EQ(mended, QStringLiteral(">> I receive teh NASA mail in 2024, don't I? Lorowen"));
    EXPECT_EQ(marked(store.spelling(), mended),
              (QStringList{QStringLiteral("teh"), QStringLiteral("Lorowen")}));
    store.undo();
    EXPECT_EQ(store.captions()[0].text, text);
    store.redo();
    // A stretch past the end of the text (the caption changed meanwhile) changes nothing.
    store.replaceWord(id, mended.size() - 2, 5, QStringLiteral("x"));
    EXPECT_EQ(store.captions()[0].text, mended);

    // "Add to Dictionary" is kept in the personal list and read by the next speller; the
    // capitalised word at the start of a sentence counts as the added one.
    spelling.addToDictionary(QStringLiteral("lorowen"));
    EXPECT_EQ(marked(spelling, mended), QStringList{QStringLiteral("teh")});
    EXPECT_EQ(QFile(personal).exists(), true);
    // "Ignore" lasts for this speller (the session) only.
    spelling.ignore(QStringLiteral("teh"));
    EXPECT_TRUE(marked(spelling, mended).isEmpty());

    LWSpelling later(LWSpeller::systemFolders(), personal);
    later.setLanguage(QStringLiteral("en-US"));
    EXPECT_EQ(marked(later, mended), QStringList{QStringLiteral("teh")});
    later.addToDictionary(QStringLiteral("Teh"));
    QFile list(personal);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), QByteArray("lorowen\nTeh\n"));

    // Another language reads its own dictionary (hunspell-de-de): English words are misspellings.
    later.setLanguage(QStringLiteral("de"));
    if (later.statusText().startsWith(QStringLiteral("Spelling is checked"))) {
        const QStringList german = marked(later, QStringLiteral("Das Haus ist green"));
        EXPECT_EQ(german, QStringList{QStringLiteral("green")});
    }
}

TEST(Spelling, AWordListThatCantBeWrittenIsSaidAndTheWordStillAccepted) {
    ASSERT_TRUE(QFileInfo::exists(kDebianEnglish));
    TestFolder folder;
    // The list's folder is a file: the list can't be written there.
    folder.write(QStringLiteral("blocked"), "a file, not a folder");
    LWSpelling spelling(LWSpeller::systemFolders(), folder.path(QStringLiteral("blocked/w.txt")));
    spelling.setLanguage(QStringLiteral("en-US"));
    QStringList said;
    QObject::connect(&spelling, &LWSpelling::failed, [&](const QString& s) { said << s; });
    EXPECT_EQ(marked(spelling, QStringLiteral("a zorblat")),
              QStringList{QStringLiteral("zorblat")});
    spelling.addToDictionary(QStringLiteral("zorblat"));
    EXPECT_TRUE(marked(spelling, QStringLiteral("a zorblat")).isEmpty());
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(QStringLiteral("w.txt"))) << said[0].toStdString();
}

} // namespace
