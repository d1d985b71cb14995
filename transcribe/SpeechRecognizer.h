#pragma once

#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// One language's offline recogniser: a PocketSphinx decoder over the acoustic model, language
// model and dictionary installed for that locale. Made once per transcription and used for its
// parts one after another (one task at a time). Logs go nowhere.
class SpeechRecognizer {
public:
    // One recognised word of a final result; times in seconds from the start of the file.
    struct Segment {
        QString text;
        double timestamp = 0;
        double duration = 0;
        double confidence = -1; // the word's posterior probability, below 0 when unknown
    };
    struct Error {
        int code = 0;
        QString description;
    };
    // Called on the task's thread with the final result, or with an error and no result.
    using Handler = std::function<void(const std::optional<QList<Segment>>& final,
                                       const std::optional<Error>&)>;

    enum class State { running, cancelling, completed };

    // A recognition of one file, running on its own thread. Destroying it cancels it and waits
    // for the thread.
    class Task {
    public:
        ~Task();
        State state() const { return m_state.load(); }
        void cancel();

    private:
        friend class SpeechRecognizer;
        Task() = default;
        std::atomic<State> m_state{State::running};
        std::atomic<bool> m_cancel{false};
        std::thread m_thread;
    };

    ~SpeechRecognizer();
    SpeechRecognizer(const SpeechRecognizer&) = delete;
    SpeechRecognizer& operator=(const SpeechRecognizer&) = delete;

    // The recogniser for `locale` ("en-US" or "en_US"), or nothing when no model is installed
    // for it (or the model can't be loaded).
    static std::unique_ptr<SpeechRecognizer> make(const QString& locale);
    // The folder holding `locale`'s model files when all of them are installed.
    static std::optional<QString> modelFolder(const QString& locale);

    // Everything runs on this computer, and it is always ready: there is no speech service to
    // send sound to, whatever the preference for on-device recognition says.
    bool supportsOnDeviceRecognition() const { return true; }
    bool hasService() const { return false; }
    bool isAvailable() const { return true; }

    // Starts recognising a 16-bit mono 16 000 Hz WAV file. The handler is called exactly once,
    // unless the task is cancelled first. The recogniser must outlive the task.
    std::unique_ptr<Task> start(const QString& wavPath, Handler handler);

private:
    struct Decoder;
    explicit SpeechRecognizer(std::unique_ptr<Decoder> decoder);
    void run(Task& task, const QString& wavPath, const Handler& handler);

    std::unique_ptr<Decoder> m_decoder;
};
