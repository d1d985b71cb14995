// The burned-in export, read back with the FFmpeg programs on tiny generated videos.
#include "BurnIn.h"
#include "BCError.h"
#include "BurnInSupport.h"
#include "ErrorMessage.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

using namespace BurnInSupport;

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

CaptionStyle preset(const QString& name) {
    for (const CaptionStyle& style : CaptionStyle::presets())
        if (style.name == name)
            return style;
    ADD_FAILURE() << "no preset " << name.toStdString();
    return {};
}

// Runs an export to the end; the error's sentence, or nothing when it succeeded.
std::optional<QString> burn(const BCOpenedMedia& media, const Captions& captions,
                            const QString& out, const CaptionStyle& style = {},
                            std::vector<double>* progress = nullptr) {
    try {
        BurnIn::exportVideo(media, captions, style, out, [progress](double f) {
            if (progress)
                progress->push_back(f);
        });
    } catch (const BCError& error) {
        return error.message();
    }
    return std::nullopt;
}

// A picture with detail everywhere, and a tone.
QString testClip(MediaFixtures& fixtures, const QString& name, const QString& size,
                 const QString& rate, double seconds) {
    const QString path = fixtures.file(name);
    make({"-f",
          "lavfi",
          "-i",
          QStringLiteral("testsrc2=size=%1:rate=%2:duration=%3").arg(size, rate).arg(seconds),
          "-f",
          "lavfi",
          "-i",
          QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
          "-c:v",
          "libx264",
          "-preset",
          "veryfast",
          "-crf",
          "16",
          "-pix_fmt",
          "yuv420p",
          "-c:a",
          "aac",
          "-shortest",
          path});
    return path;
}

class BurnInExport : public ::testing::Test {
protected:
    MediaFixtures fixtures;
    TestFolder out;
};

} // namespace

TEST(BurnInGeometry, RenderSizeAndFrameRateFollowTheTables) {
    EXPECT_EQ(BurnIn::renderSize(QSizeF(1919.5, 1080)), QSize(1920, 1080));
    EXPECT_EQ(BurnIn::renderSize(QSizeF(853, 480)), QSize(854, 480));
    EXPECT_EQ(BurnIn::renderSize(QSizeF(1920, 1081)), QSize(1920, 1082));
    EXPECT_EQ(BurnIn::renderSize(QSizeF(1080, 1920)), QSize(1080, 1920));
    const std::pair<double, int> rates[] = {{0, 30},   {1, 30},     {23.976, 24}, {7, 10},
                                            {120, 60}, {29.97, 30}, {59.94, 60},  {10.5, 11}};
    for (const auto& [nominal, expected] : rates)
        EXPECT_EQ(BurnIn::frameRate(nominal), expected) << nominal;
}

TEST(BurnInGeometry, CaptionImagesAreTidiedAndShownAtLeastFourHundredthsOfASecond) {
    const Captions captions = {Caption::make(2.0, 2.01, QStringLiteral("brief")),
                               Caption::make(0.5, 1.0, QStringLiteral("first")),
                               Caption::make(1.0, 1.5, QStringLiteral("  "))};
    const auto images = BurnIn::captionImages(captions, CaptionStyle{}, QSize(640, 360));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].start, 0.5);
    EXPECT_NEAR(images[1].end - images[1].start, 0.04, 1e-9);
    const auto brief = BurnIn::captionImages({Caption::make(3.0, 2.0, QStringLiteral("x"))},
                                             CaptionStyle{}, QSize(640, 360));
    ASSERT_EQ(brief.size(), 1u);
    EXPECT_GE(brief[0].end - brief[0].start, 0.04);
    // Centred across, bottom margin 7 % of the height.
    const BurnIn::CaptionImage& first = images[0];
    EXPECT_NEAR(first.at.x() + first.image.width() / 2.0, 320, 1.0);
    EXPECT_NEAR(first.at.y() + first.image.height(), 360 - 0.07 * 360, 1.5);
}

