// Reading a photo's rotation angle from its EXIF orientation, and links to photo files.
#include "mainwindow/pivotta.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <exception>

#include "app/debuglog.h"
#include "exif/exifrecord.h"
#include "exif/orientation.h"
#include "mainwindow/outputtext.h"

int Pivotta::readRotationAngle(QString filePath, bool dotBeforeErrors) {
    PhotoBytes photo;
    if (!photo.open(filePath)) {
        qCDebug(lcPivotta) << "fail orientation" << filePath;
        return 0;
    }

    const auto progressDot = [&] {
        if (dotBeforeErrors)
            appendOutput(". ", false, true);
    };
    const auto reportExifError = [&](int code) {
        progressDot();
        appendOutputDetailed("<br>" + tr("Orientation: Error parsing EXIF: code %1, %2")
                                          .arg(QString::number(code), escapeHtml(filePath)),
                             true);
        return readRotationAngleWithImageReader(filePath);
    };

    ExifRecord exif;
    int result = ExifRecord::ExifNoJpeg;
    try {
        exif.reset();
        if (photo.fitsParser())
            result = exif.readJpeg(photo.data(), photo.size());
    } catch (...) {
        progressDot();
        return readRotationAngleWithImageReader(filePath);
    }
    if (result != ExifRecord::ExifOk)
        return reportExifError(result);

    const OrientationChoice choice = orientationChoice(exif.orientation);
    const QString value = QString::number(exif.orientation);
    switch (choice.kind) {
    case OrientationChoice::Rotate:
        return choice.angle;
    case OrientationChoice::AskImageReader:
        return reportExifError(0);
    case OrientationChoice::Mirrored:
        appendOutput(
            tr("File %1 has unusual orientation value %2 %3. If you need Pivotta to rotate "
               "this orientation too, please contact us by clicking the Feedback button.")
                .arg(fileLink(filePath, false, false), value, choice.mirrorWords));
        return 0;
    case OrientationChoice::Unknown:
        appendOutput(tr("File %1 has unknown orientation value %2 and is possibly corrupt. Please "
                        "contact us by clicking the Feedback button. We will likely need you to "
                        "send this image as a sample to diagnose what went wrong.")
                         .arg(fileLink(filePath, false, false), value));
        return 0;
    }
    return 0;
}

int Pivotta::readRotationAngleWithImageReader(QString filePath) {
    QImageReader reader(filePath);
    const QImage image = reader.read();
    if (image.isNull()) {
        if (!reader.canRead())
            qCDebug(lcPivotta) << "cant read";
        qCDebug(lcPivotta) << "fail orientation file read 2" << filePath;
        appendOutput(QString("%1; %2").arg(escapeHtml(reader.errorString()),
                                           fileLink(filePath, false, false)));
        return 0;
    }
    QString mirrorWords;
    const int angle = transformationAngle(reader.transformation(), &mirrorWords);
    if (!mirrorWords.isEmpty()) {
        appendOutput(tr("File %1 has unusual orientation value <b>%2</b>. If you expected these "
                        "operations to happen, please contact us by clicking the Feedback button.")
                         .arg(fileLink(filePath, false, false), mirrorWords));
    }
    return angle;
}

QString Pivotta::fileLink(QString filePath, bool showNativePath, bool showRelativePath) {
    QFileInfo info(filePath);
    info.makeAbsolute();
    const QString target = QUrl::fromLocalFile(info.filePath()).toString();
    QString text;
    if (showNativePath)
        text = QDir::toNativeSeparators(filePath);
    else if (!showRelativePath)
        text = QFileInfo(filePath).fileName();
    else
        text = QDir::toNativeSeparators(pathRelativeToFolder(filePath));
    return QString("<a style='color:#333' href='%1'>%2</a>")
        .arg(escapeHtml(target), escapeHtml(text));
}
