#pragma once

#include "BCError.h"

#include <QString>
#include <functional>

// The sentence of the BCError that `work` throws, or "(no error)".
inline QString messageOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const BCError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}
