#pragma once

#include "WhisperModel.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

// A model as a finished download leaves it in the models folder: a file of the catalog's size
// (sparse, so nothing is written) and its checked marker.
inline void installModel(const WhisperModel& model) {
    const QString folder = WhisperModels::folder();
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + u'/' + model.file);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(model.bytes));
    file.close();
    QFile marker(folder + u'/' + model.file + QStringLiteral(".verified"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write(model.sha256.toLatin1());
}
