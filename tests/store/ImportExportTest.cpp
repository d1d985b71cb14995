#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kTwoCues = "1\n00:00:01,000 --> 00:00:02,500\nHello there\n\n"
                            "2\n00:00:03,000 --> 00:00:04,000\nGeneral Kenobi\n\n";

class ImportExport : public ::testing::Test {
protected:
    void SetUp() override { clearPreferences(); }

    Captions someCaptions() {
        return {Caption::make(0, 2, QStringLiteral("A")), Caption::make(2, 5, QStringLiteral("B"))};
    }

    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
    TestFolder folder;
};

TEST_F(ImportExport, ImportReplacesCaptionsKeepsPreviousAndSetsNote) {
    const Captions before = someCaptions();
    store.setCaptions(before);
    hooks.openAnswers.push_back(folder.write(QStringLiteral("talk.srt"), kTwoCues));

    store.importSubtitles();

    ASSERT_EQ(hooks.openPanels.size(), 1);
    EXPECT_EQ(hooks.openPanels[0].extensions,
              (QStringList{"srt", "vtt", "ass", "ssa", "ttml", "xml", "dfxp", "sbv"}));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    ASSERT_EQ(store.captions().size(), 2);
    EXPECT_EQ(store.captions()[0].text, QStringLiteral("Hello there"));
    EXPECT_EQ(store.captions()[1].start, 3.0);
    ASSERT_TRUE(store.previousCaptions().has_value());
    EXPECT_EQ(*store.previousCaptions(), before);
    EXPECT_EQ(store.note(), QStringLiteral("Imported 2 captions from talk.srt."));
}

TEST_F(ImportExport, ImportIntoEmptyDocumentLeavesNoPreviousSet) {
    hooks.openAnswers.push_back(folder.write(QStringLiteral("a.vtt"), "WEBVTT\n\n" + kTwoCues));
    store.importSubtitles();
    EXPECT_EQ(store.captions().size(), 2);
    EXPECT_FALSE(store.previousCaptions().has_value());
}

TEST_F(ImportExport, ImportReadsWindowsAndUtf16Files) {
    // Windows-1252 quotes and a UTF-16 file with its byte-order mark.
    hooks.openAnswers.push_back(folder.write(
        QStringLiteral("win.srt"), "1\n00:00:01,000 --> 00:00:02,000\n\x93Hi\x94 caf\xe9\n"));
    store.importSubtitles();
    ASSERT_EQ(store.captions().size(), 1);
    EXPECT_EQ(store.captions()[0].text, QStringLiteral("“Hi” café"));

    QByteArray utf16("\xFF\xFE", 2);
    const QString text = QStringLiteral("1\r\n00:00:05,000 --> 00:00:06,000\r\nÜber\r\n");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    hooks.openAnswers.push_back(folder.write(QStringLiteral("wide.srt"), utf16));
    store.importSubtitles();
    ASSERT_EQ(store.captions().size(), 1);
    EXPECT_EQ(store.captions()[0].text, QStringLiteral("Über"));
    EXPECT_EQ(store.captions()[0].start, 5.0);
}

