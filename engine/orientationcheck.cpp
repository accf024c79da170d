// From a photo's orientation to the turn it needs and the messages about it.
#include "engine/orientationcheck.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include "app/debuglog.h"
#include "engine/messagetext.h"
#include "exif/exifrecord.h"
#include "exif/orientation.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

Turn turnForTransformation(QImageIOHandler::Transformations transformation) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationRotate90:
        return Turn::Rotate90;
    case QImageIOHandler::TransformationRotate180:
        return Turn::Rotate180;
    case QImageIOHandler::TransformationRotate270:
        return Turn::Rotate270;
    case QImageIOHandler::TransformationMirror:
        return Turn::MirrorHorizontal;
    case QImageIOHandler::TransformationFlip:
        return Turn::MirrorVertical;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return Turn::Transpose;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return Turn::Transverse;
    default:
        return Turn::None;
    }
}

class Checker {
public:
    Checker(const QString &photoPath, const OrientationContext &checkContext)
        : path(photoPath)
        , context(checkContext) {}

    OrientationCheck run();

private:
    OrientationCheck fromExifValue(uint16_t orientation);
    OrientationCheck exifError(int code);
    OrientationCheck withImageReader();
    OrientationCheck turnTo(Turn turn,
                            OrientationCheck::Finding finding = OrientationCheck::NeedsTurn);
    void progressDot();
    QString link() const { return fileLink(path, false, false, context.folder); }

    const QString path;
    const OrientationContext context;
    QList<OutputMessage> messages;
};

OrientationCheck Checker::run() {
    PhotoBytes photo;
    if (!photo.open(path)) {
        qCDebug(lcPivotta) << "fail orientation" << path;
        return {};
    }
    ExifRecord exif;
    int result = ExifRecord::ExifNoJpeg;
    try {
        exif.reset();
        if (photo.fitsParser())
            result = exif.readJpeg(photo.data(), photo.size());
    } catch (...) {
        progressDot();
        return withImageReader();
    }
    if (result != ExifRecord::ExifOk)
        return exifError(result);
    return fromExifValue(exif.orientation);
}

OrientationCheck Checker::fromExifValue(uint16_t orientation) {
    const OrientationChoice choice = orientationChoice(orientation);
    OrientationCheck check;
    switch (choice.kind) {
    case OrientationChoice::Rotate:
        check = turnTo(turnForAngle(choice.angle));
        break;
    case OrientationChoice::AskImageReader:
        return exifError(0);
    case OrientationChoice::Mirrored:
        if (context.fixMirrored) {
            check = turnTo(turnForOrientation(orientation));
            break;
        }
        messages << OutputMessage::main(
            tr("File %1 has unusual orientation value %2 %3. If you need Pivotta to rotate this "
               "orientation too, turn on \"%4\" in Preferences.")
                .arg(link(), QString::number(orientation), choice.mirrorWords,
                     tr("Also turn mirrored photos upright")));
        check.finding = OrientationCheck::Mirrored;
        check.reason = tr("mirrored orientation %1").arg(orientation);
        break;
    case OrientationChoice::Unknown:
        messages << OutputMessage::main(
            tr("File %1 has unknown orientation value %2 and is possibly corrupt. Please contact "
               "us by clicking the Feedback button. We will likely need you to send this image as "
               "a sample to diagnose what went wrong.")
                .arg(link(), QString::number(orientation)));
        check.finding = OrientationCheck::Unknown;
        check.reason = tr("unknown orientation value %1, possibly corrupt").arg(orientation);
        break;
    }
    check.orientation = orientation;
    check.messages = messages;
    return check;
}

OrientationCheck Checker::exifError(int code) {
    progressDot();
    messages << OutputMessage::detailed("<br>" + tr("Orientation: Error parsing EXIF: code %1, %2")
                                                     .arg(QString::number(code), escapeHtml(path)),
                                        true);
    return withImageReader();
}

// The second route asks the image reader for the transformation the photo's metadata requests.
OrientationCheck Checker::withImageReader() {
    QImageReader reader(path);
    const QImage image = reader.read();
    OrientationCheck check;
    if (image.isNull()) {
        if (!reader.canRead())
            qCDebug(lcPivotta) << "cant read";
        qCDebug(lcPivotta) << "fail orientation file read 2" << path;
        messages << OutputMessage::main(
            QString("%1; %2").arg(escapeHtml(reader.errorString()), link()));
        check.finding = OrientationCheck::Unreadable;
        check.reason = reader.errorString();
        check.messages = messages;
        return check;
    }
    QString mirrorWords;
    transformationAngle(reader.transformation(), &mirrorWords);
    const Turn turn = turnForTransformation(reader.transformation());
    if (!isMirroring(turn) || context.fixMirrored)
        return turnTo(turn);
    messages << OutputMessage::main(
        tr("File %1 has unusual orientation value <b>%2</b>. If you need Pivotta to rotate this "
           "orientation too, turn on \"%3\" in Preferences.")
            .arg(link(), mirrorWords, tr("Also turn mirrored photos upright")));
    check.finding = OrientationCheck::Mirrored;
    check.reason = tr("mirrored orientation (%1)").arg(mirrorWords.mid(2));
    check.messages = messages;
    return check;
}

OrientationCheck Checker::turnTo(Turn turn, OrientationCheck::Finding finding) {
    OrientationCheck check;
    check.turn = turn;
    check.finding = turn == Turn::None ? OrientationCheck::Upright : finding;
    check.messages = messages;
    return check;
}

void Checker::progressDot() {
    if (context.dotBeforeErrors)
        messages << OutputMessage::mark(". ");
}
} // namespace

OrientationCheck checkOrientation(const QString &photoPath, const OrientationContext &context) {
    return Checker(photoPath, context).run();
}
