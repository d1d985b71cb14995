// Grouping words into captions, the line wrapper, sentence ends, word keys, voice pitch and the
// stored form of the caption rules.
#include "BCText.h"
#include "CaptionMath.h"
#include "CorePrinters.h"
#include "VoicePitch.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace CaptionMath {

// Readable rules in failure messages; found by argument-dependent lookup.
static void PrintTo(const Rules& rules, std::ostream* os) {
    *os << "{" << rules.maxCharsPerLine << ", " << rules.maxLines << ", " << rules.maxDuration
        << ", " << rules.minDuration << ", " << rules.pauseSplit << "}";
}

} // namespace CaptionMath

namespace {

using CaptionMath::PitchFunction;
using CaptionMath::Rules;

constexpr double rate = 16000;

// The words of `text` (split at spaces), the first at `start`, then one every `step` seconds,
// each lasting `duration`.
TimedWords spoken(const QString& text, double start, double step = 0.3, double duration = 0.25) {
    TimedWords words;
    for (const QString& word : text.split(u' ')) {
        words.append({word, start, duration});
        start += step;
    }
    return words;
}

TimedWords withLeadingSpaces(TimedWords words) {
    for (TimedWord& word : words)
        word.text.prepend(u' ');
    return words;
}

QStringList texts(const Captions& captions) {
    QStringList result;
    for (const Caption& caption : captions)
        result.append(caption.text);
    return result;
}

// A pitch that changes from `before` to `after` hertz for spans starting at or after `change`.
PitchFunction pitchChangeAt(double change, double before, double after) {
    return
        [=](double from, double) { return std::optional<double>(from < change ? before : after); };
}

// Mono samples at 16 kHz: sine segments of (frequency in hertz, seconds); frequency 0 is silence.
std::vector<float> tones(const std::vector<std::pair<double, double>>& segments) {
    std::vector<float> samples;
    for (const auto& [hertz, seconds] : segments)
        for (int i = 0; i < int(seconds * rate); ++i)
            samples.push_back(float(0.5 * std::sin(2 * std::numbers::pi * hertz * i / rate)));
    return samples;
}

// --- endsSentence ---

TEST(EndsSentence, AbbreviationsInitialsQuotesAndBrackets) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"end.", true},
        {"Really?", true},
        {"Stop!", true},
        {"so\u2026", true},
        {"12.", true},
        // Closing quotes and brackets are looked through; opening ones are not in the way.
        {"(yes!)", true},
        {"\u201CDone.\u201D", true},
        {"\"Stop!\"", true},
        {"done.'", true},
        {"\u00ABfin.\u00BB", true},
        {"[sic.]", true},
        // Known abbreviations, in any case, also inside brackets.
        {"Dr.", false},
        {"etc.", false},
        {"MRS.", false},
        {"approx.", false},
        {"No.", false},
        {"etc.)", false},
        // Initials, counted in user-perceived characters.
        {"J.", false},
        {"E\u0301.", false},
        // Dotted abbreviations go on; a dotted body of six or more characters ends.
        {"e.g.", false},
        {"U.S.A.", false},
        {"wait...", true},
        // No sentence punctuation at the end.
        {"word", false},
        {"word,", false},
        {"e.g.,", false},
        {"\"\"", false},
        {"", false},
    };
    for (const auto& [word, expected] : cases) {
        SCOPED_TRACE(word.toStdString());
        EXPECT_EQ(CaptionMath::endsSentence(word), expected);
    }
}

// --- wordKey ---

TEST(WordKey, FoldsCaseDiacriticsAndPunctuation) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"And,", "and"},
        {"WHEN", "when"},
        {"\u00C9t\u00E9", "ete"},   // precomposed
        {"E\u0301te\u0301", "ete"}, // decomposed
        {"na\u00EFve!", "naive"},
        {"l'\u00E9t\u00E9", "lete"},
        {"\uFB01ne", "fine"},          // ligature fi, folded by compatibility decomposition
        {"\uFF37\uFF28\uFF2F", "who"}, // full-width letters
        {"\u0130stanbul", "istanbul"},
        {"42nd", "42nd"},
        {"\u2014", ""},
        {"", ""},
    };
    for (const auto& [word, key] : cases) {
        SCOPED_TRACE(word.toStdString());
        EXPECT_EQ(CaptionMath::wordKey(word), key);
    }
}

