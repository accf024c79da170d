// Orientation tables and photo bytes for the EXIF parser.
#include "exif/orientation.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <limits>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

// The parser reads a photo's head and its end marker, seldom more. Without a hint the kernel reads
// a whole window around each page fault, which with a large read-ahead setting is the whole photo
// (as slow as reading it all while the photo is not cached); with it, only the pages the parser
// touches are read, the head and the end asked for at once. A hint only: the bytes are the same.
void adviseHeadAndEndAccess(uchar *mapped, qint64 length) {
#ifdef Q_OS_UNIX
    const size_t size = size_t(length);
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    madvise(mapped, size, MADV_RANDOM);
    madvise(mapped, qMin(size, page), MADV_WILLNEED);
    const size_t endPage = (size - 1) / page * page;
    madvise(mapped + endPage, size - endPage, MADV_WILLNEED);
#else
    Q_UNUSED(mapped)
    Q_UNUSED(length)
#endif
}
} // namespace

OrientationChoice orientationChoice(uint16_t orientation) {
    switch (orientation) {
    case 1:
        return {OrientationChoice::Rotate, 0, {}};
    case 3:
        return {OrientationChoice::Rotate, 180, {}};
    case 6:
        return {OrientationChoice::Rotate, 90, {}};
    case 8:
        return {OrientationChoice::Rotate, 270, {}};
    case 2:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal")};
    case 4:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror vertical")};
    case 5:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal, rotate 270 CW")};
    case 7:
        return {OrientationChoice::Mirrored, 0, tr(", Mirror horizontal, rotate 90 CW")};
    case 0:
    case 9:
        return {OrientationChoice::AskImageReader, 0, {}};
    default:
        return {OrientationChoice::Unknown, 0, {}};
    }
}

int transformationAngle(QImageIOHandler::Transformations transformation, QString *mirrorWords) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationRotate180:
        return 180;
    case QImageIOHandler::TransformationRotate90:
        return 90;
    case QImageIOHandler::TransformationRotate270:
        return 270;
    case QImageIOHandler::TransformationMirror:
        *mirrorWords = tr(", Mirror horizontal");
        return 0;
    case QImageIOHandler::TransformationFlip:
        *mirrorWords = tr(", Mirror vertical");
        return 0;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        *mirrorWords = tr(", Mirror horizontal, rotate 90 degrees");
        return 0;
    case QImageIOHandler::TransformationFlipAndRotate90:
        *mirrorWords = tr(", Mirror vertical, rotate 90 degrees");
        return 0;
    default:
        return 0;
    }
}

bool PhotoBytes::open(const QString &filePath) {
    if (filePath.isEmpty() || !QFileInfo(filePath).isFile())
        return false;
    file = new QFile(filePath);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    length = file->size();
    if (length == 0 || !fitsParser())
        return true;
    if (uchar *mapped = file->map(0, length)) {
        adviseHeadAndEndAccess(mapped, length);
        bytes = mapped;
        return true;
    }
    readCopy = file->readAll();
    length = readCopy.size();
    bytes = reinterpret_cast<const unsigned char *>(readCopy.constData());
    return true;
}

PhotoBytes::~PhotoBytes() {
    delete file; // closing the file also unmaps it
}

bool PhotoBytes::fitsParser() const {
    return length <= qint64(std::numeric_limits<uint32_t>::max());
}
