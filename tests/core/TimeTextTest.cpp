#include "BCTime.h"
#include "CaptionMath.h"
#include "CorePrinters.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// --- BCTime::clock ---

struct ClockCase {
    double seconds;
    const char* plain;
    const char* tenths;
};

TEST(Clock, FormatsCutsAndClamps) {
    const std::vector<ClockCase> cases = {
        {0, "0:00", "0:00.0"},
        {65.97, "1:05", "1:05.9"},
        {3725.25, "1:02:05", "1:02:05.2"},
        {600, "10:00", "10:00.0"},
        // Cut, never carried into the next second or minute.
        {59.99, "0:59", "0:59.9"},
        {3599, "59:59", "59:59.0"},
        {3599.99, "59:59", "59:59.9"},
        {3600, "1:00:00", "1:00:00.0"},
        {2.3, "0:02", "0:02.3"},
        {360000, "100:00:00", "100:00:00.0"},
        // Bad times read as zero.
        {-0.0, "0:00", "0:00.0"},
        {-1, "0:00", "0:00.0"},
        {-inf, "0:00", "0:00.0"},
        {inf, "0:00", "0:00.0"},
        {nan, "0:00", "0:00.0"},
        // Huge times saturate at 64-bit seconds (tenths) instead of overflowing.
        {1e300, "2562047788015215:30:07", "256204778801521:33:00.7"},
        {std::numeric_limits<double>::max(), "2562047788015215:30:07", "256204778801521:33:00.7"},
    };
    for (const ClockCase& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(BCTime::clock(c.seconds, false), QString::fromLatin1(c.plain));
        EXPECT_EQ(BCTime::clock(c.seconds, true), QString::fromLatin1(c.tenths));
    }
}

// --- CaptionMath::stamp ---

struct StampCase {
    double seconds;
    char separator;
    const char* expected;
};

TEST(Stamp, FormatsRoundsAndClamps) {
    const std::vector<StampCase> cases = {
        {0, '.', "00:00:00.000"},
        {62.5, '.', "00:01:02.500"},
        {62.5, ',', "00:01:02,500"},
        {3599.9996, '.', "01:00:00.000"},
        {1.0005, ',', "00:00:01,001"},
        {0.0004, ',', "00:00:00,000"},
        {-0.0004, ',', "00:00:00,000"},
        {-3, '.', "00:00:00.000"},
        {360000, '.', "100:00:00.000"},
        {inf, '.', "00:00:00.000"},
        {-inf, '.', "00:00:00.000"},
        {nan, ',', "00:00:00,000"},
        // Huge times saturate at 64-bit milliseconds instead of overflowing.
        {1e300, '.', "2562047788015:12:55.807"},
        {9.3e15, ',', "2562047788015:12:55,807"},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(CaptionMath::stamp(c.seconds, QChar::fromLatin1(c.separator)),
                  QString::fromLatin1(c.expected));
    }
}

// --- CaptionMath::parse ---

struct ParseCase {
    const char* text;
    std::optional<double> expected;
};

TEST(Parse, ReadsSecondsMinutesAndHours) {
    const std::vector<ParseCase> cases = {
        {"00:01:02.500", 62.5},
        {"00:01:02,500", 62.5},
        {"1:02.5", 62.5},
        {"62.5", 62.5},
        {"62,5", 62.5},
        {"75:00", 4500},
        {" \t1:02\t ", 62},
        {"5", 5},
        {"0", 0},
        {"0:5", 5},
        {".5", 0.5},
        {"5.", 5},
        {"1:02:03", 3723},
        {"24:00:00", 86400},
        {"100:00:00,000", 360000},
        {"00:59.999", 59.999},
        {"00:00:59.75", 59.75},
        // A single piece is any number of seconds.
        {"7200", 7200},
        // The largest hour count whose milliseconds still fit in 64 bits.
        {"2562047788015:00:00", 9223372036854000.0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CaptionMath::parse(QString::fromUtf8(c.text)), c.expected);
    }
}

TEST(Parse, RefusesMalformedText) {
    const std::vector<const char*> cases = {
        "",
        " \t ",
        "1:60",
        "00:60:00",
        "1:59:60",
        "1.5:00",
        "1::2",
        ":5",
        "5:",
        "1:2:3:4",
        "1: 2",
        "1 2",
        "1.2.3",
        "-1",
        "1:-2",
        "abc",
        "1:2a",
        "٣", // Arabic-Indic digit three: only ASCII digits count
        // Only plain decimal digits: no exponent, sign, infinity, not-a-number or hexadecimal.
        "1e3",
        "1E3",
        "2.5e-1",
        "inf",
        "infinity",
        "nan",
        "NaN",
        "0x10",
        "+5",
        "0:+5",
        // Totals whose milliseconds do not fit in 64 bits.
        "9999999999999999999",
        "2562047788016:00:00",
        "99999999999999999999999:00:00",
        // Regression: a final line feed slipped through the digit pattern (its "$" matches before
        // one) and was then skipped by the number conversion. Line breaks are never trimmed.
        "\n5",
        "5\n",
        "1:02\n",
        "5\r",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CaptionMath::parse(QString::fromUtf8(text)), std::nullopt);
    }
}

// The stamp of a time reads back as the same time to the millisecond, with either separator.
TEST(Parse, InvertsStampToTheMillisecond) {
    std::vector<double> times = {0,      0.0004,    0.0005,    1.0005,    59.9995,
                                 62.345, 3599.9996, 86399.999, 360000.123};
    for (int i = 0; i < 5000; ++i)
        times.push_back(i * 7.3197 + i * 0.0001 * i); // spread over about eleven hours
    for (const double t : times) {
        for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
            const QString text = CaptionMath::stamp(t, separator);
            const std::optional<double> back = CaptionMath::parse(text);
            ASSERT_TRUE(back.has_value()) << text.toStdString();
            EXPECT_LE(std::abs(*back - t), 0.0005 + 1e-9) << text.toStdString();
            EXPECT_EQ(CaptionMath::stamp(*back, separator), text);
        }
    }
}

// --- CaptionMath::active ---

TEST(Active, FindsTheFirstCaptionShowing) {
    const Captions captions = {
        Caption::make(0, 2, "A"),
        Caption::make(2, 4, "B"),
        Caption::make(5, 6, "C"),
        Caption::make(5.5, 7, "D"),
    };
    const std::vector<std::pair<double, std::optional<qsizetype>>> cases = {
        {-1, std::nullopt},
        {0, 0},
        {1.999, 0},
        {2, 1},            // A's end is B's start
        {4, std::nullopt}, // B's end, nothing starts there
        {4.5, std::nullopt},
        {5.5, 2}, // overlap: the earlier in the list wins
        {6, 3},
        {7, std::nullopt},
        {nan, std::nullopt},
    };
    for (const auto& [t, expected] : cases) {
        SCOPED_TRACE(t);
        EXPECT_EQ(CaptionMath::active(captions, t), expected);
    }
    EXPECT_EQ(CaptionMath::active({}, 1), std::nullopt);
}

} // namespace