// --- wrap ---

struct WrapCase {
    QString text;
    int maxChars;
    int maxLines;
    QString expected;
};

TEST(Wrap, BalancesTwoLinesAndIsIdempotent) {
    const QString decomposed = QStringLiteral("e\u0301e\u0301"); // two characters, four units
    const QString fourDecomposed = QStringList(4, decomposed).join(u' ');
    const std::vector<WrapCase> cases = {
        {"word word word word", 9, 2, "word word\nword word"},
        {"word word word word", 9, 1, "word word word word"},
        {"word word word word", 19, 2, "word word word word"},
        // Old line breaks and runs of spaces count as single spaces.
        {"word word\nword word", 9, 2, "word word\nword word"},
        {"  two   spaces \n here ", 42, 2, "two spaces here"},
        {"", 42, 2, ""},
        // Never more than two lines; the overflow is shared as evenly as it can be.
        {"one two three four five six seven eight nine ten", 10, 3,
         "one two three four five\nsix seven eight nine ten"},
        // Equal costs: the earliest break wins.
        {"ab cd ef", 4, 2, "ab\ncd ef"},
        // A word longer than the line is not broken.
        {"extraordinarily long", 8, 2, "extraordinarily\nlong"},
        {"extraordinarily", 8, 2, "extraordinarily"},
        // Lengths are user-perceived characters, not UTF-16 units.
        {fourDecomposed, 11, 2, fourDecomposed},
        {fourDecomposed, 10, 2,
         decomposed + u' ' + decomposed + u'\n' + decomposed + u' ' + decomposed},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " / " + std::to_string(c.maxChars) + " / " +
                     std::to_string(c.maxLines));
        const QString wrapped = CaptionMath::wrap(c.text, c.maxChars, c.maxLines);
        EXPECT_EQ(wrapped, c.expected);
        EXPECT_EQ(CaptionMath::wrap(wrapped, c.maxChars, c.maxLines), wrapped);
    }
}

// --- group: which words make which captions ---

struct GroupCase {
    const char* name;
    TimedWords words;
    Rules rules;
    QStringList expected;
};

