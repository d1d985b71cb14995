#pragma once

#include <QByteArray>
#include <QString>

namespace BCFiles {

// Writes bytes through a temporary file renamed into place, so an existing file is either
// replaced whole or left alone. Throws BCError with a sentence naming the file.
void writeAtomically(const QString& path, const QByteArray& bytes);

} // namespace BCFiles
