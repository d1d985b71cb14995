#pragma once

#include "BCAsset.h"
#include "BCOpenedMedia.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>
#include <stop_token>

// Turns a file the user chose into a BCOpenedMedia: checks it, sniffs its container,
// inspects what can be played directly and converts the rest with the `ffmpeg` program into a
// cached MOV named after the file's path, size and modification time.
//
// Threads: every function may run on any thread; the blocking ones (open, inspect,
// convertWithBuiltIn, exportPassthrough, runConverter, probeDuration) belong on a job's worker
// thread. `status` is called on the calling thread: a caller that updates the interface hops to
// the main thread itself (LWJobContext::status does). A stop through `stop` ends FFmpeg calls
// through their interrupt callback and the converter (terminate, then kill after 2 s), removes
// any partial copy and throws BCCancelled. Failures throw BCError with the user's sentence.
namespace BCMediaOpener {

// A status text (ending in "…") and a fraction 0..1, or nothing for "unknown".
using Status = std::function<void(const QString& text, std::optional<double> fraction)>;

// Opens `path` (a local file) checked, sniffed, inspected and converted when needed.
BCOpenedMedia open(const QString& path, const Status& status = {}, std::stop_token stop = {});
BCOpenedMedia open(const QUrl& url, const Status& status = {}, std::stop_token stop = {});

// `path` itself as a job that only reads its sound sees it: checked as `open` checks it and
// inspected, but never converted (no playable copy, nothing in the cache). The duration comes
// from the converter's probe when the file does not give one. Throws BCError with the user's
// sentence, BCCancelled on stop.
BCOpenedMedia openOriginal(const QString& path, std::stop_token stop = {});

// The record for `path`, which is played as it is. Throws BCError "not readable" or "bad video
// size" (internal messages that send the file to conversion), BCCancelled on stop.
BCOpenedMedia inspect(const QString& path, const QString& original, bool converted,
                      const QString& note, std::stop_token stop = {});

// The file-identity name "<first 40 characters of the name without extension>-<hash>.mov",
// the hash being FNV-1a (start value 0x14650FB0739D0383) of cacheKey. Shared with the project
// autosave (plus ".json"): changing it orphans every stored project and cached copy.
QString cacheName(const QString& path);
// "<absolute path>|<size>|<mtime>", with mtime in seconds since 1970 written as the shortest
// decimal that reads back to the same double, whole values with ".0"; "0|0.0" without the file.
QString cacheKey(const QString& path);
quint64 cacheHash(QByteArrayView bytes);
// The shortest decimal text of `value` that reads back the same, with ".0" on whole values.
QString shortestDecimal(double value);

// "<caches>/Brindlecote/Lorowen Pro/Converted", created on every call (errors ignored).
QString cacheFolder();

// The converter program: "<folder of the executable>/helpers/ffmpeg", else $BRCT_FFMPEG, else
// `ffmpeg` on PATH, each only when it is an executable file.
std::optional<QString> converterURL();

// Converts `input` into the MOV file `output` with the converter, writing a temporary file
// beside `output` that is renamed to it only when complete. Tries a stream copy first when
// canStreamCopy(source) holds and `copyFirst`, then the re-encode, then the sound alone. Throws
// BCError "The built-in converter is missing from this copy of the app." or "Conversion failed:
// <reason>.".
void convertWithBuiltIn(const QString& input, const QString& output, const Status& status = {},
                        std::stop_token stop = {}, bool copyFirst = true);

// A file that opened but that the player could not load (the system lacks what decodes its
// picture or sound): its re-encoded copy in the cache, made now or re-used, which `open` then
// prefers for the same file. Throws as `open` does.
BCOpenedMedia convertForPlayback(const QString& path, const Status& status = {},
                                 std::stop_token stop = {});

// The argument lists of the three attempts.
QStringList copyArguments(const QString& input, const QString& output);
QStringList encodeArguments(const QString& input, const QString& output);
QStringList soundOnlyArguments(const QString& input, const QString& output);
// Whether the first attempt is a stream copy: video H.264, HEVC (progressive or of unknown field
// order) or MPEG-4 Part 2 (progressive), or none; sound AAC, MP3, AC-3 or none.
bool canStreamCopy(const BCAsset& source);

// Runs `program` with `arguments`, reporting "Converting…" with the fraction of `duration`
// (seconds; no reports when 0) read from the "time=" texts of its error output. Throws BCError
// "Conversion failed: <reason>." on a non-zero exit, the start error's text when it cannot start.
void runConverter(const QString& program, const QStringList& arguments, double duration,
                  const Status& status = {}, std::stop_token stop = {});
// The reason for a failed conversion from the converter's log (the table in BCConverter.cpp).
QString converterReason(const QString& log);

// The duration the converter prints for `input` ("Duration: "), 0 when unknown or without one.
double probeDuration(const QString& input, std::stop_token stop = {});
// "h:m:s" (exactly three pieces, empty ones dropped, each a decimal number) in seconds, else 0.
double parseClock(QStringView text);

// The passthrough export of a directly playable kind: the first video and sound streams copied
// into a MOV (written under a temporary name, renamed when complete). Throws BCError "The
// system can't export this file" when they cannot go into a MOV, FFmpeg's reason otherwise.
void exportPassthrough(const QString& input, const QString& output, std::stop_token stop = {});

// A fresh temporary name beside `output` with the same ".mov" extension.
QString partialPath(const QString& output);

} // namespace BCMediaOpener