TEST(Group, SentencesSplitsAndJoins) {
    const Rules oneLine20{20, 1};
    const std::vector<GroupCase> cases = {
        {"no words", {}, {}, {}},
        {"blank words only", {{" ", 0, 1}, {"\t", 1, 1}, {"", 2, 1}}, {}, {}},
        {"words out of order come out in order",
         {{"world.", 0.4, 0.3}, {"Hello", 0, 0.3}},
         {},
         {"Hello world."}},
        {"blank words are dropped, others keep their spaces",
         {{"Hello", 0, 0.3}, {"  ", 0.3, 0.1}, {"world. ", 0.4, 0.3}},
         {},
         {"Hello world."}},
        {"a silence over 2 s ends a sentence",
         spoken("we went", 0) + spoken("home", 3.05),
         {},
         {"we went", "home"}},
        {"a silence of 1.9 s does not",
         spoken("we went", 0) + spoken("home", 2.45),
         {},
         {"we went home"}},
        // 59 characters, at most 20 on one line: balanced cuts give pieces of three words.
        {"balanced cuts",
         spoken("aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll", 0),
         oneLine20,
         {"aaaa bbbb cccc", "dddd eeee ffff", "gggg hhhh iiii", "jjjj kkkk llll"}},
        // Before "dddd" a silence of 1.5 s outweighs the imbalance; one of 0.5 s would not.
        {"a silence over pauseSplit draws the cut",
         spoken("aaaa bbbb cccc", 0) + spoken("dddd eeee ffff gggg hhhh iiii jjjj kkkk llll", 2.35),
         oneLine20,
         {"aaaa bbbb cccc", "dddd eeee ffff gggg", "hhhh iiii", "jjjj kkkk llll"}},
        {"a silence of 0.5 s does not draw it there",
         spoken("aaaa bbbb cccc", 0) + spoken("dddd eeee ffff gggg hhhh iiii jjjj kkkk llll", 1.35),
         oneLine20,
         {"aaaa bbbb cccc", "dddd eeee ffff", "gggg hhhh iiii", "jjjj kkkk llll"}},
        {"a silence over 0.3 s draws it too",
         spoken("aaaa bbbb cccc dddd", 0) + spoken("eeee ffff gggg hhhh iiii jjjj kkkk llll", 1.65),
         oneLine20,
         {"aaaa bbbb cccc dddd", "eeee ffff gggg hhhh", "iiii jjjj kkkk llll"}},
        {"a cut leaving fewer than three words on a side costs 12",
         spoken("aaaa bbbb", 0) + spoken("cccc dddd eeee ffff gggg hhhh", 1.55),
         oneLine20,
         {"aaaa bbbb cccc dddd", "eeee ffff gggg hhhh"}},
        // Cuts before "dd" and after it are almost as even; only the latter leaves a right part
        // that fits.
        {"a fitting right part counts",
         spoken("aaaa bbbb ccccccccc dd eeee ffff gggggggggg", 0),
         oneLine20,
         {"aaaa bbbb", "ccccccccc dd", "eeee ffff gggggggggg"}},
        // The comma wins the first cut; the rest splits 2 + 3 and 3 + 2 equally: earliest wins.
        {"a clause end draws the cut",
         spoken("aaaa bbbb cccc, dddd eeee ffff gggg hhhh", 0),
         oneLine20,
         {"aaaa bbbb cccc,", "dddd eeee", "ffff gggg hhhh"}},
        {"a conjunction starts the second piece",
         spoken("aaaa bbbb cccc dddd eeee ffff gggg When hhhh iiii jjjj kkkk", 0),
         {40, 1},
         {"aaaa bbbb cccc dddd eeee ffff gggg", "When hhhh iiii jjjj kkkk"}},
        {"60 characters fit in two lines of 42",
         spoken("The committee agreed to publish the full annual report soon.", 0),
         {42, 2},
         {"The committee agreed to publish\nthe full annual report soon."}},
        // Words delivered with a leading space (as some engines do) are laid out without it.
        {"spaces around words do not count",
         {{" aaaa", 0, 0.25}, {" bbbb", 0.3, 0.25}},
         {9, 1},
         {"aaaa bbbb"}},
        {"nor in two lines",
         withLeadingSpaces(
             spoken("The committee agreed to publish the full annual report soon.", 0)),
         {42, 2},
         {"The committee agreed to publish\nthe full annual report soon."}},
        // The joining space and a combining mark after it make one character.
        {"a space that fuses with the next word",
         {{"aaaa", 0, 0.25}, {"\u0301bbbb", 0.3, 0.25}},
         {9, 1},
         {"aaaa \u0301bbbb"}},
        {"60 characters in one line of 42 make two captions",
         spoken("The committee agreed to publish the full annual report soon.", 0),
         {42, 1},
         {"The committee agreed to publish", "the full annual report soon."}},
        {"two full lines fit", spoken("aaaaaaaa bbbbbbbb", 0), {8, 2}, {"aaaaaaaa\nbbbbbbbb"}},
        {"a word too long for a line gets a caption of its own",
         spoken("aaaaaaaaaaa bb", 0),
         {8, 2},
         {"aaaaaaaaaaa", "bb"}},
        {"maxCharsPerLine below 8 counts as 8", spoken("aaa bbb ccc", 0), {5, 2}, {"aaa\nbbb ccc"}},
        {"a sentence of 10 s is split though its text is short",
         spoken("a b c d e", 0, 2.0, 2.0),
         {},
         {"a b", "c d e"}},
        {"a single word is never split",
         {{"Pneumonoultramicroscopic.", 0, 9}},
         {8, 1},
         {"Pneumonoultramicroscopic."}},
        {"short sentences close together join",
         spoken("Yes.", 0) + spoken("I agree.", 0.6),
         {},
         {"Yes. I agree."}},
        {"a silence over pauseSplit keeps them apart",
         spoken("Yes.", 0) + spoken("I agree.", 1.1),
         {},
         {"Yes.", "I agree."}},
        {"two sentences of 30 characters or more are not joined",
         spoken("This first sentence is long enough.", 0) +
             spoken("And so is this one, right here now.", 1.95),
         {},
         {"This first sentence is long enough.", "And so is this one, right here now."}},
        {"a shorter first sentence is",
         spoken("This sentence is short.", 0) + spoken("And so is this one, right here now.", 1.15),
         {},
         {"This sentence is short. And so\nis this one, right here now."}},
        {"a joined caption still has to fit",
         spoken("Yes.", 0) + spoken("I agree.", 0.6),
         {8, 1},
         {"Yes.", "I agree."}},
        // A stub before a sentence that needs cutting is cut again together with it.
        {"a short stub is re-cut with the next sentence",
         spoken("Yes.", 0, 0.3, 0.4) + spoken("aaaa bbbb cccc dddd ee.", 0.5),
         {14, 1},
         {"Yes. aaaa bbbb", "cccc dddd ee."}},
        {"a longer first group is not",
         spoken("Well yes sure.", 0, 0.5) + spoken("aaaa bbbb cccc dddd ee.", 1.5),
         {14, 1},
         {"Well yes sure.", "aaaa bbbb", "cccc dddd ee."}},
        // "cc dd. ee." would fit, but "cc dd." is only part of its sentence.
        {"nor is a group that was itself split",
         spoken("aaaa bbbb cc dd.", 0) + spoken("ee.", 1.3),
         {10, 1},
         {"aaaa bbbb", "cc dd.", "ee."}},
    };
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(texts(CaptionMath::group(c.words, c.rules)), c.expected);
    }
}

