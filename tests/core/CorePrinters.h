#pragma once

// GoogleTest printers for the core's value types, so that a failed comparison shows readable
// text (with line breaks and tabs escaped) instead of raw bytes.

#include "Caption.h"

#include <QString>
#include <ostream>
#include <string>

inline std::string escapedForTest(const QString& text) {
    std::string out = "\"";
    for (const char c : text.toStdString()) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            out += c;
        }
    }
    return out + '"';
}

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << escapedForTest(text);
}

inline void PrintTo(const Caption& caption, std::ostream* os) {
    os->precision(17);
    *os << "{" << caption.id.toString(QUuid::WithoutBraces).toStdString() << ", " << caption.start
        << ", " << caption.end << ", " << escapedForTest(caption.text) << "}";
}
