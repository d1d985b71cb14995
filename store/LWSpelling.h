#pragma once

#include "LWSpeller.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Spelling for the window: the dictionary of the transcription language, read on a thread of its
// own when first needed, and answers about words kept per word. Views ask with `misspelled`,
// which answers at once from what is known and queues the rest for the thread; `checked` tells
// them when new answers have come, `changed` when every answer may differ (another language, a
// word added or ignored). Main thread, except the private worker.
class LWSpelling : public QObject {
    Q_OBJECT
public:
    explicit LWSpelling(QStringList folders = LWSpeller::systemFolders(),
                        const QString& personalPath = LWPersonalWords::defaultPath(),
                        QObject* parent = nullptr);
    ~LWSpelling() override;

    // Follows the transcription language (a BCP-47 tag); the dictionary is read when first needed.
    void setLanguage(const QString& language);
    const QString& language() const { return m_language; }
    // The dictionary in use, or that none is installed and which package adds it.
    QString statusText() const;
    // Whether the language's dictionary is read and in use (false while it is read and when
    // there is none).
    bool ready() const { return m_state == State::ready; }

    // The misspelled words of `text` as far as known now. Words not answered yet are checked on
    // the thread; `waiting` (when given) says whether there are any, and `checked` follows when
    // they are answered. Nothing is misspelled in a language without a dictionary.
    QList<LWSpeller::Word> misspelled(const QString& text, bool* waiting = nullptr);
    // Corrections for `word`, best first (none without a dictionary).
    QStringList suggestions(const QString& word) const;
    // Adds `word` to the personal word list (written at once) so it is never marked again. A
    // failure to write is told through `failed`; the word is accepted for this session anyway.
    void addToDictionary(const QString& word);
    // Accepts `word` until the application quits, in every caption of every file.
    void ignore(const QString& word);

signals:
    void checked();
    void changed();
    // A sentence for the person: the dictionary or the word list couldn't be read or written.
    void failed(const QString& sentence);

private:
    enum class State { idle, loading, ready, none };
    void startLoading();
    void queue(const QString& word);
    void work(std::stop_token stop);
    void loaded(quint64 generation, std::shared_ptr<const LWSpeller> speller, QString error);
    void answered(quint64 generation, const QList<std::pair<QString, bool>>& answers);

    QStringList m_folders;
    QString m_language;
    State m_state = State::idle;
    std::shared_ptr<const LWSpeller> m_speller;
    LWPersonalWords m_personal;
    QSet<QString> m_ignored;
    QHash<QString, bool> m_known; // word → whether the dictionary knows it
    QSet<QString> m_asked;        // queued, not answered yet

    // Shared with the worker, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    quint64 m_generation = 0; // counts language changes; older answers are dropped
    QString m_loadLanguage;   // set when the worker should read this language's dictionary
    bool m_loadWanted = false;
    QStringList m_queue;
    std::shared_ptr<const LWSpeller> m_workerSpeller;
    std::jthread m_worker; // last: stopped and joined before the rest goes
};