TEST(Group, LineLengthsBelowEightBehaveAsEight) {
    const TimedWords words =
        spoken("So we set off at dawn, and by noon the old mill was in sight. It was not far.", 0);
    const Captions floored = CaptionMath::group(words, {5, 2, 6.0, 1.0, 0.8});
    const Captions eight = CaptionMath::group(words, {8, 2, 6.0, 1.0, 0.8});
    ASSERT_EQ(floored.size(), eight.size());
    for (qsizetype i = 0; i < floored.size(); ++i) {
        EXPECT_EQ(floored[i].text, eight[i].text);
        EXPECT_EQ(floored[i].start, eight[i].start);
        EXPECT_EQ(floored[i].end, eight[i].end);
    }
}

// Random words with inner spaces and line feeds, emoji and combining marks (also at the start of
// a word, where the joining space fuses with them): every caption made of two or more words must
// come out within the rules as `wrap` lays it out, and no word may be lost or reordered.
TEST(Group, MultiWordCaptionsKeepTheirLineLimits) {
    const QStringList parts = {"a", "bc", "d\u00E9f", "e\u0301", "\u0301x", ",",
                               ".", "?",  " ",        "g\nh",    "Dr.",     "\U0001F44D\U0001F3FD"};
    const QRegularExpression breaks("[ \n]");
    std::mt19937 random(7);
    const auto below = [&random](int n) { return int(random() % unsigned(n)); };
    for (int round = 0; round < 300; ++round) {
        TimedWords words;
        double start = 0;
        for (int w = below(40); w >= 0; --w) {
            QString text;
            for (int p = below(4); p >= 0; --p)
                text += parts[below(int(parts.size()))];
            words.append({text, start, below(8) * 0.1});
            start += below(15) * 0.1;
        }
        const Rules rules{5 + below(20), below(3), 1.0 + below(6), 1.0, 0.8};
        const int maxChars = std::max(rules.maxCharsPerLine, 8);
        const int maxLines = std::max(rules.maxLines, 1);
        SCOPED_TRACE(round);

        // Every kept word has at least one piece between spaces and line feeds.
        std::vector<QStringList> wordTokens;
        std::stable_sort(words.begin(), words.end(),
                         [](const TimedWord& a, const TimedWord& b) { return a.start < b.start; });
        for (const TimedWord& word : words)
            if (!word.text.trimmed().isEmpty())
                wordTokens.push_back(word.text.split(breaks, Qt::SkipEmptyParts));
        std::size_t next = 0;
        for (const Caption& caption : CaptionMath::group(words, rules)) {
            // Match the caption's pieces with the words it was made of.
            const QStringList tokens = caption.text.split(breaks, Qt::SkipEmptyParts);
            QStringList used;
            int count = 0;
            while (used.size() < tokens.size() && next < wordTokens.size()) {
                used += wordTokens[next++];
                ++count;
            }
            ASSERT_EQ(tokens, used);
            const QStringList lines = caption.text.split(u'\n');
            EXPECT_LE(lines.size(), 2);
            if (count < 2)
                continue; // a single word may overflow
            EXPECT_LE(lines.size(), maxLines) << caption.text.toStdString();
            for (const QString& line : lines)
                EXPECT_LE(BCText::length(line), maxChars) << caption.text.toStdString();
        }
        EXPECT_EQ(next, wordTokens.size());
    }
}