TEST(BurnInSchedule, HoldsOnlyTheCaptionsOnScreenAndDrawsEachWhenItFirstShows) {
    // 600 captions, one every half second, each shown for 0.4 s.
    Captions captions;
    for (int i = 0; i < 600; ++i)
        captions.append(Caption::make(0.5 * i, 0.5 * i + 0.4,
                                      QStringLiteral("Caption %1\nsecond line").arg(i)));
    int drawn = 0;
    BurnIn::CaptionSchedule<BurnIn::CaptionImage> schedule(
        captions, CaptionStyle{}, QSize(320, 180), [&drawn](BurnIn::CaptionImage image) {
            ++drawn;
            return image;
        });
    EXPECT_EQ(drawn, 0) << "drawn before any frame needed them";
    size_t most = 0;
    const int rate = 25;
    for (int frame = 0; frame < 300 * rate; ++frame) {
        const double t = double(frame) / rate;
        const auto& showing = schedule.at(t);
        most = std::max(most, schedule.held());
        size_t expected = 0;
        for (const Caption& c : captions)
            expected += c.start <= t + 1e-9 && t + 1e-9 < c.end ? 1 : 0;
        ASSERT_EQ(showing.size(), expected) << t;
    }
    EXPECT_EQ(drawn, 600);
    EXPECT_EQ(most, 1u);
    EXPECT_EQ(schedule.at(400).size(), 0u);
    EXPECT_EQ(schedule.held(), 0u);
}

TEST(BurnInGeometry, BoxesTouchTheEdgeAtZeroMarginAndLongTextWraps) {
    const QSize size(640, 360);
    const Captions one = {Caption::make(0, 1, QStringLiteral("Edge"))};
    CaptionStyle style;
    style.marginPercent = 0;
    style.position = CaptionStyle::Position::top;
    EXPECT_EQ(BurnIn::captionImages(one, style, size)[0].at.y(), 0);
    style.position = CaptionStyle::Position::bottom;
    const BurnIn::CaptionImage bottom = BurnIn::captionImages(one, style, size)[0];
    EXPECT_EQ(bottom.at.y() + bottom.image.height(), size.height());
    style.position = CaptionStyle::Position::middle;
    const BurnIn::CaptionImage middle = BurnIn::captionImages(one, style, size)[0];
    EXPECT_NEAR(middle.at.y() + middle.image.height() / 2.0, size.height() / 2.0, 1.0);

    const QString words = QStringLiteral("a long caption that cannot possibly fit on one line of "
                                         "this small picture however it is set");
    const BurnIn::CaptionImage wrapped =
        BurnIn::captionImages({Caption::make(0, 1, words)}, CaptionStyle{}, size)[0];
    EXPECT_LE(wrapped.image.width(), std::ceil(0.86 * 640 + 0.036 * 360));
    EXPECT_GT(wrapped.image.height(),
              2 * BurnIn::captionImages(one, CaptionStyle{}, size)[0].image.height() - 10)
        << "the text did not wrap onto more lines";
}

TEST_F(BurnInExport, FileHasTheRenderSizeRateDurationAndTheSoundCopied) {
    const QString source = testClip(fixtures, QStringLiteral("clip.mp4"), QStringLiteral("320x180"),
                                    QStringLiteral("30"), 2);
    const BCOpenedMedia media = open(source);
    const QString result = out.path(QStringLiteral("burned.mp4"));
    std::vector<double> progress;
    ASSERT_EQ(
        burn(media, {Caption::make(0.5, 1.5, QStringLiteral("Hello"))}, result, {}, &progress),
        std::nullopt);

    const Probe p = probe(result);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.videoCodec, QStringLiteral("h264"));
    EXPECT_EQ(p.profile, QStringLiteral("High"));
    EXPECT_EQ(p.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(QSize(p.width, p.height), QSize(320, 180));
    EXPECT_EQ(p.frameRate, QStringLiteral("30/1"));
    EXPECT_EQ(p.frames, 60);
    EXPECT_NEAR(p.duration, 2.0, 0.05);
    EXPECT_TRUE(p.indexFirst);
    EXPECT_EQ(p.audioCodec, QStringLiteral("aac"));
    EXPECT_EQ(soundPackets(result), soundPackets(source)) << "the sound was not copied unchanged";
    EXPECT_TRUE(QFileInfo(result).permissions().testFlag(QFileDevice::ReadOther) ||
                QFileInfo(result).permissions().testFlag(QFileDevice::ReadGroup) ||
                QFileInfo(result).permissions().testFlag(QFileDevice::ReadOwner));
    EXPECT_EQ(entries(out.root()), QStringList{QStringLiteral("burned.mp4")});

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    for (size_t i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_GE(progress[i], 0.0);
        EXPECT_LT(progress[i], 1.0);
    }
}

