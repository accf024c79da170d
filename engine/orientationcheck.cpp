// From a photo's orientation to the turn it needs and the messages about it.
#include "engine/orientationcheck.h"

#include <QCoreApplication>

#include "engine/messagetext.h"
#include "exif/orientation.h"
#include "exif/orientationreader.h"

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
        return Turn::FlipHorizontal;
    case QImageIOHandler::TransformationFlip:
        return Turn::FlipVertical;
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
    OrientationCheck fromExifValue(uint32_t orientation);
    void reportExifError(int code);
    OrientationCheck fromImageReader(const OrientationReading &reading);
    OrientationCheck turnTo(Turn turn,
                            OrientationCheck::Finding finding = OrientationCheck::NeedsTurn);
    void progressDot();
    QString link() const { return fileLink(path, false, false, context.folder); }

    const QString path;
    const OrientationContext context;
    QList<OutputMessage> messages;
};

OrientationCheck Checker::run() {
    const OrientationReading reading = readOrientation(path);
    if (reading.status == OrientationReading::NotOpened)
        return {};
    if (reading.status == OrientationReading::FileChanged) {
        messages << OutputMessage::main(
            fileChangedMessage(fileLink(path, true, false, context.folder)));
        OrientationCheck check;
        check.finding = OrientationCheck::Changed;
        check.reason = tr("it changed while its orientation was being read");
        check.messages = messages;
        return check;
    }
    if (reading.exifDecides())
        return fromExifValue(reading.orientation);
    progressDot();
    if (!reading.parserThrew)
        reportExifError(reading.exifCode);
    return fromImageReader(reading);
}

OrientationCheck Checker::fromExifValue(uint32_t orientation) {
    const OrientationChoice choice = orientationChoice(orientation);
    OrientationCheck check;
    switch (choice.kind) {
    case OrientationChoice::Rotate:
        check = turnTo(turnForAngle(choice.angle));
        break;
    case OrientationChoice::AskImageReader:
        break; // not reached: such values leave the decision to the image reader
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

void Checker::reportExifError(int code) {
    messages << OutputMessage::detailed("<br>" + tr("Orientation: Error parsing EXIF: code %1, %2")
                                                     .arg(QString::number(code), escapeHtml(path)),
                                        true);
}

// The second route: the transformation the image reader finds in the photo's metadata.
OrientationCheck Checker::fromImageReader(const OrientationReading &reading) {
    OrientationCheck check;
    if (reading.imageReaderFailed) {
        messages << OutputMessage::main(
            QString("%1; %2").arg(escapeHtml(reading.imageReaderError), link()));
        check.finding = OrientationCheck::Unreadable;
        check.reason = reading.imageReaderError;
        check.messages = messages;
        return check;
    }
    QString mirrorWords;
    transformationAngle(reading.transformation, &mirrorWords);
    const Turn turn = turnForTransformation(reading.transformation);
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