// --- group: caption times ---

struct TimingCase {
    const char* name;
    TimedWords words;
    Rules rules;
    PitchFunction pitch;
    std::vector<std::pair<double, double>> expected; // start and end of each caption
};

TEST(Group, CaptionTimes) {
    const std::vector<TimingCase> cases = {
        {"a quarter second after the last word",
         spoken("Hello there.", 0, 1.0, 1.0),
         {},
         {},
         {{0, 2.25}}},
        // The second sentence is too long to join the first (6.5 s together).
        {"two frames and a little before a caption that follows closely",
         spoken("Hello there.", 0, 1.0, 1.0) + spoken("Next one.", 2.2, 2.3, 2.0),
         {},
         {},
         {{0, 2.115}, {2.2, 6.75}}},
        {"a lone short word lasts minDuration", {{"Hi.", 5.0, 0.1}}, {}, {}, {{5.0, 6.0}}},
        {"words show at least 0.3 s before the linger",
         {{"Hi.", 5.0, 0.1}},
         {42, 2, 6.0, 0.0, 0.8},
         {},
         {{5.0, 5.55}}},
        {"minDuration gives way to the next caption",
         {{"Hi.", 0, 0.1}, {"Bye.", 0.5, 0.1}},
         {},
         pitchChangeAt(0.2, 100, 200),
         {{0, 0.415}, {0.5, 1.5}}},
        {"no room before the next caption gives 0.2 s",
         {{"Hi.", 0, 0.02}, {"Bye", 0.03, 0.25}, {"now.", 0.33, 0.25}},
         {},
         pitchChangeAt(0.01, 100, 200),
         {{0, 0.2}, {0.03, 1.03}}},
    };
    for (const TimingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Captions captions = CaptionMath::group(c.words, c.rules, c.pitch);
        ASSERT_EQ(captions.size(), qsizetype(c.expected.size()));
        for (qsizetype i = 0; i < captions.size(); ++i) {
            EXPECT_NEAR(captions[i].start, c.expected[std::size_t(i)].first, 1e-9);
            EXPECT_NEAR(captions[i].end, c.expected[std::size_t(i)].second, 1e-9);
        }
    }
}

// A word whose start or end is not a number on the timeline (from a damaged recogniser answer)
// is left out; the others are grouped as usual, never into a caption at NaN or infinity.
TEST(Group, WordsWithUnusableTimesAreLeftOut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* name;
        double start;
        double duration;
        bool kept;
    };
    const Row rows[] = {
        {"start NaN", nan, 0.5, false},         {"start +inf", inf, 0.5, false},
        {"start -inf", -inf, 0.5, false},       {"length NaN", 1, nan, false},
        {"length +inf", 1, inf, false},         {"length -inf", 1, -inf, false},
        {"end overflows", 1e308, 1e308, false}, {"start before zero", -5, 0.3, true},
        {"negative length", 1, -3, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TimedWords words = spoken("Hello there.", 0) +
                                 TimedWords{{"odd", row.start, row.duration}} +
                                 spoken("General Kenobi.", 2);
        const Captions captions = CaptionMath::group(words, {});
        ASSERT_FALSE(captions.isEmpty());
        for (const Caption& c : captions) {
            EXPECT_TRUE(std::isfinite(c.start) && std::isfinite(c.end)) << c.start << " " << c.end;
            EXPECT_GE(c.start, 0);
            EXPECT_GE(c.end, c.start);
        }
        EXPECT_EQ(texts(captions).join(u' ').contains(QStringLiteral("odd")), row.kept);
        EXPECT_TRUE(texts(captions).join(u' ').contains(QStringLiteral("Kenobi.")));
    }
}

TEST(Group, EveryCaptionGetsItsOwnIdentifier) {
    const Captions captions = CaptionMath::group(spoken("One. Two. Three.", 0, 1.5), {});
    QSet<QUuid> ids;
    for (const Caption& caption : captions) {
        EXPECT_FALSE(caption.id.isNull());
        ids.insert(caption.id);
    }
    EXPECT_EQ(ids.size(), captions.size());
}