TEST_F(BurnInExport, OutputFrameRatesFollowTheTable) {
    struct Case {
        const char* rate;
        int expected;
    };
    for (const Case& c : {Case{"24000/1001", 24}, Case{"7", 10}, Case{"120", 60}}) {
        SCOPED_TRACE(c.rate);
        const QString source = fixtures.file(QStringLiteral("rate%1.mp4").arg(c.expected));
        make({"-f", "lavfi", "-i",
              QStringLiteral("testsrc=size=64x48:rate=%1:duration=2").arg(c.rate), "-c:v",
              "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", source});
        const QString result = out.path(QStringLiteral("rate%1.mp4").arg(c.expected));
        ASSERT_EQ(burn(open(source), {Caption::make(0, 1, QStringLiteral("x"))}, result),
                  std::nullopt);
        const Probe p = probe(result);
        EXPECT_EQ(p.frameRate, QStringLiteral("%1/1").arg(c.expected));
        EXPECT_NEAR(p.frames, 2 * c.expected, 1);
        EXPECT_TRUE(p.audioCodec.isEmpty()) << "a file without sound stays silent";
    }
    // A rate the file does not tell.
    BCOpenedMedia unknown = open(fixtures.path(MediaFixtures::mp4));
    unknown.nominalFrameRate = 0;
    const QString result = out.path(QStringLiteral("unknown.mp4"));
    ASSERT_EQ(burn(unknown, {Caption::make(0, 1, QStringLiteral("x"))}, result), std::nullopt);
    EXPECT_EQ(probe(result).frameRate, QStringLiteral("30/1"));
    EXPECT_NEAR(probe(result).frames, 30, 1);
}

TEST_F(BurnInExport, CaptionsChangeOnlyTheirBoxAndOnlyDuringTheirSpan) {
    const QString source = testClip(fixtures, QStringLiteral("clip.mp4"), QStringLiteral("320x180"),
                                    QStringLiteral("30"), 3);
    const Captions captions = {Caption::make(1.0, 2.0, QStringLiteral("Hello there\nsecond line"))};
    const CaptionStyle style = preset(QStringLiteral("Broadcast"));
    const QString result = out.path(QStringLiteral("burned.mp4"));
    ASSERT_EQ(burn(open(source), captions, result, style), std::nullopt);

    const auto images = BurnIn::captionImages(captions, style, QSize(320, 180));
    ASSERT_EQ(images.size(), 1u);
    const QRect box(images[0].at, images[0].image.size());
    const Frames before = lumaFrames(source, 320, 180);
    const Frames after = lumaFrames(result, 320, 180);
    ASSERT_EQ(before.luma.size(), 90u);
    ASSERT_EQ(after.luma.size(), 90u);
    const QRect margin = box.adjusted(-2, -2, 2, 2); // chroma and rounding spill
    auto outside = [&](int x, int y) { return !margin.contains(x, y); };
    auto inside = [&](int x, int y) { return box.contains(x, y); };
    for (int i = 0; i < 90; ++i) {
        SCOPED_TRACE(i);
        const bool shown = i >= 30 && i < 60;
        EXPECT_GE(psnr(before.luma[i], after.luma[i], 320, outside), 40.0);
        const double boxPsnr = psnr(before.luma[i], after.luma[i], 320, inside);
        if (shown)
            EXPECT_LT(boxPsnr, 25.0) << "the caption is missing";
        else
            EXPECT_GE(boxPsnr, 40.0) << "a caption shows outside its span";
    }
}

TEST_F(BurnInExport, WithoutABoxOnlyTheLettersAreDrawn) {
    const QString source = testClip(fixtures, QStringLiteral("clip.mp4"), QStringLiteral("320x180"),
                                    QStringLiteral("30"), 1);
    const Captions captions = {Caption::make(0, 1, QStringLiteral("WIDE CAPTION TEXT"))};
    struct Case {
        const char* style;
        bool boxDrawn;
    };
    const Frames before = lumaFrames(source, 320, 180);
    for (const Case& c : {Case{"Broadcast", true}, Case{"Clean Outline", false}}) {
        SCOPED_TRACE(c.style);
        CaptionStyle style = preset(QString::fromUtf8(c.style));
        style.boxOpacity = c.boxDrawn ? 0.72 : 0.0;
        const QString result = out.path(QStringLiteral("%1.mp4").arg(c.style));
        ASSERT_EQ(burn(open(source), captions, result, style), std::nullopt);
        const auto images = BurnIn::captionImages(captions, style, QSize(320, 180));
        ASSERT_EQ(images.size(), 1u);
        // The box's padding strip along its top edge holds no letters.
        const QRect box(images[0].at, images[0].image.size());
        const QRect strip(box.left() + 6, box.top() + 1, box.width() - 12, 1);
        const Frames after = lumaFrames(result, 320, 180);
        ASSERT_EQ(after.luma.size(), before.luma.size());
        const double stripPsnr = psnr(before.luma[10], after.luma[10], 320,
                                      [&](int x, int y) { return strip.contains(x, y); });
        const double boxPsnr = psnr(before.luma[10], after.luma[10], 320,
                                    [&](int x, int y) { return box.contains(x, y); });
        EXPECT_LT(boxPsnr, 25.0) << "the letters are missing";
        if (c.boxDrawn)
            EXPECT_LT(stripPsnr, 20.0);
        else
            EXPECT_GE(stripPsnr, 35.0);
    }
}

