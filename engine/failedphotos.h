// What watcher runs remember of photos whose rotation failed: a photo that made the rotation fail
// itself (damaged data, a picture jpegtran refuses, a result that does not check out, its size,
// its read-only mode) would fail the same way again, so watcher runs pass it by until it changes.
// A failure that lay elsewhere (the photo renamed or changed meanwhile, a tool that did not
// start, a full disk, its folder) says nothing about the photo and is not remembered: the photo
// is tried again whenever a watcher run comes to it, under whatever name.
#pragma once

#include <QSet>
#include <QString>

#include "engine/runevents.h"
#include "files/filestatus.h"

// Whether a rotation that failed for `reason` would fail again on the same bytes.
bool failureLiesInPhoto(const PhotoReason &reason);

class FailedPhotos {
public:
    // Remembers the photo as it stands (`photo`) when `reason` lies in its content.
    void noteFailure(const FileStatus &photo, const PhotoReason &reason);
    // Whether this very file failed before and has not changed since: same file, size,
    // modification time and mode.
    bool failedBefore(const FileStatus &photo) const;

private:
    QSet<QString> keys;
};
