#pragma once

#include "Caption.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The per-media project files that keep a file's captions between sessions: one JSON array of
// captions ({"id","start","end","text"} in that order) per media file, named after the media
// file's identity. Pure apart from `folder()`, which creates the folder.
namespace LWProject {

// "<data folder>/Brindlecote/Lorowen Pro/Projects", created on every call (errors ignored).
QString folder();
// The project file of the media file the person chose (not a converted copy).
QString fileFor(const QString& originalMediaPath);

QByteArray encode(const Captions& captions);
// Nothing when the bytes are not an array of complete captions.
std::optional<Captions> decode(const QByteArray& bytes);

// Moves a project file that can't be read aside (same folder, ".damaged" plus a number when
// needed) so that the next write never replaces it. Returns the new path, or nothing.
std::optional<QString> setAside(const QString& path);

} // namespace LWProject
