#pragma once

#include "BCOpenedMedia.h"
#include "BurnIn.h"
#include "Caption.h"
#include "CaptionChecks.h"
#include "CaptionFind.h"
#include "CaptionHistory.h"
#include "CaptionRules.h"
#include "CaptionStyle.h"
#include "LWFormats.h"
#include "LWJob.h"
#include "LWJobRunner.h"
#include "LWPlayer.h"
#include "LWSpelling.h"
#include "LWTranscription.h"
#include "LWUiHooks.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QUuid>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

class BCPreferences;
class ELSettings;
class WhisperModels;

// The application's services a store works with, made at start-up by whoever makes the store
// (the window, a test) and outliving it.
struct LWServices {
    BCPreferences& preferences;
    WhisperModels& models;
    ELSettings& elevenLabs;
};

// The one document of the application: the opened media, the caption list, the selection, the
// running job with its status, and the remembered preferences. Lives on the main thread; every
// field is read and written there. Views observe the change signals and call the operations.
class LWStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(double time READ time WRITE setTime NOTIFY timeChanged)
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(Captions captions READ captions WRITE setCaptions NOTIFY captionsChanged)
    Q_PROPERTY(int historyTick READ historyTick NOTIFY historyTickChanged)
    Q_PROPERTY(QUuid selected READ selectedId WRITE setSelectedId NOTIFY selectedChanged)
    Q_PROPERTY(CaptionStyle style READ style WRITE setStyle NOTIFY styleChanged)
    Q_PROPERTY(QString busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QVariant progress READ progressValue NOTIFY progressChanged)
    Q_PROPERTY(QString note READ note WRITE setNote NOTIFY noteChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(bool preferOnDevice READ preferOnDevice WRITE setPreferOnDevice NOTIFY
                   preferOnDeviceChanged)
    Q_PROPERTY(bool sidecars READ sidecars WRITE setSidecars NOTIFY sidecarsChanged)
    Q_PROPERTY(bool songMode READ songMode WRITE setSongMode NOTIFY songModeChanged)
    Q_PROPERTY(bool markSpeakers READ markSpeakers WRITE setMarkSpeakers NOTIFY markSpeakersChanged)
    Q_PROPERTY(QString lyricsDraft READ lyricsDraft WRITE setLyricsDraft NOTIFY lyricsDraftChanged)
    Q_PROPERTY(bool showLyricsSheet READ showLyricsSheet WRITE setShowLyricsSheet NOTIFY
                   showLyricsSheetChanged)
    Q_PROPERTY(QString title READ title NOTIFY mediaChanged)

public:
    using TextKind = LWFormats::TextKind;

    // `systemLocale` is the platform locale name ("en_US", "fr_FR"), used for the spoken
    // language when none is stored.
    LWStore(LWUiHooks& hooks, LWServices services, QString systemLocale = defaultLocaleName(),
            QObject* parent = nullptr);
    ~LWStore() override;

    static QString defaultLocaleName();

    LWUiHooks& hooks() const { return m_hooks; }
    const LWServices& services() const { return m_services; }

    // --- Document ---
    const std::optional<BCOpenedMedia>& media() const { return m_media; }
    void setMedia(std::optional<BCOpenedMedia> media);
    double time() const { return m_time; }
    void setTime(double seconds);
    // Whether the player is running; follows the player (set by the store's playback calls and
    // its clock), never set from outside.
    bool playing() const { return m_playing; }

    const Captions& captions() const { return m_captions; }
    // The one place the caption list changes: records an undo step (and schedules the autosave).
    void setCaptions(const Captions& captions);
    CaptionHistory& history() { return m_history; }
    int historyTick() const { return m_historyTick; }
    // Empties both stacks, as when another file's captions are loaded.
    void resetHistory();

    std::optional<QUuid> selected() const { return m_selected; }
    void setSelected(std::optional<QUuid> id);
    QUuid selectedId() const { return m_selected.value_or(QUuid()); }
    void setSelectedId(const QUuid& id);

    const CaptionStyle& style() const { return m_style; }
    // Takes the new look and remembers it (saveStyle).
    void setStyle(const CaptionStyle& style);
    // Stores the current style under "lw.style".
    void saveStyle();

    const CaptionMath::Rules& rules() const { return m_rules; }
    void setRules(const CaptionMath::Rules& rules);
    // Waveform bars of the sound track, spread evenly over the sound's own span: from
    // peaksStart() for peaksSeconds() (0: the file's whole duration).
    const QList<float>& peaks() const { return m_peaks; }
    double peaksStart() const { return m_peaksStart; }
    double peaksSeconds() const;
    void setPeaks(QList<float> peaks, double start = 0, double seconds = 0);

    const std::optional<Captions>& previousCaptions() const { return m_previousCaptions; }
    void setPreviousCaptions(std::optional<Captions> previous);

    // "No file open", or the name of the file the person chose.
    QString title() const;

    // --- Opening and playing ---
    // The open panel, then open().
    void chooseFile();
    // Opens a media file as a job; the document is replaced only when every step succeeded.
    void open(const QString& path);
    // The files opened last (at most ten), newest first, those that still exist.
    QStringList recentFiles() const;
    void clearRecentFiles();
    void togglePlay();
    // Moves the playhead to `seconds` and starts playback there.
    void playFrom(double seconds);
    // Moves the playhead, clamped to 0..duration.
    void seek(double seconds);
    // The player, made on first use unless one was given.
    LWPlayer& player();
    void setPlayer(std::unique_ptr<LWPlayer> player);

    // --- Project autosave ---
    // Restarts the 0.8 s timer after which the captions are written to the project file.
    void scheduleAutosave();
    // Writes the project file of the open media now. A failure is told once in the note.
    void autosave();
    // Writes a pending autosave at once (before another file opens, and when quitting).
    void flushAutosave();
    // The captions saved for that media file earlier, setting the "Restored …" note, or nothing.
    // A project file that can't be read is moved aside so that no later write replaces it.
    std::optional<Captions> loadAutosave(const BCOpenedMedia& media);
    bool autosavePending() const { return m_saveTimer.isActive(); }

    // --- Job status ---
    QString busy() const { return m_busy; }
    bool isBusy() const { return !m_busy.isEmpty(); }
    void setBusy(const QString& text);
    std::optional<double> progress() const { return m_progress; }
    QVariant progressValue() const { return m_progress ? QVariant(*m_progress) : QVariant(); }
    void setProgress(std::optional<double> fraction);
    QString note() const { return m_note; }
    void setNote(const QString& note);
    const std::shared_ptr<LWJob>& work() const { return m_work; }

    // Starts a long operation under the job model. Returns false (and beeps) when the plan
    // refuses to overlap a running job.
    bool startJob(LWJobSpec plan);
    // "Stop Current Job": asks the running job to stop; it ends through its own path.
    void cancelWork();

    // How failed jobs report; the default shows an alert through the UI hooks.
    std::function<void(const QString& title, const QString& message)> showError;

    // --- Preferences ---
    QString language() const { return m_language; }
    void setLanguage(const QString& language);
    bool preferOnDevice() const { return m_preferOnDevice; }
    void setPreferOnDevice(bool on);
    bool sidecars() const { return m_sidecars; }
    void setSidecars(bool on);
    bool songMode() const { return m_songMode; }
    void setSongMode(bool on);
    bool markSpeakers() const { return m_markSpeakers; }
    void setMarkSpeakers(bool on);
    QString lyricsDraft() const { return m_lyricsDraft; }
    void setLyricsDraft(const QString& text);
    bool showLyricsSheet() const { return m_showLyricsSheet; }
    void setShowLyricsSheet(bool shown);
    std::optional<double> lastWhisperSpeed() const { return m_lastWhisperSpeed; }
    void setLastWhisperSpeed(std::optional<double> speed);

    // --- Transcription ---
    // Starts a transcription job of the opened file that replaces the caption list at its end
    // (asking first when there are captions); the replaced list goes to previousCaptions.
    void transcribe();

    // --- Paste Lyrics ---
    // Starts the job that hears the song with Whisper in song mode (the lyrics as its prompt)
    // and times every pasted word against it; the captions are replaced at its end.
    void alignLyrics(const QString& text);
    // --- Editing (every change is one undoable assignment of the caption list) ---
    void undo();
    void redo();
    // A "New caption" at the playhead, selected; only with media open.
    void addCaption();
    void deleteCaption(const QUuid& id);
    void nudgeCaption(const QUuid& id, double by);
    void setStart(const QUuid& id, double t);
    void setEnd(const QUuid& id, double t);
    void setText(const QUuid& id, const QString& text);
    void splitAtPlayhead(const QUuid& id);
    void mergeWithNext(const QUuid& id);
    void shiftAll(double by);
    void rewrap();
    void restorePrevious();
    std::optional<qsizetype> indexOf(std::optional<QUuid> id) const;
    void fixSelection();

    // --- Delivery checks ---
    // The limits captions are checked against: the caption rules' line length and shortest
    // time, and the remembered reading speed, longest time and gap.
    CaptionChecks::Limits checkLimits() const;
    // Remembers the reading speed, longest time, gap and confidence threshold of `limits` (the
    // rest are the rules').
    void setCheckLimits(const CaptionChecks::Limits& limits);
    // The problems of one caption (empty for none or an unknown id), kept up to date as the
    // captions change: only captions whose text, times or next caption changed are checked again.
    QList<CaptionChecks::Problem> problemsOf(const QUuid& id) const;
    // How many captions have at least one problem.
    qsizetype problemCount() const { return m_problemCount; }
    // Selects the next (or previous) caption with a problem after (before) the selected one, or
    // the playhead when none is selected, going round the list; moves the playhead to it. A beep
    // when there is none.
    void selectProblem(bool forward);

    // --- Find and replace ---
    // Selects the caption of the next (previous) match after the last one found, or after the
    // selection, going round the list, and moves the playhead to it. Returns the match; nothing
    // (with a beep, and the reason in the note for a bad pattern) when there is none.
    std::optional<CaptionFind::Match> findNext(const QString& pattern,
                                               const CaptionFind::Options& options, bool forward);
    // Replaces the match last found, when it is still there, and finds the next; one undo step.
    void replaceCurrent(const QString& pattern, const QString& replacement,
                        const CaptionFind::Options& options);
    // Replaces every match as one undo step: "Replaced N matches in M captions.".
    void replaceAll(const QString& pattern, const QString& replacement,
                    const CaptionFind::Options& options);
    // The match last found (its caption may have changed since).
    const std::optional<CaptionFind::Match>& lastFound() const { return m_found; }

    // --- Spelling ---
    // The dictionary of the transcription language and the answers about words.
    LWSpelling& spelling() { return m_spelling; }
    // Puts `with` in place of the `length` characters at `from` of a caption's text, as one undo
    // step; nothing when the caption is gone or its text is shorter.
    void replaceWord(const QUuid& id, qsizetype from, qsizetype length, const QString& with);

    // --- Caption files ---
    void importSubtitles();
    // Replaces the captions with those of a caption file (the previous ones can be restored).
    void importCaptions(const QString& path);
    void exportText(TextKind kind, bool timestamps);

    // --- Video exports ---
    // A copy of the video with the captions drawn into the picture (H.264 MP4).
    void exportBurnIn();
    // A copy of the video with the captions as a switchable subtitle track (MP4 or MOV).
    void exportSoft();

    // --- Voiceover ---
    // Reads all captions aloud with the chosen ElevenLabs voice into an MP3 file (save panel).
    void exportVoiceover();
    // The text a voiceover reads: the tidied captions, line breaks as spaces, joined by spaces.
    static QString voiceoverText(const Captions& captions);

signals:
    void mediaChanged();
    void timeChanged();
    void playingChanged();
    void captionsChanged();
    void historyTickChanged();
    void selectedChanged();
    void styleChanged();
    void rulesChanged();
    void peaksChanged();
    void previousCaptionsChanged();
    void busyChanged();
    void progressChanged();
    void noteChanged();
    void languageChanged();
    void preferOnDeviceChanged();
    void sidecarsChanged();
    void songModeChanged();
    void markSpeakersChanged();
    void lyricsDraftChanged();
    void showLyricsSheetChanged();
    void lastWhisperSpeedChanged();
    void recentFilesChanged();
    void problemsChanged();
    void checkLimitsChanged();
    void foundChanged();

private:
    // A transcription request from the document and the preferences.
    LWTranscription::Request transcriptionRequest() const;
    // Runs `request` as the job `plan` whose result replaces the caption list.
    void startTranscription(LWTranscription::Request request, LWJobSpec plan);
    void commitOpen(const BCOpenedMedia& media, const QList<float>& peaks, double soundStart,
                    double soundSeconds);
    void tick();
    void applyHistoryStep(const std::optional<Captions>& snapshot, const QString& note);
    void finishJob(const std::shared_ptr<LWJobState>& state, const LWJobSpec& plan,
                   const std::function<void()>& apply, const std::optional<QString>& error);
    LWUiHooks& m_hooks;
    LWServices m_services;

    void setPlaying(bool playing);
    // Starts the player, saying once per run when there is no sound output to hear it on.
    void startPlayer();
    // Listens to a new player.
    void watchPlayer();
    // The player could not load the file the libraries read: its converted copy is made (or
    // re-used) and played instead, the captions kept; a copy that fails too is said so.
    void playerCouldNotLoad();

    std::optional<BCOpenedMedia> m_media;
    double m_time = 0;
    bool m_playing = false;
    bool m_toldSilent = false;
    Captions m_captions;
    CaptionHistory m_history;
    int m_historyTick = 0;
    std::optional<QUuid> m_selected;
    CaptionStyle m_style;
    CaptionMath::Rules m_rules;
    QList<float> m_peaks;
    double m_peaksStart = 0;
    double m_peaksSeconds = 0;
    QString m_busy;
    std::optional<double> m_progress;
    QString m_note;
    QString m_language;
    bool m_preferOnDevice = true;
    std::optional<Captions> m_previousCaptions;
    bool m_sidecars = true;
    std::shared_ptr<LWJob> m_work;
    bool m_songMode = false;
    bool m_markSpeakers = true;
    QString m_lyricsDraft;
    bool m_showLyricsSheet = false;
    std::optional<double> m_lastWhisperSpeed;
    std::unique_ptr<LWPlayer> m_player;
    QTimer m_clock; // the 1/30 s playhead clock
    QTimer m_saveTimer;
    QString m_autosaveFailureNote; // the note shown while autosaving fails
    // The open file's project exists but can't be read: it is never written over this session.
    bool m_autosaveBlocked = false;
    QString m_projectPath; // named at opening; a later move or delete can't change it
    // The delivery checks: each caption's problems with what they were found for.
    struct Checked {
        double start = 0;
        double end = 0;
        QString text;
        QList<WordConfidence> confidence;
        double nextStart = 0;
        bool hasNext = false;
        QList<CaptionChecks::Problem> problems;
    };
    QHash<QUuid, Checked> m_checked;
    std::optional<CaptionFind::Match> m_found;
    QUuid m_foundId;
    // Sets the list as one undo step that later typing does not merge into.
    void setCaptionsAsOneStep(const Captions& captions);
    qsizetype m_problemCount = 0;
    // The limits of the checks that are not caption rules (the rest are read from m_rules).
    CaptionChecks::Limits m_limits;
    // Takes the limits' own figures, each replaced by its default when not usable.
    void adoptLimits(const CaptionChecks::Limits& limits);
    void refreshProblems(bool all);
    LWSpelling m_spelling;
    LWJobRunner m_jobs; // last: its threads are stopped and joined before the rest goes
};