// --- group: speakers ---

struct SpeakerCase {
    const char* name;
    TimedWords words;
    Rules rules;
    PitchFunction pitch;
    bool markSpeakers;
    QStringList expected;
};

TEST(Group, SpeakerChanges) {
    const TimedWords yesIAgree = spoken("Yes.", 0) + spoken("I agree.", 0.6);
    const auto noAnswer = [](double, double) { return std::optional<double>(); };
    const std::vector<SpeakerCase> cases = {
        {"a new voice keeps short sentences apart",
         yesIAgree,
         {},
         pitchChangeAt(0.5, 120, 240),
         true,
         {"Yes.", ">> I agree."}},
        {"unmarked without markSpeakers",
         yesIAgree,
         {},
         pitchChangeAt(0.5, 120, 240),
         false,
         {"Yes.", "I agree."}},
        {"the same voice joins",
         yesIAgree,
         {},
         pitchChangeAt(0.5, 120, 130),
         true,
         {"Yes. I agree."}},
        {"a lower voice counts too",
         yesIAgree,
         {},
         pitchChangeAt(0.5, 240, 120),
         true,
         {"Yes.", ">> I agree."}},
        {"no answer, no change", yesIAgree, {}, noAnswer, true, {"Yes. I agree."}},
        // The stub "Yes." starts a new voice and is re-cut with the sentence after it: the first
        // of the new pieces keeps the mark.
        {"a re-cut stub keeps its mark",
         spoken("Hi there.", 0) + spoken("Yes.", 1.2, 0.3, 0.4) +
             spoken("aaaa bbbb cccc dddd ee.", 1.7),
         {14, 1},
         pitchChangeAt(1.0, 120, 240),
         true,
         {"Hi there.", ">> Yes. aaaa bbbb", "cccc dddd ee."}},
    };
    for (const SpeakerCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(texts(CaptionMath::group(c.words, c.rules, c.pitch, c.markSpeakers)), c.expected);
    }
}

TEST(Group, PitchIsComparedWithTheLastMeasuredSentence) {
    // One sentence every 2 s, far enough apart that none is measured with the next. Unusable
    // answers are skipped; each usable one becomes the reference for the next.
    const std::vector<std::optional<double>> answers = {100, std::nullopt, 0,  120,
                                                        145, 190,          -5, 150};
    TimedWords words;
    for (std::size_t i = 0; i < answers.size(); ++i)
        words += spoken(QStringLiteral("S%1.").arg(i), 2.0 * double(i));
    const PitchFunction pitch = [&](double from, double) { return answers[std::size_t(from / 2)]; };
    EXPECT_EQ(texts(CaptionMath::group(words, {}, pitch, true)),
              QStringList({"S0.", "S1.", "S2.", "S3.", "S4.", ">> S5.", "S6.", ">> S7."}));
}

TEST(Group, BriefSentencesAreMeasuredWithTheNext) {
    const TimedWords words =
        spoken("Yes.", 0) + spoken("I agree.", 0.6) + spoken("Right.", 3.0) + spoken("Sure.", 3.2);
    std::vector<std::pair<double, double>> spans;
    const PitchFunction pitch = [&](double from, double to) {
        spans.emplace_back(from, to);
        return std::optional<double>(150);
    };
    CaptionMath::group(words, {}, pitch);
    // "Yes." is shorter than 1 s and "I agree." starts 0.35 s after it; "Right." comes 1.85 s
    // after "I agree."; "Sure." starts before "Right." ends; the last has nothing after it.
    const std::vector<std::pair<double, double>> expected = {
        {0, words[2].end()}, {0.6, words[2].end()}, {3.0, words[4].end()}, {3.2, words[4].end()}};
    EXPECT_EQ(spans, expected);
}

