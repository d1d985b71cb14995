#include "LWSpelling.h"

#include "BCError.h"

#include <QMetaObject>

LWSpelling::LWSpelling(QStringList folders, const QString& personalPath, QObject* parent)
    : QObject(parent), m_folders(std::move(folders)), m_personal(personalPath),
      m_worker([this](std::stop_token stop) { work(stop); }) {}

LWSpelling::~LWSpelling() {
    m_worker.request_stop();
    m_wake.notify_all();
    m_worker.join();
}

void LWSpelling::setLanguage(const QString& language) {
    if (language == m_language)
        return;
    m_language = language;
    m_state = State::idle;
    m_speller.reset();
    m_known.clear();
    m_asked.clear();
    {
        const std::scoped_lock lock(m_mutex);
        ++m_generation;
        m_queue.clear();
        m_loadWanted = false;
        m_workerSpeller.reset();
    }
    emit changed();
}

QString LWSpelling::statusText() const {
    return LWSpeller::statusText(m_language, m_folders);
}

void LWSpelling::startLoading() {
    m_state = State::loading;
    const std::scoped_lock lock(m_mutex);
    m_loadLanguage = m_language;
    m_loadWanted = true;
    m_wake.notify_all();
}

void LWSpelling::queue(const QString& word) {
    if (m_asked.contains(word))
        return;
    m_asked.insert(word);
    const std::scoped_lock lock(m_mutex);
    m_queue.append(word);
    m_wake.notify_all();
}

QList<LWSpeller::Word> LWSpelling::misspelled(const QString& text, bool* waiting) {
    if (waiting)
        *waiting = false;
    if (m_state == State::idle)
        startLoading();
    QList<LWSpeller::Word> out;
    if (m_state == State::none)
        return out;
    for (LWSpeller::Word& word : LWSpeller::words(text)) {
        const auto known = m_known.constFind(word.text);
        if (known == m_known.cend()) {
            queue(word.text);
            if (waiting)
                *waiting = true;
        } else if (!*known && !m_ignored.contains(word.text) && !m_personal.contains(word.text)) {
            out.append(std::move(word));
        }
    }
    return out;
}

QStringList LWSpelling::suggestions(const QString& word) const {
    return m_speller ? m_speller->suggestions(word) : QStringList();
}

void LWSpelling::addToDictionary(const QString& word) {
    try {
        m_personal.add(word);
    } catch (const BCError& error) {
        m_ignored.insert(word);
        emit failed(error.message());
    }
    emit changed();
}

void LWSpelling::ignore(const QString& word) {
    m_ignored.insert(word);
    emit changed();
}

void LWSpelling::work(std::stop_token stop) {
    for (;;) {
        quint64 generation = 0;
        QString load;
        QStringList words;
        std::shared_ptr<const LWSpeller> speller;
        {
            std::unique_lock lock(m_mutex);
            // Words wait until the dictionary is read.
            if (!m_wake.wait(lock, stop, [this] {
                    return m_loadWanted || (m_workerSpeller && !m_queue.isEmpty());
                }))
                return;
            generation = m_generation;
            if (m_loadWanted) {
                m_loadWanted = false;
                load = m_loadLanguage;
            } else {
                words.swap(m_queue);
                speller = m_workerSpeller;
            }
        }
        if (words.isEmpty()) {
            std::shared_ptr<const LWSpeller> read;
            QString error;
            try {
                read = LWSpeller::forLanguage(load, m_folders);
            } catch (const BCError& e) {
                error = e.message();
            }
            {
                const std::scoped_lock lock(m_mutex);
                if (generation == m_generation)
                    m_workerSpeller = read;
            }
            QMetaObject::invokeMethod(
                this, [this, generation, read, error] { loaded(generation, read, error); },
                Qt::QueuedConnection);
            continue;
        }
        // The answers go back in batches small enough that the marks appear while a long list
        // is still being checked.
        QList<std::pair<QString, bool>> answers;
        for (qsizetype i = 0; i < words.size() && !stop.stop_requested(); ++i) {
            answers.append({words[i], speller->check(words[i])});
            if (answers.size() == 512 || i + 1 == words.size()) {
                QMetaObject::invokeMethod(
                    this, [this, generation, answers] { answered(generation, answers); },
                    Qt::QueuedConnection);
                answers.clear();
            }
        }
    }
}

void LWSpelling::loaded(quint64 generation, std::shared_ptr<const LWSpeller> speller,
                        QString error) {
    {
        const std::scoped_lock lock(m_mutex);
        if (generation != m_generation)
            return;
        if (!speller)
            m_queue.clear();
    }
    m_speller = std::move(speller);
    m_state = m_speller ? State::ready : State::none;
    if (!m_speller)
        m_asked.clear();
    if (!error.isEmpty())
        emit failed(error);
    emit changed();
}

void LWSpelling::answered(quint64 generation, const QList<std::pair<QString, bool>>& answers) {
    {
        const std::scoped_lock lock(m_mutex);
        if (generation != m_generation)
            return;
    }
    for (const auto& [word, known] : answers) {
        m_known.insert(word, known);
        m_asked.remove(word);
    }
    emit checked();
}
