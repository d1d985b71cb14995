#include "LWSpeller.h"

#include "BCError.h"
#include "BCFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <nuspell/dictionary.hxx>
#include <string>
#include <vector>

namespace {

// A language tag taken apart: "de-AT" → {"de", "AT"}, "zh-Hant-TW" → {"zh", "TW"}, "en_US" too.
struct Tag {
    QString language; // lower case; empty for none
    QString region;   // upper case; empty for none
};

Tag parseTag(const QString& tag) {
    Tag out;
    const QStringList parts =
        tag.trimmed().split(QRegularExpression(QStringLiteral("[-_.@]")), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return out;
    const QString first = parts[0].toLower();
    if (first.size() < 2 || first.size() > 3 ||
        !std::all_of(first.begin(), first.end(), [](QChar c) { return c >= u'a' && c <= u'z'; }))
        return out;
    out.language = first;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const bool letters = part.size() == 2 && part[0].isLetter() && part[1].isLetter();
        const bool digits = part.size() == 3 && std::all_of(part.begin(), part.end(),
                                                            [](QChar c) { return c.isDigit(); });
        if (letters || digits) {
            out.region = part.toUpper();
            break;
        }
    }
    return out;
}

// The region a language is mostly written in, as QLocale knows it ("de" → "DE"); empty when none.
QString defaultRegion(const QString& language) {
    const QString name = QLocale(language).name(); // "de_DE", or "C" for an unknown language
    const qsizetype cut = name.indexOf(u'_');
    return name.startsWith(language + u'_') && cut > 0 ? name.mid(cut + 1) : QString();
}

// Debian 12's dictionary packages, without their "hunspell-" prefix.
const QStringList& debianDictionaries() {
    static const QStringList names = {
        QStringLiteral("af"),    QStringLiteral("an"),    QStringLiteral("ar"),
        QStringLiteral("be"),    QStringLiteral("bg"),    QStringLiteral("bn"),
        QStringLiteral("bo"),    QStringLiteral("br"),    QStringLiteral("bs"),
        QStringLiteral("ca"),    QStringLiteral("cs"),    QStringLiteral("da"),
        QStringLiteral("de-at"), QStringLiteral("de-ch"), QStringLiteral("de-de"),
        QStringLiteral("dz"),    QStringLiteral("el"),    QStringLiteral("en-au"),
        QStringLiteral("en-ca"), QStringLiteral("en-gb"), QStringLiteral("en-us"),
        QStringLiteral("en-za"), QStringLiteral("es"),    QStringLiteral("eu"),
        QStringLiteral("fr"),    QStringLiteral("gd"),    QStringLiteral("gl"),
        QStringLiteral("gu"),    QStringLiteral("gug"),   QStringLiteral("he"),
        QStringLiteral("hi"),    QStringLiteral("hr"),    QStringLiteral("hu"),
        QStringLiteral("id"),    QStringLiteral("is"),    QStringLiteral("it"),
        QStringLiteral("kk"),    QStringLiteral("kmr"),   QStringLiteral("ko"),
        QStringLiteral("lo"),    QStringLiteral("lt"),    QStringLiteral("lv"),
        QStringLiteral("ml"),    QStringLiteral("mn"),    QStringLiteral("ne"),
        QStringLiteral("nl"),    QStringLiteral("no"),    QStringLiteral("oc"),
        QStringLiteral("pl"),    QStringLiteral("pt-br"), QStringLiteral("pt-pt"),
        QStringLiteral("ro"),    QStringLiteral("ru"),    QStringLiteral("si"),
        QStringLiteral("sk"),    QStringLiteral("sl"),    QStringLiteral("sr"),
        QStringLiteral("sv"),    QStringLiteral("sw"),    QStringLiteral("te"),
        QStringLiteral("th"),    QStringLiteral("tr"),    QStringLiteral("uk"),
        QStringLiteral("uz"),    QStringLiteral("vi"),
    };
    return names;
}

// Web addresses, whose pieces are no words to check.
const QRegularExpression& addressPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((?:\b[a-z][a-z0-9+.-]*://|\bwww\.)\S+|\S+@\S+\.\S+)"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Whether a word found in a text is one to check.
bool checkable(QStringView word) {
    int letters = 0;
    bool lower = false;
    for (const QChar c : word) {
        if (c.isNumber())
            return false; // numbers, "3rd", "MP4"
        if (c.isLetter()) {
            ++letters;
            lower = lower || !c.isUpper();
        }
    }
    // No letters: punctuation, the speaker mark ">>". All capitals: an abbreviation ("BBC"),
    // while a one-letter word ("I", "A") is checked.
    return letters > 0 && (lower || letters == 1);
}

std::string utf8(const QString& word) {
    QString plain = word;
    plain.replace(u'\u2019', u'\''); // dictionaries spell "don't" with the plain apostrophe
    const QByteArray bytes = plain.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace

// --- LWPersonalWords ---

QString LWPersonalWords::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Brindlecote/Lorowen Pro/Dictionary.txt");
}

LWPersonalWords::LWPersonalWords(QString path) : m_path(std::move(path)) {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString word = QString::fromUtf8(line).trimmed();
        if (!word.isEmpty())
            m_words.insert(word);
    }
}

bool LWPersonalWords::contains(const QString& word) const {
    if (m_words.isEmpty())
        return false;
    QString plain = word;
    plain.replace(u'\u2019', u'\'');
    if (m_words.contains(plain))
        return true;
    if (!plain.isEmpty() && plain[0].isUpper()) {
        plain[0] = plain[0].toLower();
        return m_words.contains(plain);
    }
    return false;
}

void LWPersonalWords::add(const QString& word) {
    QString plain = word.trimmed();
    plain.replace(u'\u2019', u'\'');
    if (plain.isEmpty() || m_words.contains(plain))
        return;
    m_words.insert(plain);
    QStringList sorted(m_words.begin(), m_words.end());
    sorted.sort(Qt::CaseInsensitive);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    BCFiles::writeAtomically(m_path, (sorted.join(u'\n') + u'\n').toUtf8());
}

// --- LWSpeller ---

struct LWSpeller::Data {
    nuspell::Dictionary dictionary;
};

QStringList LWSpeller::systemFolders() {
    return {QStringLiteral("/usr/share/hunspell"), QStringLiteral("/usr/share/myspell"),
            QStringLiteral("/usr/share/myspell/dicts")};
}

QString LWSpeller::findDictionary(const QString& language, const QStringList& folders) {
    const Tag tag = parseTag(language);
    if (tag.language.isEmpty())
        return {};
    QStringList names;
    if (!tag.region.isEmpty())
        names << tag.language + u'_' + tag.region;
    if (const QString region = defaultRegion(tag.language); !region.isEmpty())
        names << tag.language + u'_' + region;
    names << tag.language;
    for (const QString& name : std::as_const(names)) {
        for (const QString& folder : folders) {
            const QDir dir(folder);
            if (QFileInfo::exists(dir.filePath(name + QStringLiteral(".dic"))) &&
                QFileInfo::exists(dir.filePath(name + QStringLiteral(".aff"))))
                return dir.filePath(name + QStringLiteral(".aff"));
        }
    }
    // Any region of the language ("es" with only es_MX installed).
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QStringList found =
            dir.entryList({tag.language + QStringLiteral("_*.aff")}, QDir::Files, QDir::Name);
        for (const QString& aff : found) {
            const QString dic = aff.chopped(4) + QStringLiteral(".dic");
            if (dir.exists(dic))
                return dir.filePath(aff);
        }
    }
    return {};
}

QString LWSpeller::packageFor(const QString& language) {
    Tag tag = parseTag(language);
    if (tag.language == u"nb" || tag.language == u"nn")
        tag.language = QStringLiteral("no");
    if (tag.language.isEmpty())
        return {};
    QStringList names;
    if (!tag.region.isEmpty())
        names << tag.language + u'-' + tag.region.toLower();
    if (const QString region = defaultRegion(tag.language); !region.isEmpty())
        names << tag.language + u'-' + region.toLower();
    names << tag.language;
    for (const QString& name : std::as_const(names)) {
        if (debianDictionaries().contains(name))
            return QStringLiteral("hunspell-") + name;
    }
    return {};
}

QString LWSpeller::languageName(const QString& language) {
    const Tag tag = parseTag(language);
    const QLocale locale(tag.region.isEmpty() ? tag.language : tag.language + u'_' + tag.region);
    if (tag.language.isEmpty() || locale.language() == QLocale::C)
        return language.trimmed().isEmpty() ? QStringLiteral("this language") : language.trimmed();
    QString name = QLocale::languageToString(locale.language());
    if (!tag.region.isEmpty() && locale.territory() != QLocale::AnyTerritory)
        name += QStringLiteral(" (%1)").arg(QLocale::territoryToString(locale.territory()));
    return name;
}

QString LWSpeller::statusText(const QString& language, const QStringList& folders) {
    const QString aff = findDictionary(language, folders);
    if (!aff.isEmpty()) {
        return QStringLiteral("Spelling is checked with the %1 dictionary (%2).")
            .arg(languageName(QFileInfo(aff).completeBaseName()),
                 QFileInfo(aff).absolutePath() + u'/' + QFileInfo(aff).completeBaseName() +
                     QStringLiteral(".dic"));
    }
    const QString package = packageFor(language);
    if (package.isEmpty())
        return QStringLiteral("No spelling dictionary for %1 is installed, so spelling is not "
                              "checked.")
            .arg(languageName(language));
    return QStringLiteral("No spelling dictionary for %1 is installed. Install the %2 package to "
                          "check spelling.")
        .arg(languageName(parseTag(language).language), package);
}

QList<LWSpeller::Word> LWSpeller::words(const QString& text) {
    QList<Word> out;
    if (text.isEmpty())
        return out;
    // The spans of web addresses, skipped whole.
    QList<std::pair<qsizetype, qsizetype>> addresses;
    if (text.contains(u'/') || text.contains(u'@') || text.contains(QLatin1String("www."))) {
        for (auto it = addressPattern().globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            addresses.append({m.capturedStart(), m.capturedEnd()});
        }
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    qsizetype start = (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem) ? 0 : -1;
    for (qsizetype at = finder.toNextBoundary(); at != -1; at = finder.toNextBoundary()) {
        const auto reasons = finder.boundaryReasons();
        if (start >= 0 && (reasons & QTextBoundaryFinder::EndOfItem)) {
            const QStringView word = QStringView(text).mid(start, at - start);
            const bool inAddress =
                std::any_of(addresses.begin(), addresses.end(), [&](const auto& span) {
                    return start < span.second && at > span.first;
                });
            if (!inAddress && checkable(word))
                out.append({start, at - start, word.toString()});
        }
        start = (reasons & QTextBoundaryFinder::StartOfItem) ? at : -1;
    }
    return out;
}

LWSpeller::LWSpeller(const QString& affPath) : m_affPath(affPath) {
    auto data = std::make_unique<Data>();
    try {
        data->dictionary.load_aff_dic(std::filesystem::path(affPath.toStdString()));
    } catch (const std::exception& error) {
        throw BCError(QStringLiteral("The spelling dictionary “%1” couldn't be read.")
                          .arg(QFileInfo(affPath).completeBaseName()),
                      QString::fromUtf8(error.what()));
    }
    m_data = std::move(data);
}

LWSpeller::~LWSpeller() = default;

std::unique_ptr<LWSpeller> LWSpeller::forLanguage(const QString& language,
                                                  const QStringList& folders) {
    const QString aff = findDictionary(language, folders);
    if (aff.isEmpty())
        return nullptr;
    return std::make_unique<LWSpeller>(aff);
}

bool LWSpeller::check(const QString& word) const {
    return m_data->dictionary.spell(utf8(word));
}

QStringList LWSpeller::suggestions(const QString& word, int most) const {
    std::vector<std::string> found;
    m_data->dictionary.suggest(utf8(word), found);
    const bool curly = word.contains(u'\u2019');
    QStringList out;
    for (const std::string& one : found) {
        QString text = QString::fromUtf8(one.data(), qsizetype(one.size()));
        if (curly)
            text.replace(u'\'', u'\u2019'); // keep the apostrophe the caption uses
        if (!out.contains(text))
            out << text;
        if (out.size() >= most)
            break;
    }
    return out;
}

QList<LWSpeller::Word> LWSpeller::misspelled(const QString& text,
                                             const LWPersonalWords* personal) const {
    QList<Word> out;
    for (Word& word : words(text)) {
        if (!check(word.text) && !(personal && personal->contains(word.text)))
            out.append(std::move(word));
    }
    return out;
}