TEST(Group, MeasuredVoicesMarkSpeakers) {
    const TimedWords words =
        TimedWords{{"Yes,", 0, 0.3}, {"I", 0.35, 0.3}, {"think", 0.7, 0.3}, {"so.", 1.05, 0.3}} +
        TimedWords{{"I", 1.6, 0.3}, {"agree.", 1.95, 0.3}};
    const std::vector<float> twoVoices = tones({{120, 1.45}, {200, 1.55}});
    const std::vector<float> oneVoice = tones({{200, 3.0}});
    const auto pitchOf = [](const std::vector<float>& samples) -> PitchFunction {
        return [&samples](double from, double to) {
            return VoicePitch::median(samples, rate, from, to);
        };
    };
    EXPECT_EQ(texts(CaptionMath::group(words, {}, pitchOf(twoVoices), true)),
              QStringList({"Yes, I think so.", ">> I agree."}));
    EXPECT_EQ(texts(CaptionMath::group(words, {}, pitchOf(oneVoice), true)),
              QStringList({"Yes, I think so. I agree."}));
}

// --- VoicePitch::median ---

struct PitchCase {
    const char* name;
    std::vector<std::pair<double, double>> segments; // (hertz, seconds); 0 Hz is silence
    double from;
    double to;
    std::optional<double> expected; // within 1 Hz
};

TEST(VoicePitch, MedianOfVoicedFrames) {
    const std::vector<PitchCase> cases = {
        {"silence", {{0, 1.0}}, 0, 1.0, std::nullopt},
        {"200 Hz", {{200, 1.0}}, 0, 1.0, 200},
        {"120 Hz", {{120, 1.0}}, 0, 1.0, 120},
        {"320 Hz", {{320, 1.0}}, 0, 1.0, 320},
        // 40 ms of frame and 1/70 s of lag need 868 samples.
        {"shorter than a frame and the longest lag", {{200, 1.0}}, 0, 0.05, std::nullopt},
        {"two frames are too few", {{200, 1.0}}, 0, 0.08, std::nullopt},
        {"three frames are enough", {{200, 1.0}}, 0, 0.1, 200},
        {"quiet frames are left out", {{200, 0.5}, {0, 0.5}}, 0, 1.0, 200},
        {"the span is clamped to the samples", {{200, 1.0}}, -1.0, 5.0, 200},
        {"a span after the samples", {{200, 1.0}}, 2.0, 3.0, std::nullopt},
        {"a reversed span", {{200, 1.0}}, 0.9, 0.1, std::nullopt},
    };
    for (const PitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> samples = tones(c.segments);
        const std::optional<double> pitch = VoicePitch::median(samples, rate, c.from, c.to);
        ASSERT_EQ(pitch.has_value(), c.expected.has_value());
        if (pitch) {
            EXPECT_NEAR(*pitch, *c.expected, 1.0);
        }
    }
}

TEST(VoicePitch, UnusableRatesGiveNothing) {
    const std::vector<float> samples = tones({{200, 1.0}});
    for (const double bad : {0.0, -16000.0, 10.0, std::nan(""), HUGE_VAL}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(VoicePitch::median(samples, bad, 0, 1).has_value());
    }
}

// --- Rules stored form ---

TEST(RulesJson, RoundTripWithExactKeys) {
    for (const Rules& rules : {Rules{}, Rules{30, 1, 4.5, 0.5, 1.25}}) {
        const QJsonObject json = rules.toJson();
        EXPECT_EQ(json.keys(), QStringList({"maxCharsPerLine", "maxDuration", "maxLines",
                                            "minDuration", "pauseSplit"}));
        EXPECT_EQ(Rules::fromJson(json), rules);
    }
}

TEST(RulesJson, MissingOrMistypedKeysFail) {
    const QJsonObject good = Rules{}.toJson();
    for (const QString& key : good.keys()) {
        SCOPED_TRACE(key.toStdString());
        QJsonObject missing = good;
        missing.remove(key);
        EXPECT_FALSE(Rules::fromJson(missing).has_value());
        QJsonObject text = good;
        text.insert(key, "2");
        EXPECT_FALSE(Rules::fromJson(text).has_value());
    }
    for (const char* key : {"maxCharsPerLine", "maxLines"}) {
        SCOPED_TRACE(key);
        QJsonObject fraction = good;
        fraction.insert(key, 2.5);
        EXPECT_FALSE(Rules::fromJson(fraction).has_value());
        QJsonObject huge = good;
        huge.insert(key, 1e10);
        EXPECT_FALSE(Rules::fromJson(huge).has_value());
    }
}

} // namespace