TEST_F(ImportExport, FailedImportsAlertAndLeaveEverythingAlone) {
    const Captions before = someCaptions();
    store.setCaptions(before);
    store.setNote(QStringLiteral("unchanged"));

    struct Case {
        const char* name;
        QString path;
        QString title;
        QString message;
    };
    const QList<Case> cases = {
        {"cancelled panel", QString(), QString(), QString()},
        {"missing file", folder.path(QStringLiteral("gone.srt")),
         QStringLiteral("Can't read that file"), QStringLiteral("gone.srt")},
        {"a folder", folder.root(), QStringLiteral("Can't read that file"),
         QDir(folder.root()).dirName()},
        {"no cues", folder.write(QStringLiteral("notes.srt"), "just some text\n\nand more\n"),
         QStringLiteral("No captions found"),
         QStringLiteral("“notes.srt” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")},
        {"only blank cues",
         folder.write(QStringLiteral("blank.vtt"), "WEBVTT\n\n00:01.000 --> 00:02.000\n   \n"),
         QStringLiteral("No captions found"),
         QStringLiteral("“blank.vtt” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hooks.alerts.clear();
        hooks.openAnswers.push_back(c.path.isEmpty() ? std::nullopt : std::optional(c.path));
        store.importSubtitles();
        if (c.title.isEmpty()) {
            EXPECT_TRUE(hooks.alerts.isEmpty());
        } else {
            ASSERT_EQ(hooks.alerts.size(), 1);
            EXPECT_EQ(hooks.alerts[0].title, c.title);
            EXPECT_EQ(hooks.alerts[0].message, c.message);
        }
        EXPECT_EQ(store.captions(), before);
        EXPECT_FALSE(store.previousCaptions().has_value());
        EXPECT_EQ(store.note(), QStringLiteral("unchanged"));
    }
}

TEST_F(ImportExport, ExportWritesEachKindAndRevealsTheFile) {
    store.setCaptions(someCaptions());
    struct Case {
        LWStore::TextKind kind;
        bool timestamps;
        QString file;
        QByteArray expected;
    };
    const QList<Case> cases = {
        {LWStore::TextKind::srt, false, QStringLiteral("out.srt"),
         "1\n00:00:00,000 --> 00:00:02,000\nA\n\n2\n00:00:02,000 --> 00:00:05,000\nB\n\n"},
        {LWStore::TextKind::vtt, false, QStringLiteral("out.vtt"),
         "WEBVTT\n\n1\n00:00:00.000 --> 00:00:02.000\nA\n\n2\n00:00:02.000 --> "
         "00:00:05.000\nB\n\n"},
        {LWStore::TextKind::txt, false, QStringLiteral("out.txt"), "A B\n"},
        {LWStore::TextKind::txt, true, QStringLiteral("stamped.txt"), "[0:00] A\n[0:02] B\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        hooks.saveAnswers.push_back(folder.path(c.file));
        store.exportText(c.kind, c.timestamps);
        EXPECT_TRUE(hooks.alerts.isEmpty());
        EXPECT_EQ(folder.read(c.file), c.expected);
        EXPECT_EQ(store.note(), QStringLiteral("Saved %1.").arg(c.file));
        ASSERT_FALSE(hooks.revealed.isEmpty());
        EXPECT_EQ(hooks.revealed.last(), folder.path(c.file));
        EXPECT_EQ(hooks.savePanels.last().extensions, QStringList{c.file.section(u'.', -1)});
    }
}

// The styled formats carry the window's look, the picture size and the language, and each file
// written reads back through File > Import as the same captions.
TEST_F(ImportExport, OtherFormatsExportWithTheLookAndImportBack) {
    const Captions captions = {Caption::make(1, 2.5, QStringLiteral("Hello\nthere")),
                               Caption::make(3, 4.25, QStringLiteral("Bye & <now>"))};
    store.setCaptions(captions);
    CaptionStyle style = CaptionStyle::presets()[1];
    style.uppercase = false;
    store.setStyle(style);
    store.setLanguage(QStringLiteral("de-DE"));
    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(QStringLiteral("/videos/clip.mp4"));
    media.hasVideo = true;
    media.naturalSize = QSize(640, 360);
    store.setMedia(media);

    const struct {
        LWStore::TextKind kind;
        const char* file;
        const char* marks[2];
    } cases[] = {
        {LWStore::TextKind::ass, "out.ass", {"PlayResX: 640\nPlayResY: 360\n", "Style: "}},
        {LWStore::TextKind::ttml, "out.ttml", {"xml:lang=\"de-DE\"", "ttp:timeBase=\"media\""}},
        {LWStore::TextKind::sbv, "out.sbv", {"0:00:01.000,0:00:02.500\nHello\nthere\n", "\n\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString file = QString::fromUtf8(c.file);
        hooks.saveAnswers.push_back(folder.path(file));
        store.exportText(c.kind, false);
        EXPECT_TRUE(hooks.alerts.isEmpty());
        EXPECT_EQ(hooks.savePanels.last().proposedName,
                  QStringLiteral("clip.") + file.section(u'.', -1));
        const QByteArray written = folder.read(file);
        for (const char* mark : c.marks)
            EXPECT_TRUE(written.contains(mark)) << mark << "\n" << written.toStdString();

        store.setCaptions({});
        hooks.openAnswers.push_back(folder.path(file));
        store.importSubtitles();
        ASSERT_EQ(store.captions().size(), 2);
        for (qsizetype i = 0; i < 2; ++i) {
            EXPECT_EQ(store.captions()[i].start, captions[i].start);
            EXPECT_EQ(store.captions()[i].end, captions[i].end);
            EXPECT_EQ(store.captions()[i].text, captions[i].text);
        }
    }
}

TEST_F(ImportExport, ExportProposesTheMediaNameOrCaptions) {
    store.setCaptions(someCaptions());
    store.exportText(LWStore::TextKind::srt, false); // cancelled: no answer scripted
    ASSERT_EQ(hooks.savePanels.size(), 1);
    EXPECT_EQ(hooks.savePanels[0].proposedName, QStringLiteral("Captions.srt"));
    EXPECT_TRUE(hooks.revealed.isEmpty());
    EXPECT_TRUE(store.note().isEmpty());

    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(QStringLiteral("/videos/interview.final.mp4"));
    store.setMedia(media);
    store.exportText(LWStore::TextKind::vtt, false);
    EXPECT_EQ(hooks.savePanels[1].proposedName, QStringLiteral("interview.final.vtt"));
    // A cancelled panel remembers no folder.
    EXPECT_FALSE(services.preferences->contains(BCPref::lastSaveFolder));
}

TEST_F(ImportExport, ExportWithoutCaptionsAlertsBeforeAnyPanel) {
    store.exportText(LWStore::TextKind::srt, false);
    EXPECT_TRUE(hooks.savePanels.isEmpty());
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Nothing to export"));
    EXPECT_EQ(hooks.alerts[0].message,
              QStringLiteral("Transcribe the file or add captions first."));
}

TEST_F(ImportExport, SaveFolderIsRememberedAndOfferedNextTime) {
    store.setCaptions(someCaptions());
    QDir(folder.root()).mkdir(QStringLiteral("exports"));
    const QString exports = folder.path(QStringLiteral("exports"));
    hooks.saveAnswers.push_back(exports + QStringLiteral("/one.srt"));
    store.exportText(LWStore::TextKind::srt, false);
    EXPECT_TRUE(hooks.savePanels[0].startFolder.isEmpty());
    EXPECT_EQ(services.preferences->value(BCPref::lastSaveFolder).toString(), exports);

    store.exportText(LWStore::TextKind::srt, false);
    EXPECT_EQ(hooks.savePanels[1].startFolder, exports);

    // A folder that has since disappeared is not offered.
    QDir(exports).removeRecursively();
    store.exportText(LWStore::TextKind::srt, false);
    EXPECT_TRUE(hooks.savePanels[2].startFolder.isEmpty());
}

TEST_F(ImportExport, WriteFailureAlertsAndKeepsTheOldFile) {
    store.setCaptions(someCaptions());
    // Into a folder that does not exist.
    hooks.saveAnswers.push_back(folder.path(QStringLiteral("missing/out.srt")));
    store.exportText(LWStore::TextKind::srt, false);
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Couldn't save"));
    EXPECT_TRUE(hooks.alerts[0].message.contains(QStringLiteral("“out.srt”")));
    EXPECT_TRUE(hooks.revealed.isEmpty());
    // The folder preference was already updated when the panel closed.
    EXPECT_EQ(services.preferences->value(BCPref::lastSaveFolder).toString(),
              folder.path(QStringLiteral("missing")));

    // Over a path that is a folder: the folder survives untouched.
    const QString target = folder.path(QStringLiteral("taken.srt"));
    QDir(folder.root()).mkdir(QStringLiteral("taken.srt"));
    hooks.saveAnswers.push_back(target);
    store.exportText(LWStore::TextKind::srt, false);
    EXPECT_EQ(hooks.alerts.size(), 2);
    EXPECT_TRUE(QFileInfo(target).isDir());
}

TEST_F(ImportExport, ExportReplacesAnExistingFileWhole) {
    store.setCaptions(someCaptions());
    folder.write(QStringLiteral("old.txt"), QByteArray(5000, 'x'));
    hooks.saveAnswers.push_back(folder.path(QStringLiteral("old.txt")));
    store.exportText(LWStore::TextKind::txt, false);
    EXPECT_EQ(folder.read(QStringLiteral("old.txt")), QByteArray("A B\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::Files), QStringList{"old.txt"});
}

} // namespace