TEST_F(BurnInExport, APhoneVideoComesOutUprightAtTheTurnedSize) {
    // Upright 90 x 160 content stored lying down (turned clockwise) with a display matrix that
    // turns it back, as phones record.
    const QString upright = fixtures.file(QStringLiteral("upright.mp4"));
    const QString lying = fixtures.file(QStringLiteral("lying.mp4"));
    const QString phone = fixtures.file(QStringLiteral("phone.mp4"));
    make({"-f", "lavfi", "-i", "testsrc2=size=90x160:rate=30:duration=1", "-c:v", "libx264", "-crf",
          "12", "-pix_fmt", "yuv420p", upright});
    make({"-i", upright, "-vf", "transpose=clock", "-c:v", "libx264", "-crf", "12", "-pix_fmt",
          "yuv420p", lying});
    make({"-i", lying, "-c", "copy", "-metadata:s:v:0", "rotate=90", phone});
    ASSERT_NE(probe(phone).rotation, 0) << "the fixture has no display matrix";
    const Frames shown = lumaFrames(phone, 90, 160); // ffmpeg turns it upright itself
    const Frames expected = lumaFrames(upright, 90, 160);
    ASSERT_FALSE(shown.luma.empty());
    ASSERT_GE(psnr(expected.luma[0], shown.luma[0], 90), 30.0) << "the fixture is not upright";
    const BCOpenedMedia media = open(phone);
    ASSERT_EQ(media.naturalSize, QSize(90, 160));

    const QString result = out.path(QStringLiteral("upright.mp4"));
    ASSERT_EQ(burn(media, {Caption::make(5, 6, QStringLiteral("later"))}, result), std::nullopt);
    const Probe p = probe(result);
    EXPECT_EQ(QSize(p.width, p.height), QSize(90, 160));
    EXPECT_EQ(p.rotation, 0);
    const Frames got = lumaFrames(result, 90, 160);
    ASSERT_EQ(got.luma.size(), expected.luma.size());
    for (size_t i = 0; i < got.luma.size(); i += 7)
        EXPECT_GE(psnr(expected.luma[i], got.luma[i], 90), 30.0) << "frame " << i;
}

