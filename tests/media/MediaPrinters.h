#pragma once

// GoogleTest printers for the Qt values the media tests compare, so a failure shows them.

#include "../core/CorePrinters.h"

#include <QSize>
#include <QTransform>
#include <QUrl>
#include <ostream>

inline void PrintTo(const QSize& size, std::ostream* os) {
    *os << size.width() << "x" << size.height();
}

inline void PrintTo(const QTransform& t, std::ostream* os) {
    *os << "[" << t.m11() << " " << t.m12() << " " << t.m21() << " " << t.m22() << " " << t.dx()
        << " " << t.dy() << "]";
}

inline void PrintTo(const QUrl& url, std::ostream* os) {
    *os << escapedForTest(url.toString());
}
