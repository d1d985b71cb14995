// lorowen-cli voiceover: the window's voiceover export without a window. The captions of an SRT
// or VTT file are read aloud by an ElevenLabs voice into one MP3 file, with the key saved in the
// keyring ("lorowen-cli key set"); the key is never taken from the command line or printed.
#include "BCError.h"
#include "BCFiles.h"
#include "BCPreferences.h"
#include "BCText.h"
#include "CaptionMath.h"
#include "ELClient.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "LWStore.h"

#include <QFileInfo>
#include <chrono>
#include <cstdio>

namespace LWCli {

namespace {

// Long enough for a person to answer the keyring's unlock prompt.
constexpr std::chrono::seconds keyringLimit(120);

// The voice asked for, by identifier first, then by name ignoring case; nothing when the
// account has no such voice.
std::optional<ELVoice> findVoice(const QList<ELVoice>& voices, const QString& wanted) {
    for (const ELVoice& voice : voices)
        if (voice.id == wanted)
            return voice;
    for (const ELVoice& voice : voices)
        if (voice.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return voice;
    return std::nullopt;
}

int voiceover(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {QStringLiteral("--voice"), QStringLiteral("--model")}, {}, parsed,
                   status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("voiceover takes a caption file and an MP3 file"));
    const QString input = parsed.positional[0];
    const QString output = parsed.positional[1];

    LWCliProgress progress;
    const auto text = LWFormats::readText(input);
    if (!text)
        return cannotRead(input, progress);
    const QString spoken = LWStore::voiceoverText(CaptionMath::parseAnyCaptions(*text));
    if (BCText::trimBlanksAndBreaks(spoken).isEmpty()) {
        printError(QStringLiteral("Nothing to read: “%1” holds no captions.")
                       .arg(QFileInfo(input).fileName()));
        return failed;
    }
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user(false);
    const QString wantedVoice = parsed.options.value(QStringLiteral("--voice"),
                                                     preferences->value(BCPref::voice).toString());
    if (wantedVoice.isEmpty())
        return usageError(self, QStringLiteral("no voice is chosen: give one with --voice"));
    QString model = preferences->value(BCPref::speechModel).toString();
    if (model.isEmpty())
        model = QLatin1String(ELSettings::defaultModel);
    model = parsed.options.value(QStringLiteral("--model"), model);

    // Made here: the keyring answers on this thread's event loop while the job waits.
    const std::unique_ptr<ELKeyStore> keys = ELKeyStore::system();
    return runStoppable(progress, [&](std::stop_token stop) {
        progress.update(QStringLiteral("Reading the key from the keyring…"), -1);
        const ELKeyStore::Answer answer = keys->readNow(stop, keyringLimit);
        if (!answer.ok())
            throw BCError(ELKeyStore::sentence(ELKeyStore::Operation::read, answer.failure));
        if (!answer.key)
            throw ELError::noKey();
        const ELClient client(*answer.key);

        progress.update(QStringLiteral("Looking up the voice…"), -1);
        const std::optional<ELVoice> voice = findVoice(client.voices(stop), wantedVoice);
        if (!voice)
            throw BCError(
                QStringLiteral("Your ElevenLabs account has no voice “%1”.").arg(wantedVoice));
        int maxChars = 5000;
        for (const ELModel& offered : client.models(stop))
            if (offered.id == model)
                maxChars = offered.maxChars;

        progress.update(QStringLiteral("ElevenLabs is reading the captions (%1 characters)…")
                            .arg(BCText::length(spoken)),
                        -1);
        const QByteArray mp3 = client.speak(spoken, voice->id, model, maxChars, stop);
        if (stop.stop_requested())
            throw BCCancelled{};
        BCFiles::writeAtomically(output, mp3);
        progress.finish();
        std::printf("%s\n", QStringLiteral("Saved %1 (voice: %2).")
                                .arg(QFileInfo(output).fileName(), voice->name)
                                .toUtf8()
                                .constData());
        std::fflush(stdout);
        return int(ok);
    });
}

} // namespace

Command voiceoverCommand() {
    return {QStringLiteral("voiceover"),
            QStringLiteral("CAPTIONS.srt OUT.mp3 [--voice NAME|ID] [--model ID]"),
            QStringLiteral(
                "Reads the captions of an SRT or VTT file aloud, in order, with an ElevenLabs\n"
                "voice of your account into one MP3 file (uses your ElevenLabs credits). The key\n"
                "is the one saved by \"lorowen-cli key set\". Without --voice or --model, the\n"
                "voice and model chosen in Settings are used."),
            voiceover};
}

} // namespace LWCli