TEST_F(BurnInExport, OddSizesBecomeEven) {
    // 4:4:4 pictures may have odd sides; the result is 4:2:0 with even ones.
    const QString source = fixtures.file(QStringLiteral("odd.mp4"));
    make({"-f", "lavfi", "-i", "testsrc=size=853x479:rate=25:duration=1", "-f", "lavfi", "-i",
          "sine=frequency=440:duration=1", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
          "yuv444p", "-c:a", "mp3", "-shortest", source});
    const BCOpenedMedia media = open(source);
    ASSERT_EQ(media.naturalSize, QSize(853, 479));
    const QString result = out.path(QStringLiteral("odd.mp4"));
    ASSERT_EQ(burn(media, {Caption::make(0, 0.5, QStringLiteral("odd"))}, result), std::nullopt);
    const Probe p = probe(result);
    EXPECT_EQ(QSize(p.width, p.height), QSize(854, 480));
    EXPECT_EQ(p.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(p.audioCodec, QStringLiteral("mp3")) << "MP4 holds MP3 as it is";
}

TEST_F(BurnInExport, SoundMp4CannotHoldIsEncodedToAac) {
    const QString source = fixtures.file(QStringLiteral("pcm.mov"));
    make({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f", "lavfi", "-i",
          "sine=frequency=440:duration=1", "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast",
          "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", source});
    const QString result = out.path(QStringLiteral("pcm.mp4"));
    ASSERT_EQ(burn(open(source), {Caption::make(0, 1, QStringLiteral("x"))}, result), std::nullopt);
    const Probe p = probe(result);
    EXPECT_EQ(p.audioCodec, QStringLiteral("aac"));
    EXPECT_EQ(p.audioChannels, 2);
    EXPECT_NEAR(double(p.audioBitRate), 192000.0, 40000.0);
    EXPECT_NEAR(p.duration, 1.0, 0.1);
}

namespace {

// A flash-and-beep clip: a white picture and a 1 kHz tone for 0.1 s every 5 s, black and silent
// otherwise. `videoFilter` reshapes the picture's timing.
QString flashAndBeep(MediaFixtures& fixtures, const QString& name, const QString& rate, int seconds,
                     const QStringList& videoOptions) {
    const QString path = fixtures.file(name);
    QStringList arguments = {
        "-f",
        "lavfi",
        "-i",
        QStringLiteral("color=c=black:size=160x90:rate=%1:duration=%2,"
                       "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:"
                       "enable='lt(mod(t,5),0.1)'")
            .arg(rate)
            .arg(seconds),
        "-f",
        "lavfi",
        "-i",
        QStringLiteral("aevalsrc='if(lt(mod(t,5),0.1),0.8*sin(2*PI*1000*t),0)':s=48000:d=%1")
            .arg(seconds)};
    arguments += videoOptions;
    arguments += {"-c:a", "aac", "-b:a", "96k", "-shortest", path};
    make(arguments);
    return path;
}

// Times (s) where the picture turns bright after being dark.
std::vector<double> flashTimes(const Frames& frames, int rate) {
    std::vector<double> times;
    bool lit = false;
    for (size_t i = 0; i < frames.luma.size(); ++i) {
        long long sum = 0;
        for (char c : frames.luma[i])
            sum += uchar(c);
        const bool bright = sum > 128LL * frames.luma[i].size();
        if (bright && !lit)
            times.push_back(double(i) / rate);
        lit = bright;
    }
    return times;
}

// Times (s) where the sound starts after at least 1 s of silence.
std::vector<double> beepTimes(const std::vector<qint16>& sound, int rate) {
    std::vector<double> times;
    long long quiet = rate;
    for (size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(int(sound[i])) > 3000) {
            if (quiet >= rate)
                times.push_back(double(i) / rate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return times;
}

void expectInSync(const QString& result, int rate, double duration) {
    const Probe p = probe(result);
    EXPECT_EQ(p.frameRate, QStringLiteral("%1/1").arg(rate));
    EXPECT_NEAR(p.frames, std::round(duration * rate), 1);
    const std::vector<double> flashes = flashTimes(lumaFrames(result, p.width, p.height), rate);
    const std::vector<double> beeps = beepTimes(samples(result, 8000), 8000);
    ASSERT_EQ(flashes.size(), size_t(std::floor((duration - 0.1) / 5)) + 1);
    ASSERT_EQ(beeps.size(), flashes.size());
    for (size_t i = 0; i < flashes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(flashes[i], 5.0 * double(i), 1.0 / rate + 1e-6);
        EXPECT_NEAR(beeps[i], flashes[i], 1.0 / rate + 0.005);
    }
}

} // namespace

TEST_F(BurnInExport, NtscRateStaysInSyncAtThirtyFramesASecond) {
    const QString source =
        flashAndBeep(fixtures, QStringLiteral("ntsc.mp4"), QStringLiteral("30000/1001"), 60,
                     {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    const BCOpenedMedia media = open(source);
    const QString result = out.path(QStringLiteral("ntsc.mp4"));
    ASSERT_EQ(burn(media, {Caption::make(1, 2, QStringLiteral("x"))}, result), std::nullopt);
    expectInSync(result, 30, media.duration);
}

TEST_F(BurnInExport, VariableRateWithBFramesEditListAndMatrixStaysInSync) {
    // Every seventh frame dropped (never a flash's first), B-frames, then a display matrix added
    // by a copy that also trims the start, which writes an edit list.
    const QString encoded =
        flashAndBeep(fixtures, QStringLiteral("vfr-encoded.mp4"), QStringLiteral("30"), 61,
                     {"-vf", "select='not(eq(mod(n\\,7)\\,4)*gte(mod(n\\,150)\\,3))'", "-vsync",
                      "vfr", "-c:v", "libx264", "-preset", "ultrafast", "-bf", "3", "-x264-params",
                      "b-adapt=0", "-pix_fmt", "yuv420p"});
    const QString source = fixtures.file(QStringLiteral("vfr.mp4"));
    make({"-ss", "1", "-i", encoded, "-c", "copy", "-metadata:s:v:0", "rotate=90", source});
    const BCOpenedMedia media = open(source);
    ASSERT_EQ(media.naturalSize, QSize(90, 160));
    const QString result = out.path(QStringLiteral("vfr.mp4"));
    ASSERT_EQ(burn(media, {Caption::make(1, 2, QStringLiteral("x"))}, result), std::nullopt);
    const int rate = BurnIn::frameRate(media.nominalFrameRate);
    // The flashes now come at 4, 9, 14, … s; shift the expectation by measuring the first.
    const Probe p = probe(result);
    EXPECT_EQ(QSize(p.width, p.height), QSize(90, 160));
    EXPECT_NEAR(p.frames, std::round(media.duration * rate), 1);
    const std::vector<double> flashes = flashTimes(lumaFrames(result, 90, 160), rate);
    const std::vector<double> beeps = beepTimes(samples(result, 8000), 8000);
    ASSERT_EQ(flashes.size(), 12u);
    ASSERT_EQ(beeps.size(), flashes.size());
    for (size_t i = 0; i < flashes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(flashes[i], 4.0 + 5.0 * double(i), 1.0 / rate + 0.02);
        EXPECT_NEAR(beeps[i], flashes[i], 1.0 / rate + 0.005);
    }
}

TEST_F(BurnInExport, StoppingHalfwayLeavesTheOldFileAndNothingElse) {
    const QString source = testClip(fixtures, QStringLiteral("long.mp4"), QStringLiteral("320x180"),
                                    QStringLiteral("30"), 20);
    const BCOpenedMedia media = open(source);
    {
        TestFolder folder;
        const QString result = folder.write(QStringLiteral("out.mp4"), "the old movie");
        std::stop_source stop;
        std::atomic<bool> asked{false};
        std::optional<QString> error;
        bool cancelled = false;
        std::thread worker([&] {
            try {
                BurnIn::exportVideo(
                    media, {Caption::make(0, 1, QStringLiteral("x"))}, CaptionStyle{}, result,
                    [&](double f) {
                        if (f >= 0.3 && !asked.exchange(true))
                            stop.request_stop();
                    },
                    stop.get_token());
            } catch (const BCCancelled&) {
                cancelled = true;
            } catch (const BCError& e) {
                error = e.message();
            }
        });
        worker.join();
        EXPECT_TRUE(asked.load());
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(error, std::nullopt);
        EXPECT_EQ(folder.read(QStringLiteral("out.mp4")), "the old movie");
        EXPECT_EQ(entries(folder.root()), QStringList{QStringLiteral("out.mp4")});
    }
}

TEST_F(BurnInExport, RefusalsNameTheProblemAndTouchNothing) {
    const Captions captions = {Caption::make(0, 1, QStringLiteral("x"))};
    // Sound alone.
    const QString result = out.path(QStringLiteral("out.mp4"));
    EXPECT_EQ(burn(open(fixtures.path(MediaFixtures::audioOnly)), captions, result),
              QStringLiteral("Burned-in captions need a video file. For audio files export SRT, "
                             "VTT or TXT."));
    EXPECT_FALSE(QFileInfo::exists(result));

    // A record that promises a picture the file does not have.
    BCOpenedMedia pretender = open(fixtures.path(MediaFixtures::audioOnly));
    pretender.hasVideo = true;
    pretender.naturalSize = QSize(64, 48);
    EXPECT_EQ(burn(pretender, captions, result), QStringLiteral("The video track can't be read."));
    EXPECT_FALSE(QFileInfo::exists(result));

    // Over its own source, under any spelling of the path.
    const QString source = fixtures.path(MediaFixtures::mp4);
    const QByteArray original = [&] {
        QFile f(source);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const BCOpenedMedia media = open(source);
    const QString sameFile =
        QFileInfo(source).absolutePath() + QStringLiteral("/./") + QFileInfo(source).fileName();
    EXPECT_EQ(burn(media, captions, sameFile), BurnIn::replacesSourceSentence());
    QFile again(source);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), original);

    // A folder that is not there.
    const auto missing = burn(media, captions, out.path(QStringLiteral("nowhere/out.mp4")));
    ASSERT_TRUE(missing.has_value());
    EXPECT_TRUE(missing->startsWith(QStringLiteral("The file “out.mp4” couldn't be saved")))
        << missing->toStdString();
}
