#include "BCError.h"
#include "BCFileTarget.h"
#include "BurnIn.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

Captions twoCaptions() {
    return {Caption::make(0.5, 1.5, QStringLiteral("Hello")),
            Caption::make(2.0, 3.0, QStringLiteral("World"))};
}

} // namespace

TEST(FileTarget, AFailedExportLeavesTheOldFileAndNoTemporaryOne) {
    TestFolder folder;
    const QString destination = folder.write(QStringLiteral("out.mp4"), "old");
    {
        BCFileTarget target(destination);
        EXPECT_EQ(QFileInfo(target.path()).dir(), QFileInfo(destination).dir());
        EXPECT_TRUE(target.path().endsWith(QStringLiteral(".mp4")));
        QFile part(target.path());
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
        part.write("half");
    }
    EXPECT_EQ(folder.read(QStringLiteral("out.mp4")), "old");
    EXPECT_EQ(entries(folder.root()), QStringList{QStringLiteral("out.mp4")});
}

TEST(FileTarget, CommitReplacesTheDestinationWhole) {
    TestFolder folder;
    const QString destination = folder.write(QStringLiteral("out.mov"), "old");
    BCFileTarget target(destination);
    QFile part(target.path());
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write("new movie");
    part.close();
    target.commit();
    EXPECT_EQ(folder.read(QStringLiteral("out.mov")), "new movie");
    EXPECT_EQ(entries(folder.root()), QStringList{QStringLiteral("out.mov")});
}

TEST(FileTarget, AFolderThatTakesNoFilesIsAClearError) {
    try {
        BCFileTarget target(QStringLiteral("/nonexistent-folder/out.mp4"));
        FAIL() << "expected an error";
    } catch (const BCError& error) {
        EXPECT_TRUE(
            error.message().startsWith(QStringLiteral("The file “out.mp4” couldn't be saved")))
            << error.message().toStdString();
    }
}

TEST(Sidecars, WriteSrtThenVttBesideTheVideo) {
    TestFolder folder;
    const QString video = folder.path(QStringLiteral("Interview (captioned).mp4"));
    folder.write(QStringLiteral("Interview (captioned).srt"), "stale");
    const QStringList written = BurnIn::writeSidecars(twoCaptions(), video);
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(QFileInfo(written[0]).fileName(), QStringLiteral("Interview (captioned).srt"));
    EXPECT_EQ(QFileInfo(written[1]).fileName(), QStringLiteral("Interview (captioned).vtt"));
    EXPECT_TRUE(folder.read(QStringLiteral("Interview (captioned).srt"))
                    .startsWith("1\n00:00:00,500 --> 00:00:01,500\nHello"));
    EXPECT_TRUE(folder.read(QStringLiteral("Interview (captioned).vtt")).startsWith("WEBVTT"));
}
