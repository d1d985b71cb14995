#include "BCAudio.h"
#include "BCError.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "VocalIsolator.h"

#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace LWCli {

namespace {

// Turns Ctrl+C into a stop request for the running step, checking every 50 ms until destroyed.
class InterruptWatch {
public:
    InterruptWatch()
        : m_thread([this](std::stop_token done) {
              std::mutex mutex;
              std::condition_variable_any wake;
              std::unique_lock lock(mutex);
              while (!done.stop_requested()) {
                  if (interruptRequested()) {
                      m_source.request_stop();
                      return;
                  }
                  wake.wait_for(lock, done, std::chrono::milliseconds(50), [] { return false; });
              }
          }) {}

    std::stop_token token() const { return m_source.get_token(); }

private:
    std::stop_source m_source;
    std::jthread m_thread; // last, so it stops before the source goes
};

int vocals(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("vocals takes a media file and an output file"));
    const QString& in = parsed.positional[0];
    const QString& out = parsed.positional[1];
    if (!out.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive))
        return usageError(self, QStringLiteral("the output must end in .wav"));

    LWCliProgress progress;
    const QFileInfo input(in);
    if (!input.isFile() || !input.isReadable())
        return cannotRead(in, progress);

    const InterruptWatch watch;
    std::vector<float> samples;
    try {
        progress.update(QStringLiteral("Reading the sound track…"), 0);
        const VocalIsolator::Channels channels = VocalIsolator::stereoSamples(
            in, [&](double f) { progress.update(QStringLiteral("Reading the sound track…"), f); },
            watch.token());
        const QString pulling = QStringLiteral("Pulling the vocal out of the music…");
        progress.update(pulling, 0);
        const std::vector<float> centre = VocalIsolator::isolate(
            channels.left, channels.right, 120, 6000, 8,
            [&](double f) { progress.update(pulling, 0.5 * f); }, watch.token());
        samples = VocalIsolator::denoise(
            centre, 1.6f, 0.12f, [&](double f) { progress.update(pulling, 0.5 + 0.5 * f); },
            watch.token());
    } catch (const BCCancelled&) {
        progress.finish();
        return interrupted;
    } catch (const BCError& e) {
        progress.finish();
        printError(e.message());
        return failed;
    }
    if (interruptRequested())
        return interrupted;

    progress.update(QStringLiteral("Writing…"), -1);
    try {
        BCAudio::writeWAV(samples, VocalIsolator::rate, out);
    } catch (const BCError& e) {
        progress.finish();
        printError(e.message());
        return failed;
    }
    progress.finish();
    return ok;
}

} // namespace

Command vocalsCommand() {
    return {QStringLiteral("vocals"), QStringLiteral("MEDIA OUT.wav"),
            QStringLiteral(
                "Writes what Whisper hears in song mode: the centre of the stereo picture\n"
                "between 120 and 6000 Hz with steady background sound removed, as a 16 000 Hz\n"
                "mono 16-bit WAV file. Handy to check by ear what song mode does to a track."),
            vocals};
}

} // namespace LWCli
