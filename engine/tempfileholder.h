// Pivotta's temporary files beside photos, held while in use and removed when stale.
//
// Every running Pivotta holds an advisory lock on each temporary file it works on, from its
// creation until the file has become the photo or been removed. jpegtran writes the file under
// its name, and exiv2 rewrites it in place (it keeps the inode), so the lock on the open file
// stays on the file they write. A batch's cleanup (files/heldtempfile.h, removeStaleTempFilesIn)
// removes only files whose name is one that siblingTempPath makes and whose lock it can take:
// files left by a Pivotta that was killed or logged out, never one that another Pivotta is
// writing.
#pragma once

#include <QString>
#include <QStringList>

// Whether `fileName` is one that siblingTempPath makes: ".NAME.pivotta-UUID.tmp".
bool isPivottaTempName(const QString &fileName);

// Creates a new, empty temporary file beside the photo under a siblingTempPath name and holds
// it: the lock is taken before anyone else can see the file as unheld. The file is removed when
// the holder goes out of scope, unless released.
class TempFileHolder {
public:
    explicit TempFileHolder(const QString &photoPath);
    ~TempFileHolder();
    TempFileHolder(const TempFileHolder &) = delete;
    TempFileHolder &operator=(const TempFileHolder &) = delete;

    bool isValid() const { return handle != invalidHandle; }
    QString path() const { return filePath; }
    QString errorString() const { return error; }

    // The file has taken the photo's place: it stays, and the lock goes.
    void release();

private:
    static constexpr qintptr invalidHandle = -1;
    bool create(const QString &candidate);
    void close();

    QString filePath;
    QString error;
    qintptr handle = invalidHandle;
};
