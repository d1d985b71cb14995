// The help pages: the shared pages first, then the application's own, in catalogue order.
#include "LWHelpWindow.h"

namespace {

using B = HelpBlock;

QList<HelpPage> sharedPages() {
    return {
        {QStringLiteral("look"),
         QStringLiteral("Themes & Zoom"),
         QStringLiteral("paintpalette.fill"),
         {
             B::paragraph(QStringLiteral(
                 "The whole interface comes in six metal finishes. Pick one under View > Theme: "
                 "Gunmetal Blue, Anodized Red, Rose Gold, Lavender Violet, Black Chrome or "
                 "Graphite Gray. The choice is remembered for the next start.")),
             B::heading(QStringLiteral("Interface zoom")),
             B::paragraph(QStringLiteral(
                 "Every control, label and panel can be drawn larger or smaller, from 85 % up to "
                 "200 %. The zoom applies to the main window, the settings window and this help "
                 "window at once, and is remembered.")),
             B::control(QStringLiteral("View > Zoom In"),
                        QStringLiteral("Ctrl+= — one step larger")),
             B::control(QStringLiteral("View > Zoom Out"),
                        QStringLiteral("Ctrl+- — one step smaller")),
             B::control(QStringLiteral("View > Actual Size"),
                        QStringLiteral("Ctrl+0 — back to 100 %")),
             B::tip(QStringLiteral("The View menu shows the current interface zoom in percent.")),
         }},
        {QStringLiteral("about"),
         QStringLiteral("About BRCT"),
         QStringLiteral("info.circle.fill"),
         {
             B::paragraph(QStringLiteral(
                 "BRCT tools are made by Brindlecote: small, focused desktop applications that do "
                 "one job well and keep your files on your own computer.")),
             B::bullets({QStringLiteral("Web site: Help > Visit Brindlecote opens it in your "
                                        "browser."),
                         QStringLiteral("Questions and bug reports are welcome through the web "
                                        "site; please say which file type and which engine you "
                                        "used."),
                         QStringLiteral("No account, no tracking: nothing is sent anywhere unless "
                                        "you download a Whisper model or choose an ElevenLabs "
                                        "service.")}),
         }},
    };
}

QList<HelpPage> applicationPages() {
    return {
        {QStringLiteral("overview"),
         QStringLiteral("What Lorowen Pro Is"),
         QStringLiteral("captions.bubble.fill"),
         {
             B::paragraph(QStringLiteral(
                 "BRCT Lorowen Pro turns the speech in a video or audio file into timed captions "
                 "that you can correct and export.")),
             B::bullets({
                 QStringLiteral("Transcribes with Whisper on this computer (free and offline), "
                                "with PocketSphinx, or with ElevenLabs Scribe using your own key."),
                 QStringLiteral("Song mode pulls the vocal out of music before Whisper listens; "
                                "Paste Lyrics times your own lyric lines word by word."),
                 QStringLiteral("Edit every word and timing in the caption list or on the caption "
                                "lane while the file plays."),
                 QStringLiteral("Exports SRT, WebVTT, plain or time-stamped transcripts, MP4 with "
                                "burned-in captions, MP4/MOV with a subtitle track, and a spoken "
                                "voiceover MP3."),
                 QStringLiteral("Saves your captions automatically for each file; they come back "
                                "when you open the same file again."),
             }),
         }},
        {QStringLiteral("quickstart"),
         QStringLiteral("Quick Start"),
         QStringLiteral("bolt.fill"),
         {
             B::steps({
                 QStringLiteral("Open a video or audio file: File > Open Video or Audio… "
                                "(Ctrl+O), or drop it on the monitor."),
                 QStringLiteral("Choose the language spoken in the file in the Captions bay."),
                 QStringLiteral("Click Transcribe (Ctrl+Shift+T). The first time, the Whisper "
                                "model is downloaded once."),
                 QStringLiteral("Play the file and check names and spellings in the caption "
                                "list; fix timings by dragging caption edges on the lane."),
                 QStringLiteral("Pick a look in the Style bay, then export from the Export bay "
                                "or the File menu."),
             }),
             B::tip(QStringLiteral("Nothing needs saving by hand: your captions are kept for "
                                   "each file automatically.")),
         }},
        {QStringLiteral("open"),
         QStringLiteral("Opening Files & MPEG"),
         QStringLiteral("folder.fill"),
         {
             B::paragraph(QStringLiteral(
                 "Lorowen Pro opens MP4, MOV, M4V, MP3, WAV, M4A, AIFF and other common files "
                 "directly.")),
             B::heading(QStringLiteral("Files that need converting")),
             B::paragraph(QStringLiteral(
                 "MPEG program and transport streams (.mpg, .ts, .m2ts), elementary MPEG video, "
                 "Matroska (.mkv), Windows Media and Flash video are first converted by ffmpeg "
                 "into a playable copy. The monitor then shows CONVERTED COPY, and that copy is "
                 "what plays and what video exports start from.")),
             B::bullets({
                 QStringLiteral("The copy is kept in ~/.cache/Brindlecote/Lorowen Pro/Converted, "
                                "so the same file opens at once the next time."),
                 QStringLiteral("A file that has been changed since is converted again."),
                 QStringLiteral("You may delete that folder at any time to free space."),
             }),
             B::tip(QStringLiteral("Opening another file while a job runs is refused: wait for "
                                   "it or click Stop first.")),
         }},
        {QStringLiteral("transcribe"),
         QStringLiteral("Transcribing"),
         QStringLiteral("waveform.and.mic"),
         {
             B::paragraph(QStringLiteral(
                 "Transcribe makes a new set of captions for the whole file. When captions "
                 "exist, you are asked first; the old set is kept and Captions > Restore Previous "
                 "Captions brings it back.")),
             B::heading(QStringLiteral("Engines and models")),
             B::bullets({
                 QStringLiteral("Whisper is the default. Fast — Small (about 190 MB) is quick; "
                                "Best quality — Large v3 Turbo (about 574 MB) is more accurate."),
                 QStringLiteral("PocketSphinx runs offline too; it suits clear speech."),
                 QStringLiteral("ElevenLabs Scribe uploads the sound track and needs your own "
                                "key."),
             }),
             B::heading(QStringLiteral("Progress")),
             B::paragraph(QStringLiteral(
                 "The status line shows each step; after the first few percent Whisper and "
                 "PocketSphinx also estimate the minutes left (ElevenLabs Scribe reports no "
                 "progress while it listens). Captions > Stop Current Job (Ctrl+.) stops it and "
                 "leaves your captions as they were.")),
             B::heading(QStringLiteral("Language")),
             B::paragraph(QStringLiteral(
                 "Pick the spoken language in the Captions bay. The right language gives far "
                 "better results than automatic detection.")),
         }},
        {QStringLiteral("engines"),
         QStringLiteral("Engines & Whisper Models"),
         QStringLiteral("cpu"),
         {
             B::control(QStringLiteral("Whisper (free, offline)"),
                        QStringLiteral("Recommended. Runs entirely on this computer; the sound "
                                       "never leaves it.")),
             B::control(QStringLiteral("PocketSphinx (offline)"),
                        QStringLiteral("The built-in recognizer. Fine for clear speech; weak on "
                                       "songs and music.")),
             B::control(QStringLiteral("ElevenLabs Scribe"),
                        QStringLiteral("Cloud transcription with your own ElevenLabs key. Without "
                                       "a key, Whisper is used instead.")),
             B::heading(QStringLiteral("Downloading Whisper models")),
             B::steps({
                 QStringLiteral("Open Settings (Ctrl+,) and choose Whisper."),
                 QStringLiteral("Click Download beside a model; it becomes your choice at once."),
                 QStringLiteral("Wait for the bar to fill. Stop keeps what was fetched for the "
                                "next try."),
             }),
             B::paragraph(QStringLiteral(
                 "Models come from Hugging Face, are checked by exact size and a SHA-256 "
                 "checksum, and are kept in ~/.local/share/BRCT Lorowen Pro/Whisper Models. "
                 "Show Folder opens it; Remove deletes a model.")),
             B::heading(QStringLiteral("The graphics card")),
             B::paragraph(QStringLiteral(
                 "With a Vulkan graphics card (AMD, Intel or NVIDIA), Whisper runs on it, "
                 "several times faster. Settings shows the card found and turns it off with Use "
                 "the graphics card for Whisper. When a run on the card fails, the same "
                 "transcription runs again on the processor and the note says so; the note always "
                 "names where Whisper ran.")),
         }},
        {QStringLiteral("songs"),
         QStringLiteral("Songs & Lyrics"),
         QStringLiteral("music.note.list"),
         {
             B::heading(QStringLiteral("Song mode")),
             B::paragraph(QStringLiteral(
                 "Turn on Song mode in the header before transcribing music. The vocal is pulled "
                 "out of the centre of the mix, steady noise is removed, and a voice detector "
                 "skips the instrumental parts. Repeated lines that recognisers invent on music "
                 "are removed.")),
             B::heading(QStringLiteral("Paste Lyrics")),
             B::steps({
                 QStringLiteral("Open the song and choose Paste Lyrics."),
                 QStringLiteral("Paste the lyrics, one caption per line."),
                 QStringLiteral("Each line is timed word by word against the recording."),
             }),
             B::tip(QStringLiteral("Song mode needs the voice detector, a small extra download "
                                   "offered the first time.")),
         }},
        {QStringLiteral("edit"),
         QStringLiteral("Editing Captions"),
         QStringLiteral("text.cursor"),
         {
             B::paragraph(QStringLiteral(
                 "Each row of the caption list holds the start and end time and the text. Type "
                 "in any of them; a caption may hold two lines.")),
             B::bullets({
                 QStringLiteral("Add at Playhead (N) makes a new caption at the playhead, up to "
                                "3 s long and ending before the next caption."),
                 QStringLiteral("Split (S) cuts the selected caption, or with none selected the "
                                "one under the playhead, in two at the playhead. A row's scissors "
                                "cut that row's caption at the playhead."),
                 QStringLiteral("Merge joins a caption with the next one."),
                 QStringLiteral("Shift All Captions moves every caption earlier or later."),
                 QStringLiteral("Re-wrap lays every caption out again with the line length of "
                                "the Style bay."),
             }),
             B::paragraph(QStringLiteral("Every change can be undone with Edit > Undo (Ctrl+Z) and "
                                         "redone with Ctrl+Shift+Z, "
                                         "up to 200 steps.")),
         }},
        {QStringLiteral("checks"),
         QStringLiteral("Checking Before Delivery"),
         QStringLiteral("checkmark.circle"),
         {
             B::paragraph(QStringLiteral(
                 "Captions that would be hard to read or that services reject are marked as "
                 "you work: an amber stripe and number in the row (point at the number for "
                 "the reason), an amber bar on the lane block, and a count in the status bar.")),
             B::bullets({
                 QStringLiteral("Reading speed: at most 17 characters per second, spaces "
                                "included, line breaks not."),
                 QStringLiteral("Line length: the Style bay's characters per line."),
                 QStringLiteral("Time on screen: from the shortest caption of the rules to 7 s."),
                 QStringLiteral("Gap: at least two frames (0.083 s) before the next caption, "
                                "and no overlap."),
                 QStringLiteral("Unsure words: words the recogniser was less than 50 % sure "
                                "of have a dotted underline until you edit them."),
             }),
             B::paragraph(QStringLiteral(
                 "Captions > Next Problem (F8) and Previous Problem (Shift+F8) walk the marked "
                 "captions. File > Settings… sets the limits.")),
             B::paragraph(QStringLiteral(
                 "Misspelled words have a red wavy underline, checked against the dictionary "
                 "of the transcription language. Right-click one for corrections, Add to "
                 "Dictionary or Ignore. Settings names the package to install when a "
                 "language has no dictionary.")),
             B::paragraph(QStringLiteral(
                 "Edit > Find… (Ctrl+F) and Replace… (Ctrl+H) search every caption, with "
                 "match case, whole words and regular expressions; Replace All is one undo "
                 "step. lorowen-cli check runs the same checks on a caption file.")),
         }},
        {QStringLiteral("lane"),
         QStringLiteral("Caption Lane"),
         QStringLiteral("timeline.selection"),
         {
             B::paragraph(QStringLiteral(
                 "Under the monitor, the lane shows the waveform of the sound, a time ruler, "
                 "each caption as a block and the playhead.")),
             B::control(QStringLiteral("Click"), QStringLiteral("Moves the playhead there.")),
             B::control(QStringLiteral("Click a caption"), QStringLiteral("Selects it.")),
             B::control(QStringLiteral("Drag an edge"),
                        QStringLiteral("Retimes the start or end of a caption.")),
             B::control(QStringLiteral("Zoom slider"),
                        QStringLiteral("Shows more or less time across the lane.")),
             B::control(QStringLiteral("Fit"),
                        QStringLiteral("Fits the whole file into the lane.")),
         }},
        {QStringLiteral("style"),
         QStringLiteral("Caption Style"),
         QStringLiteral("textformat"),
         {
             B::paragraph(QStringLiteral(
                 "The Style bay sets how captions look: font, size, colours, a box or an "
                 "outline, position (bottom, middle, top) and the line length.")),
             B::bullets({
                 QStringLiteral("Presets: Broadcast, Social Pop, Clean Outline, Cinema and "
                                "Headline Top."),
                 QStringLiteral("The monitor previews the look on the playing video."),
                 QStringLiteral("The look is used by the burned-in MP4 export; caption files "
                                "and subtitle tracks carry only the text and times."),
             }),
         }},
        {QStringLiteral("export"),
         QStringLiteral("Exporting"),
         QStringLiteral("square.and.arrow.up.fill"),
         {
             B::control(QStringLiteral("SRT"),
                        QStringLiteral("SubRip, for YouTube, editors and most players.")),
             B::control(QStringLiteral("VTT"), QStringLiteral("WebVTT, for web players.")),
             B::control(QStringLiteral("TXT"),
                        QStringLiteral("A plain transcript, or one with time marks.")),
             B::control(QStringLiteral("Burned-in MP4"),
                        QStringLiteral("The captions drawn into the picture with the current "
                                       "style.")),
             B::control(QStringLiteral("Subtitle track"),
                        QStringLiteral("MP4 or MOV with switchable captions; picture and sound "
                                       "copied untouched.")),
             B::control(QStringLiteral("Voiceover MP3"),
                        QStringLiteral("All captions read aloud by your ElevenLabs voice.")),
             B::tip(QStringLiteral("With \"Also save .srt + .vtt\" on, video exports also write "
                                   "caption files beside the video.")),
         }},
        {QStringLiteral("elevenlabs"),
         QStringLiteral("Uses ElevenLabs (optional)"),
         QStringLiteral("speaker.wave.3.fill"),
         {
             B::paragraph(QStringLiteral(
                 "Two features use the ElevenLabs cloud with your own account: Scribe "
                 "transcription and the voiceover. Everything else works without it.")),
             B::steps({
                 QStringLiteral("Make an API key on elevenlabs.io under Developers > API Keys."),
                 QStringLiteral("Open Settings (Ctrl+,), paste it and click Save Key. It is kept "
                                "in this computer's keyring, never in a file."),
                 QStringLiteral("Click Load Voices and choose a voice and a model."),
             }),
             B::bullets({
                 QStringLiteral("Scribe uploads the sound track to ElevenLabs."),
                 QStringLiteral("The voiceover sends the caption text."),
                 QStringLiteral("Your own ElevenLabs plan pays for what is used; Lorowen Pro "
                                "includes no key."),
             }),
         }},
        {QStringLiteral("keys"),
         QStringLiteral("Keyboard Shortcuts"),
         QStringLiteral("keyboard"),
         {
             B::heading(QStringLiteral("Menus")),
             B::key(QStringLiteral("Ctrl+O"), QStringLiteral("Open a video or audio file")),
             B::key(QStringLiteral("Ctrl+Shift+I"), QStringLiteral("Import SRT / VTT")),
             B::key(QStringLiteral("Ctrl+Shift+E"), QStringLiteral("Export SRT")),
             B::key(QStringLiteral("Ctrl+Alt+E"), QStringLiteral("Export burned-in MP4")),
             B::key(QStringLiteral("Ctrl+Z"), QStringLiteral("Undo")),
             B::key(QStringLiteral("Ctrl+Shift+Z"), QStringLiteral("Redo")),
             B::key(QStringLiteral("Ctrl+Shift+T"), QStringLiteral("Transcribe")),
             B::key(QStringLiteral("Ctrl+Shift+N"), QStringLiteral("Add caption at playhead")),
             B::key(QStringLiteral("Delete"), QStringLiteral("Delete the selected caption")),
             B::key(QStringLiteral("Ctrl+F / Ctrl+H"), QStringLiteral("Find / Replace")),
             B::key(QStringLiteral("F3 / Shift+F3"), QStringLiteral("Find next / previous")),
             B::key(QStringLiteral("F8 / Shift+F8"),
                    QStringLiteral("Select the next / previous caption that needs attention")),
             B::key(QStringLiteral("Ctrl+."), QStringLiteral("Stop the current job")),
             B::key(QStringLiteral("Ctrl+1 / Ctrl+2 / Ctrl+3"),
                    QStringLiteral("Show the Captions, Style or Export bay")),
             B::key(QStringLiteral("Ctrl+= / Ctrl+-"), QStringLiteral("Interface zoom in / out")),
             B::key(QStringLiteral("Ctrl+0"), QStringLiteral("Actual size (100 %)")),
             B::key(QStringLiteral("Ctrl+,"), QStringLiteral("Settings")),
             B::key(QStringLiteral("Ctrl+?"), QStringLiteral("This help")),
             B::key(QStringLiteral("Ctrl+Q"), QStringLiteral("Quit")),
             B::heading(QStringLiteral("Single keys (when not typing in a field)")),
             B::key(QStringLiteral("Space"), QStringLiteral("Play or pause")),
             B::key(QStringLiteral("← / →"), QStringLiteral("Step back or forward 0.2 s")),
             B::key(QStringLiteral("Shift+← / Shift+→"),
                    QStringLiteral("Step back or forward 5 s")),
             B::key(QStringLiteral("J / L"), QStringLiteral("Jump back or forward 2 s")),
             B::key(QStringLiteral("K"), QStringLiteral("Pause")),
             B::key(QStringLiteral("N"),
                    QStringLiteral("New caption at the playhead, up to 3 s long")),
             B::key(QStringLiteral("S"),
                    QStringLiteral("Split the selected caption (or the one under the playhead) "
                                   "at the playhead")),
             B::key(QStringLiteral("[ / ]"),
                    QStringLiteral("Nudge the selected caption 0.1 s earlier or later")),
             B::key(QStringLiteral("Shift+[ / Shift+]"), QStringLiteral("Nudge it by 0.5 s")),
         }},
        {QStringLiteral("tips"),
         QStringLiteral("Tips & Troubleshooting"),
         QStringLiteral("lightbulb.fill"),
         {
             B::control(QStringLiteral("\"No sound track\""),
                        QStringLiteral("The file has no audio to transcribe; open the original "
                                       "recording instead.")),
             B::control(QStringLiteral("\"The sound track is too short\""),
                        QStringLiteral("Less than a third of a second of sound can't be "
                                       "transcribed.")),
             B::control(QStringLiteral("Wrong words or names"),
                        QStringLiteral("Check the spoken language, try the Large v3 Turbo model, "
                                       "and correct names in the list.")),
             B::control(QStringLiteral("Music transcribed badly"),
                        QStringLiteral("Turn on Song mode, or use Paste Lyrics when you have the "
                                       "words.")),
             B::control(QStringLiteral("ElevenLabs errors"),
                        QStringLiteral("Check the key in Settings, your credits on "
                                       "elevenlabs.io, and the internet connection.")),
             B::tip(QStringLiteral("A job that seems stuck can always be ended with Captions > "
                                   "Stop Current Job; your captions stay as they were.")),
         }},
    };
}

} // namespace

const QList<HelpPage>& LWHelpPages::all() {
    static const QList<HelpPage> pages = sharedPages() + applicationPages();
    return pages;
}
