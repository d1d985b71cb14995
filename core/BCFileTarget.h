#pragma once

#include <QString>

// Where a file is written while it is made (an export, a converted copy, a WAV, any file saved
// whole): a temporary file in the destination's own folder (so the final move is a rename on one
// file system). `commit` moves it over the destination; the destructor removes it when it was not
// committed, so a failed or stopped write leaves the file that was already at the destination
// untouched, and never a half-written one in its place.
class BCFileTarget {
public:
    // Throws BCError when the destination's folder cannot take a new file. `temporaryName`, a
    // QTemporaryFile template in the destination's folder (with "XXXXXX"), names the temporary
    // file; by default it is hidden and named after the destination.
    explicit BCFileTarget(QString destination, const QString& temporaryName = {});
    ~BCFileTarget();
    BCFileTarget(const BCFileTarget&) = delete;
    BCFileTarget& operator=(const BCFileTarget&) = delete;

    // The temporary path to write; its extension is the destination's, so muxers that choose
    // by name see the right one.
    const QString& path() const { return m_temporary; }
    const QString& destination() const { return m_destination; }
    // Replaces the destination with the written file. Throws BCError when that fails; the
    // temporary file is removed then.
    void commit();

private:
    QString m_destination;
    QString m_temporary;
    bool m_committed = false;
};
