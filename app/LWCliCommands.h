#pragma once

#include "CaptionStyle.h"
#include "LWTranscription.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stop_token>

// The subcommands of lorowen-cli and what they share.
class BCPreferences;
class LWCliProgress;
class WhisperModels;

namespace LWCli {

struct Command {
    QString name;
    QString synopsis; // the arguments, for usage lines
    QString help;     // a few lines for --help
    std::function<int(const Command& self, const QStringList& args)> run;
};

// "lorowen-cli: <sentence>" on standard error.
void printError(const QString& sentence);
// Prints the problem and the command's usage line; returns the usage exit status.
int usageError(const Command& command, const QString& problem);

// Splits arguments into positional ones and "--name value" options; `flags` take no value.
// Returns false (after a usage error) on an unknown option or a missing value.
struct ParsedArgs {
    QStringList positional;
    QHash<QString, QString> options;
    QStringList flags;
};
bool parseArgs(const Command& command, const QStringList& args, const QStringList& valued,
               const QStringList& flagNames, ParsedArgs& out, int& status);

// The caption style the window uses now, or "Broadcast".
CaptionStyle windowStyle();
// A preset by name (any case), or a style JSON file; nothing with `problem` set otherwise.
std::optional<CaptionStyle> chosenStyle(const QString& given, QString& problem);

// Ends a command that could not read its input: the sentence, and the failure status.
int cannotRead(const QString& path, LWCliProgress& progress);
// The captions of a file in any format import reads; nothing, after its sentence and with
// `status` set to the failure status, when the file can't be read or holds no captions.
std::optional<Captions> readCaptions(const QString& path, LWCliProgress& progress, int& status);
// Writes `text` as UTF-8 through a temporary file renamed into place, unless Ctrl+C came first.
// Returns the exit status.
int writeOutput(const QString& path, const QString& text, LWCliProgress& progress);

// Runs `work` as a job (on a thread of its own, while this thread runs its event loop) with a
// stop token that fires when Ctrl+C is pressed. Returns its status; a stop ends with the
// interrupted status and nothing written, a BCError with its sentence. `progress` may be updated
// from the job's thread.
int runStoppable(LWCliProgress& progress, const std::function<int(std::stop_token)>& work);

// The transcription options `transcribe` and `batch` share: the engine, model, language, song
// mode (and --lyrics when the command takes it), --download and --timestamps.
QStringList transcribeValued();
QStringList transcribeFlags();
struct TranscribeSetup {
    LWTranscription::Request request; // everything but the file
    QString engineName;               // as given: whisper, speech or scribe
    bool download = false;
    bool timestamps = false;
};
// Reads those options over the window's preferences; false after a usage error (`status` set).
bool transcribeSetup(const Command& self, const QHash<QString, QString>& options,
                     const QStringList& flags, const BCPreferences& preferences,
                     const WhisperModels& models, TranscribeSetup& setup, int& status);
// Downloads missing models when `download` is set, else fails with the sentence saying how.
LWTranscription::DownloadQuestion downloadQuestion(bool download, const QString& modelID);

Command convertCommand();
Command captionsCommand();
Command vocalsCommand();
Command probeCommand();
Command wavCommand();
Command keyCommand();
Command modelsCommand();
Command transcribeCommand();
Command subtrackCommand();
Command voiceoverCommand();
Command burnCommand();
Command batchCommand();
Command checkCommand();

} // namespace LWCli
