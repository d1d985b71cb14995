#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

// The words a person added with "Add to Dictionary": one word a line in a plain UTF-8 file in the
// user's data folder, read when made and written whole (beside, then renamed) on every addition.
class LWPersonalWords {
public:
    // "<data folder>/Brindlecote/Lorowen Pro/Dictionary.txt".
    static QString defaultPath();

    // Reads the list at `path`; a missing or unreadable file is an empty list.
    explicit LWPersonalWords(QString path = defaultPath());

    const QString& path() const { return m_path; }
    // Whether `word` is on the list, as written or with its first letter in lower case (an
    // added "lorowen" also accepts "Lorowen" at the start of a sentence).
    bool contains(const QString& word) const;
    // Adds `word` and writes the file. Throws BCError with a sentence when it can't be written
    // (the word stays on the list for this session).
    void add(const QString& word);

private:
    QString m_path;
    QSet<QString> m_words;
};

// Spelling with a system dictionary in Hunspell's format (.aff and .dic), read by Nuspell.
// Checking and suggesting are const and may run on several threads at once on one speller.
class LWSpeller {
public:
    // A word of a caption text: where it is (UTF-16 positions) and what it is.
    struct Word {
        qsizetype from = 0;
        qsizetype length = 0;
        QString text;
        friend bool operator==(const Word&, const Word&) = default;
    };

    // The folders dictionaries are installed in: /usr/share/hunspell and the older myspell ones.
    static QStringList systemFolders();
    // The .aff file of the dictionary for a BCP-47 language ("en-US", "de", "fr-FR"), searched in
    // `folders`: the language with its region, then with the region it is mostly written in
    // ("de" → de_DE), then the bare language, then any region of it. Empty when none is found.
    static QString findDictionary(const QString& language,
                                  const QStringList& folders = systemFolders());
    // The Debian package that installs a dictionary for `language` ("hunspell-de-de"), or an empty
    // string when Debian has none.
    static QString packageFor(const QString& language);
    // "English (United States)", "German" — for the sentences below.
    static QString languageName(const QString& language);
    // One sentence about spelling in `language`: the dictionary used, or that none is installed
    // and which package adds it.
    static QString statusText(const QString& language,
                              const QStringList& folders = systemFolders());

    // The words of `text` that are checked, in order. Words are found with Unicode word
    // boundaries (so "don't" is one word); numbers, words with digits, all-capital abbreviations
    // ("NASA"), the speaker mark and web addresses are left out.
    static QList<Word> words(const QString& text);

    // Reads the dictionary whose .aff file is `affPath`. Throws BCError when it can't be read.
    explicit LWSpeller(const QString& affPath);
    // The speller for `language`, or nothing when no dictionary for it is installed. Throws
    // BCError when an installed one can't be read.
    static std::unique_ptr<LWSpeller> forLanguage(const QString& language,
                                                  const QStringList& folders = systemFolders());
    ~LWSpeller();
    LWSpeller(const LWSpeller&) = delete;
    LWSpeller& operator=(const LWSpeller&) = delete;

    const QString& dictionary() const { return m_affPath; }
    // Whether the dictionary knows `word` (a typographic apostrophe counts as a plain one).
    bool check(const QString& word) const;
    // The dictionary's corrections for `word`, best first, at most `most`.
    QStringList suggestions(const QString& word, int most = 6) const;
    // The words of `text` neither the dictionary nor `personal` knows.
    QList<Word> misspelled(const QString& text, const LWPersonalWords* personal = nullptr) const;

private:
    struct Data;
    std::unique_ptr<const Data> m_data;
    QString m_affPath;
};
