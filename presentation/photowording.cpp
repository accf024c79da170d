// The words of photo steps and outcomes.
#include "presentation/photowording.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <limits>

#include "engine/orientationreader.h"
#include "exif/orientation.h"
#include "jpeg/photoassembly.h"
#include "jpeg/photopictures.h"
#include "jpeg/turn.h"
#include "presentation/messagetext.h"
#include "presentation/panecolors.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

QString trCount(const char *text, int count) {
    return QCoreApplication::translate("Pivotta", text, "", count);
}

QString nativePath(const QString &path) {
    return escapeHtml(QDir::toNativeSeparators(path));
}

// The photo as most messages link it: its path in native separators.
QString pathLink(const PhotoRef &photo, const PaneColors &colors) {
    return fileLink(photo.path, true, false, photo.folder, colors.link);
}

QString nameLink(const PhotoRef &photo, const PaneColors &colors) {
    return fileLink(photo.path, false, false, photo.folder, colors.link);
}

QString shownPath(const PhotoRef &photo) {
    return escapeHtml(photo.path);
}

QString shownFile(const PhotoRef &photo) {
    return escapeHtml(photo.file);
}

// The detailed pane's note about a photo: its path, then `note` (rich text). The span keeps the
// pane from taking the escaped path as plain text, which would show "&amp;" for "&".
OutputMessage photoNote(const PhotoRef &photo, const QString &note) {
    return OutputMessage::detailed("<span>" + shownPath(photo) + ": " + note + "</span>", false);
}

QString toolOutput(const ToolTrace &tool, const PaneColors &colors) {
    return toolOutputHtml(tool.standardOutput, tool.standardError, colors.toolErrors);
}

// QProcess's numbers for the errors, as the messages have always shown them.
QString startError(const char *text, QProcess::ProcessError error) {
    return tr(text).arg(int(error));
}

// "Mirror horizontal" and so on: the orientation's words, without the ", " that joins them to a
// value.
QString mirrorWordsOf(const OrientationCheck &check) {
    QString words;
    if (check.askedImageReader)
        transformationAngle(check.transformation, &words);
    else
        words = orientationChoice(uint32_t(check.orientation)).mirrorWords;
    if (words.startsWith(QLatin1String(", ")))
        words.remove(0, 2);
    return words;
}

// ---- Steps ----

QList<OutputMessage> exifUnusableMessages(const PhotoStep &step) {
    QList<OutputMessage> messages;
    if (step.inUserBatch)
        messages << OutputMessage::progressMark(tr("Photos without usable EXIF orientation:"));
    if (!step.check.parserThrew) {
        messages << OutputMessage::detailed(
            "<br>" + tr("Orientation: Error parsing EXIF: code %1, %2")
                         .arg(QString::number(step.check.exifCode), shownPath(step.photo)),
            true);
    }
    return messages;
}

QList<OutputMessage> timeReadMessages(const PhotoStep &step) {
    const QFileInfo photo(step.photo.path);
    const QString time = step.time.toString();
    QList<OutputMessage> messages;
    if (step.restoring) {
        messages << OutputMessage::main("<br><br>" + tr("Reading original modification date for ") +
                                            escapeHtml(photo.fileName()) + ": " + time,
                                        true);
    }
    messages << OutputMessage::detailed("<br>" + escapeHtml(photo.absoluteFilePath()) + ": " +
                                            tr("Reading original modification date ") + time,
                                        false);
    return messages;
}

QList<OutputMessage> edgesTrimmedMessages(const PhotoStep &step, const PaneColors &colors) {
    if (step.trim.isNone()) {
        return {photoNote(step.photo, tr("no edge pixels dropped."))};
    }
    const QString text = edgeTrimText(step.trim);
    return {OutputMessage::main(tr("%1: %2").arg(
                fileLink(step.photo.path, false, true, step.photo.folder, colors.link),
                escapeHtml(text))),
            photoNote(step.photo, escapeHtml(text))};
}

// "its gain map (picture 2, 400x300 pixels)", "its picture 3 (320x240 pixels)"
QString furtherPictureText(int picture, bool gainMap, const PictureFrame &frame) {
    const QString size = tr("%1x%2 pixels").arg(frame.width).arg(frame.height);
    if (gainMap)
        return tr("its gain map (picture %1, %2)").arg(picture).arg(size);
    return tr("its picture %1 (%2)").arg(picture).arg(size);
}

QList<OutputMessage> pictureReencodedMessages(const PhotoStep &step, const PaneColors &colors) {
    const QString picture = furtherPictureText(step.picture, step.gainMap, step.frame);
    const QString why = imperfectionReason(step.frame);
    const QString text =
        tr("%1 was encoded anew at quality %2 so that it keeps its shape: no lossless turn keeps "
           "it whole, as %3.")
            .arg(picture)
            .arg(step.quality)
            .arg(why);
    return {OutputMessage::main(tr("%1: %2").arg(
                fileLink(step.photo.path, false, true, step.photo.folder, colors.link),
                escapeHtml(text))),
            photoNote(step.photo, escapeHtml(text))};
}

QList<OutputMessage> orientationToolMessages(const PhotoStep &step, const PaneColors &colors) {
    QList<OutputMessage> messages;
    if (step.tool.ending == ToolResult::Crashed)
        messages << OutputMessage::main(
            startError("Clear orientation start error  %1 ", QProcess::Crashed));
    messages << OutputMessage::detailed(toolOutput(step.tool, colors), false);
    return messages;
}

// The EXIF date as exiv2 read it; its output was shown with the orientation it read.
QList<OutputMessage> fileTimeFromExifMessages(const PhotoStep &step) {
    switch (step.exifTime) {
    case PhotoStep::ExifDateMissing:
        return {
            OutputMessage::main(tr("Couldn't restore file modification date; EXIF date missing."))};
    case PhotoStep::TimeNotSet:
        return {OutputMessage::main(
            tr("<br>Failed restoring file modification date from EXIF date field for:<br>%1<br>"
               "This is likely because the file does not have a value in the EXIF date field.")
                .arg(shownFile(step.photo)))};
    case PhotoStep::TimeSet:
        return {OutputMessage::detailed(
            "<span>" + shownFile(step.photo) + " " +
                tr("Restored file date to EXIF date value: %1.").arg(step.time.toString()) +
                "</span>",
            true)};
    }
    return {};
}

QList<OutputMessage> fileTimeRestoredMessages(const PhotoStep &step) {
    const QString time = step.time.toString();
    return {OutputMessage::detailed(
                "<span>" + shownFile(step.photo) + " " +
                    tr("Restored file date to original date value: %1").arg(time) + "</span>",
                true),
            OutputMessage::main("\n" + tr("Restored file date to original date value for %1: %2")
                                           .arg(shownFile(step.photo), time),
                                true)};
}

// ---- Reasons ----

// jpegtran's failure as the user reads it: what it means, and jpegtran's own words where they
// say more.
QString jpegtranFailureText(const PhotoReason &reason) {
    switch (reason.jpegtran) {
    case JpegtranOutcome::Truncated:
        return tr("the photo ends too early (it may be incomplete)");
    case JpegtranOutcome::Failed:
    case JpegtranOutcome::Warning:
        if (!reason.toolSays.isEmpty())
            return jpegtranOutcomeText(reason.jpegtran) + ": " + reason.toolSays;
        break;
    default:
        break;
    }
    return jpegtranOutcomeText(reason.jpegtran);
}

QString finishedProblemText(const PhotoReason &reason) {
    switch (reason.finishedProblem) {
    case PhotoReason::Incomplete:
        return tr("it is not complete");
    case PhotoReason::PicturesLost:
        return tr("its pictures can no longer be told apart");
    case PhotoReason::OrientationLeft:
        return tr("exiv2 reads an orientation that is not upright: %1").arg(reason.error);
    }
    return {};
}

// "picture 2" of a photo: the further pictures after the main one, counted with it.
QString pictureText(int picture) {
    return tr("picture %1").arg(picture);
}

QString picturesProblemText(const PhotoReason &reason) {
    const QString detail = reason.error.isEmpty() ? QString() : " (" + reason.error + ")";
    switch (reason.pictures) {
    case PicturesProblem::PrimaryIncomplete:
        return tr("its main picture is not complete") + detail;
    case PicturesProblem::IndexUnreadable:
        return tr("its multi-picture index cannot be read");
    case PicturesProblem::ContainerUnreadable:
        return tr("the list of pictures in its XMP data cannot be read");
    case PicturesProblem::OutsideFile:
        return tr("its %1 lies outside the file").arg(pictureText(reason.picture));
    case PicturesProblem::Overlapping:
        return tr("two of its pictures overlap");
    case PicturesProblem::Disagreeing:
        return tr("its multi-picture index and its XMP data place its %1 differently")
            .arg(pictureText(reason.picture));
    case PicturesProblem::NotJpeg:
        return tr("its %1 is not a whole JPEG picture").arg(pictureText(reason.picture)) + detail;
    case PicturesProblem::None:
        break;
    }
    return reason.error;
}

QString assemblyProblemText(const PhotoReason &reason) {
    const QString detail = reason.error.isEmpty() ? QString() : " (" + reason.error + ")";
    switch (reason.assembly) {
    case AssemblyProblem::PrimaryIncomplete:
    case AssemblyProblem::PictureIncomplete:
        return tr("its turned %1 is not complete").arg(pictureText(std::max(1, reason.picture))) +
               detail;
    case AssemblyProblem::IndexLost:
        return tr("the turned main picture lost the multi-picture index");
    case AssemblyProblem::ContainerLost:
        return tr("the turned main picture lost the list of pictures in its XMP data");
    case AssemblyProblem::NoRoomInXmp:
        return tr("the new picture sizes do not fit into its XMP data");
    case AssemblyProblem::TooLarge:
        return tr("its pictures are too large for its multi-picture index");
    default:
        break;
    }
    return reason.error;
}

QString damagedImageDataText(const PhotoReason &reason) {
    return tr("its image data is damaged: a marker FF %1 stands inside it, at byte %2")
        .arg(QString::number(reason.marker, 16).toUpper())
        .arg(reason.at);
}

QString timeoutNote(const PhotoReason &reason) {
    if (!reason.timeoutScaled)
        return {};
    return " " + tr("(The time allowed grows with the size of the picture: %1 megapixels, %2 "
                    "photo(s) rotated at once.)")
                     .arg(QString::number(double(reason.pixels) / 1e6, 'f', 1))
                     .arg(reason.photosAtOnce);
}

QString notLosslessText(const PhotoReason &reason) {
    return reason.error.isEmpty() ? tr("its picture differs") : reason.error;
}

QList<OutputMessage> jpegtranFailureMessages(const PhotoOutcome &outcome,
                                             const PaneColors &colors) {
    const PhotoReason &reason = outcome.reason;
    const QString link =
        reason.picture > 1
            ? tr("%1 of %2").arg(pictureText(reason.picture), pathLink(outcome.photo, colors))
            : pathLink(outcome.photo, colors);
    if (reason.jpegtran == JpegtranOutcome::Crashed)
        return {OutputMessage::main(tr("Not rotated, jpegtran crashed") + ": " + link)};
    QList<OutputMessage> messages{OutputMessage::main(tr("Oops, jpegtran says: Failure")),
                                  OutputMessage::detailedRaw(toolOutput(reason.tool, colors))};
    if (reason.jpegtran == JpegtranOutcome::Truncated) {
        messages << OutputMessage::main(
            tr("The photo ends too early (it may be incomplete), so its rotated version would "
               "be damaged. %1 was left unchanged.")
                .arg(link));
    } else if (reason.jpegtran == JpegtranOutcome::NotPerfect) {
        if (!reason.perfectRequired)
            return messages;
        // The refusal is about the photo's size, not its metadata, whatever the option's name.
        const QString size = imperfectionReason(reason.frame);
        if (size.isEmpty())
            messages << OutputMessage::main(tr("This error is due to non-standard metadata."));
        else
            messages << OutputMessage::main(
                tr("This error is due to the photo's size: %1.").arg(escapeHtml(size)));
        messages << OutputMessage::main(
            tr("Uncheck the option \"%1\" in Preferences to rotate also files with such "
               "metadata.")
                .arg(tr("Require perfect metadata for rotation")));
    } else {
        messages << OutputMessage::main(tr("Not rotated: %1 (%2). The photo was left unchanged.")
                                            .arg(link, escapeHtml(jpegtranFailureText(reason))));
    }
    return messages;
}

QList<OutputMessage> orientationNotResetMessages(const PhotoOutcome &outcome,
                                                 const PaneColors &colors) {
    QList<OutputMessage> messages;
    switch (outcome.reason.tool.ending) {
    case ToolResult::FailedToStart:
        messages << OutputMessage::main(
                        startError("Clear orientation start error  %1 ", QProcess::FailedToStart))
                 << OutputMessage::main(tr("Failed clearing EXIF orientation metadata."));
        break;
    case ToolResult::TimedOut:
        messages << OutputMessage::main(tr("Failed clearing EXIF orientation metadata (unable to "
                                           "detect successful finish)."));
        break;
    default:
        messages << OutputMessage::main(tr("Failed clearing EXIF orientation metadata."));
        break;
    }
    messages << OutputMessage::main(
        tr("%1 was left unchanged, so that it is not turned a second time later.")
            .arg(fileLink(outcome.photo.file, true, false, outcome.photo.folder, colors.link)));
    return messages;
}

// The main pane's line for a reason that needs no more than one; empty for those that need more
// or none.
QString reasonLine(const PhotoOutcome &outcome, const PaneColors &colors) {
    const PhotoReason &reason = outcome.reason;
    const QString link = pathLink(outcome.photo, colors);
    switch (reason.kind) {
    case PhotoReason::MirroredOrientation:
        if (reason.check.askedImageReader) {
            return tr("File %1 has unusual orientation value <b>%2</b>. If you need Pivotta to "
                      "rotate this orientation too, turn on \"%3\" in Preferences.")
                .arg(nameLink(outcome.photo, colors), mirrorWordsOf(reason.check),
                     tr("Also turn mirrored photos upright"));
        }
        return tr("File %1 has unusual orientation value %2, %3. If you need Pivotta to rotate "
                  "this orientation too, turn on \"%4\" in Preferences.")
            .arg(nameLink(outcome.photo, colors), QString::number(reason.check.orientation),
                 mirrorWordsOf(reason.check), tr("Also turn mirrored photos upright"));
    case PhotoReason::UnknownOrientation:
        return tr("File %1 has unknown orientation value %2 and is possibly corrupt. Please "
                  "contact us by clicking the Feedback button. We will likely need you to send "
                  "this image as a sample to diagnose what went wrong.")
            .arg(nameLink(outcome.photo, colors), QString::number(reason.check.orientation));
    case PhotoReason::Unreadable:
        return QString("%1; %2").arg(escapeHtml(reason.check.readerError),
                                     nameLink(outcome.photo, colors));
    case PhotoReason::ChangedWhileRead:
        return fileChangedMessage(link);
    case PhotoReason::AlreadyInWork:
        return tr("Not rotated now: %1 is already being rotated.").arg(link);
    case PhotoReason::FailedBefore:
        return tr("Not rotated: %1 could not be rotated before and has not changed since. It is "
                  "tried again once it changes.")
            .arg(link);
    case PhotoReason::Stopped:
        return tr("Stopped before %1 was rotated. The photo was left unchanged.").arg(link);
    case PhotoReason::ChangedWhileExamined:
        return tr("Not rotated: %1 changed while it was being examined. It was left as it is now.")
            .arg(link);
    case PhotoReason::StillBeingWritten:
        return tr("Not rotated now: %1 is still being written by another program. It was left "
                  "as it is.")
            .arg(link);
    case PhotoReason::InUse:
        return tr("Not rotated now: %1 is in use by another program. It was left as it is.")
            .arg(link);
    case PhotoReason::TooLarge:
        return tr("Not rotated: %1 is larger than any photo Pivotta turns (%2 MB). It was left "
                  "unchanged.")
            .arg(link, QString::number(reason.size >> 20));
    case PhotoReason::NoLongerThere:
        return tr("Not rotated: %1 is no longer there.").arg(link);
    case PhotoReason::NotAFile:
        return tr("Not rotated: %1 is not a file.").arg(link);
    case PhotoReason::ReadOnly:
        return tr("Not rotated: %1 is read-only. Pivotta leaves read-only photos as they are.")
            .arg(link);
    case PhotoReason::FolderReadOnly:
        return tr("Not rotated: the folder of %1 is read-only, so the rotated photo cannot be "
                  "saved there. The photo was left unchanged.")
            .arg(link);
    case PhotoReason::Protected:
        return tr("Not rotated: %1 cannot be replaced (%2). The photo was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::HardLinks:
        if (!reason.otherName.isEmpty())
            return tr("Not rotated: %1 has %2 names (hard links); another is %3. Rotating it "
                      "would give only this name the rotated photo, so it was left unchanged.")
                .arg(link, QString::number(reason.count), nativePath(reason.otherName));
        return tr("Not rotated: %1 has %2 names (hard links). Rotating it would give only this "
                  "name the rotated photo, so it was left unchanged.")
            .arg(link, QString::number(reason.count));
    case PhotoReason::OwnerNotGivable:
        return tr("Not rotated: %1 belongs to %2, and Pivotta may not give the rotated photo "
                  "that owner. It was left unchanged.")
            .arg(link, escapeHtml(reason.owner));
    case PhotoReason::NotRead:
        return tr("Not rotated: %1 could not be read (%2). It was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::PicturesUnreadable:
        return tr("Not rotated: the pictures in %1 cannot be told apart for sure (%2). The photo "
                  "was left unchanged.")
            .arg(link, escapeHtml(picturesProblemText(reason)));
    case PhotoReason::DamagedImageData:
        return tr("Not rotated: %1 cannot be turned losslessly, as %2. The photo was left "
                  "unchanged.")
            .arg(link, escapeHtml(damagedImageDataText(reason)));
    case PhotoReason::NoTempFile:
        return tr("Not rotated: no temporary file could be made beside %1 (%2). The photo was "
                  "left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::NotWritten:
        if (reason.diskFull)
            return tr("Not rotated: the disk is full, so the rotated version of %1 could not be "
                      "written (%2). The photo was left unchanged.")
                .arg(link, escapeHtml(reason.error));
        return tr("Not rotated: the rotated version of %1 could not be written (%2). The photo "
                  "was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::ToolNotStarted:
        return tr("Not rotated: %1 could not be started for %2 (%3).")
            .arg(reason.toolName, link, escapeHtml(reason.error));
    case PhotoReason::ToolTimedOut:
        return tr("Not rotated: %1 did not finish within %2 seconds and was stopped. %3 was left "
                  "unchanged.")
                   .arg(reason.toolName, QString::number(reason.timeoutMs / 1000.0), link) +
               escapeHtml(timeoutNote(reason));
    case PhotoReason::ThumbnailNotPutBack:
        return tr("Not rotated: the turned EXIF thumbnail could not be put into the rotated "
                  "version of %1 (%2). The photo was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::NotAssembled:
        return tr("Not rotated: the rotated version of %1 could not be put together (%2). The "
                  "photo was left unchanged.")
            .arg(link, escapeHtml(assemblyProblemText(reason)));
    case PhotoReason::FinishedWrong:
        return tr("Not rotated: the finished rotated version of %1 is not right (%2). The photo "
                  "was left unchanged.")
            .arg(link, escapeHtml(finishedProblemText(reason)));
    case PhotoReason::OriginalNotKept:
        return tr("Not rotated: the original of %1 could not be kept in the trash (%2), so the "
                  "photo was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::ChangedWhileRotated:
        return tr("Not rotated: %1 changed while it was being rotated (it may still be being "
                  "copied). It was left as it is now.")
            .arg(link);
    case PhotoReason::ReplacedMeanwhile:
        return tr("Not rotated: %1 was replaced while it was being rotated (%2). Nothing was "
                  "changed.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::IdentityNotKept:
        return tr("Not rotated: the rotated version of %1 could not be given the photo's owner, "
                  "group or attributes (%2). The photo was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::NotReplaced:
        if (reason.diskFull)
            return tr("Not rotated: the disk is full, so %1 could not be replaced by its rotated "
                      "version (%2). The photo was left unchanged.")
                .arg(link, escapeHtml(reason.error));
        return tr("Not rotated: %1 could not be replaced by its rotated version (%2). The photo "
                  "was left unchanged.")
            .arg(link, escapeHtml(reason.error));
    case PhotoReason::NeedsReencoding:
        return tr("Not rotated: %1 of %2 would have to be encoded anew to keep its shape, as %3, "
                  "and \"%4\" allows no such change. The photo was left unchanged.")
            .arg(escapeHtml(pictureText(reason.picture)), link,
                 escapeHtml(imperfectionReason(reason.frame)),
                 tr("Require perfect metadata for rotation"));
    case PhotoReason::NotReencoded:
        return tr("Not rotated: %1 of %2 could not be turned exactly (%3). The photo was left "
                  "unchanged.")
            .arg(escapeHtml(pictureText(reason.picture)), link, escapeHtml(reason.error));
    case PhotoReason::NotOpened:
        if (reason.error.isEmpty())
            return tr("Could not read %1.").arg(link);
        return tr("Could not read %1: %2.").arg(link, escapeHtml(reason.error));
    case PhotoReason::None:
    case PhotoReason::JpegtranFailed:
    case PhotoReason::NotLossless:
    case PhotoReason::OrientationNotReset:
        break;
    }
    return {};
}

QList<OutputMessage> reasonMessages(const PhotoOutcome &outcome, const PaneColors &colors) {
    switch (outcome.reason.kind) {
    case PhotoReason::JpegtranFailed:
        return jpegtranFailureMessages(outcome, colors);
    case PhotoReason::OrientationNotReset:
        return orientationNotResetMessages(outcome, colors);
    case PhotoReason::NotLossless:
        return {OutputMessage::detailedRaw(toolOutput(outcome.reason.tool, colors)),
                OutputMessage::main(tr("Not rotated: the rotated version of %1 is not what a "
                                       "lossless turn gives (%2). The photo was left unchanged.")
                                        .arg(pathLink(outcome.photo, colors),
                                             escapeHtml(notLosslessText(outcome.reason))))};
    case PhotoReason::DamagedImageData:
        return {OutputMessage::main(tr("Oops, jpegtran says: Failure")),
                OutputMessage::detailedRaw(toolOutput(outcome.reason.tool, colors)),
                OutputMessage::main(reasonLine(outcome, colors))};
    default:
        break;
    }
    const QString line = reasonLine(outcome, colors);
    if (line.isEmpty())
        return {};
    return {OutputMessage::main(line)};
}
} // namespace

QList<OutputMessage> stepMessages(const PhotoStep &step, const PaneColors &colors) {
    const QString link = pathLink(step.photo, colors);
    switch (step.kind) {
    case PhotoStep::ExifUnusable:
        return exifUnusableMessages(step);
    case PhotoStep::ToolMissing:
        return {OutputMessage::main(tr("Couldn't find %1").arg(escapeHtml(step.path)), true)};
    case PhotoStep::TimeRead:
        return timeReadMessages(step);
    case PhotoStep::TurnAnnounced:
        return {OutputMessage::main(rotationReportLine(step.photo.path, step.turn, step.dryRun,
                                                       step.photo.folder, colors)),
                OutputMessage::detailedRaw(rotationDetailLine(
                    step.photo.path, step.turn, step.photo.folder, step.time.time()))};
    case PhotoStep::EdgesTrimmed:
        return edgesTrimmedMessages(step, colors);
    case PhotoStep::ThumbnailTurned:
        return {photoNote(step.photo, tr("EXIF thumbnail turned too."))};
    case PhotoStep::ThumbnailNotTurned:
        return {OutputMessage::main(tr("The EXIF thumbnail of %1 could not be turned, so it keeps "
                                       "its old orientation.")
                                        .arg(link))};
    case PhotoStep::ThumbnailNoRoom:
        return {OutputMessage::main(tr("The turned EXIF thumbnail of %1 did not fit its place, so "
                                       "the thumbnail keeps its old orientation.")
                                        .arg(link))};
    case PhotoStep::PicturesTurned:
        return {
            photoNote(step.photo, trCount("%n further picture(s) (gain maps, previews) turned too.",
                                          step.count))};
    case PhotoStep::PictureReencoded:
        return pictureReencodedMessages(step, colors);
    case PhotoStep::TrailingBytesKept:
        return {photoNote(
            step.photo,
            trCount("kept %n byte(s) that follow the image (such as a motion photo's video).",
                    int(qMin<qint64>(step.bytes, std::numeric_limits<int>::max()))))};
    case PhotoStep::OrientationToolRan:
        return orientationToolMessages(step, colors);
    case PhotoStep::OrientationCleared:
        return {OutputMessage::detailed(
            "<br>" + shownFile(step.photo) + " " + tr("Cleared orientation"), true)};
    case PhotoStep::FileTimeFromExif:
        return fileTimeFromExifMessages(step);
    case PhotoStep::FileTimeRestored:
        return fileTimeRestoredMessages(step);
    case PhotoStep::FileTimeNotRestored:
        return {OutputMessage::main(tr("Couldn't restore the original file modification date %1 "
                                       "of %2.")
                                        .arg(step.time.toString(), shownFile(step.photo)))};
    case PhotoStep::OriginalKept:
        return {
            photoNote(step.photo,
                      tr("the original was kept in the trash as %1.").arg(nativePath(step.path)))};
    case PhotoStep::OriginalTakenBack:
        return {OutputMessage::main(originalTakenBackText(link, nativePath(step.path)))};
    }
    return {};
}

QList<OutputMessage> outcomeMessages(const PhotoOutcome &outcome, const PaneColors &colors) {
    switch (outcome.kind) {
    case PhotoOutcome::Rotated:
        return {OutputMessage::detailedRaw(tr("Done with success."))};
    case PhotoOutcome::WouldRotate:
        return {}; // the turn's announcement said it
    case PhotoOutcome::Left:
    case PhotoOutcome::Failed:
        return reasonMessages(outcome, colors);
    }
    return {};
}

QList<OutputMessage> checkMessages(const OrientationCheck &check, const PhotoRef &photo,
                                   const PaneColors &colors) {
    QList<OutputMessage> messages;
    if (check.askedImageReader) {
        PhotoStep step;
        step.kind = PhotoStep::ExifUnusable;
        step.photo = photo;
        step.check = check;
        messages << stepMessages(step, colors);
    }
    if (check.leavesPhoto()) {
        PhotoOutcome outcome;
        outcome.photo = photo;
        outcome.reason = reasonOfCheck(check);
        messages << outcomeMessages(outcome, colors);
    }
    return messages;
}

QString reasonText(const PhotoOutcome &outcome) {
    const PhotoReason &reason = outcome.reason;
    switch (reason.kind) {
    case PhotoReason::None:
        return {};
    case PhotoReason::MirroredOrientation:
        if (reason.check.askedImageReader)
            return tr("mirrored orientation (%1)").arg(mirrorWordsOf(reason.check));
        return tr("mirrored orientation %1").arg(reason.check.orientation);
    case PhotoReason::UnknownOrientation:
        return tr("unknown orientation value %1, possibly corrupt").arg(reason.check.orientation);
    case PhotoReason::Unreadable:
        return reason.check.readerError;
    case PhotoReason::NotOpened:
        return reason.error.isEmpty() ? tr("the photo cannot be read") : reason.error;
    case PhotoReason::ChangedWhileRead:
        return tr("it changed while its orientation was being read");
    case PhotoReason::AlreadyInWork:
        return tr("it is already being rotated");
    case PhotoReason::FailedBefore:
        return tr("it could not be rotated before and has not changed since");
    case PhotoReason::Stopped:
        return tr("stopped");
    case PhotoReason::ChangedWhileExamined:
        return tr("it changed while it was being examined");
    case PhotoReason::StillBeingWritten:
        return tr("still being written");
    case PhotoReason::InUse:
        return tr("in use by another program");
    case PhotoReason::TooLarge:
        return tr("the file is too large");
    case PhotoReason::NoLongerThere:
        return tr("the photo is no longer there");
    case PhotoReason::NotAFile:
        return tr("not a file");
    case PhotoReason::ReadOnly:
        return tr("the photo is read-only");
    case PhotoReason::FolderReadOnly:
        return tr("the photo's folder is read-only");
    case PhotoReason::Protected:
        return tr("it cannot be replaced (%1)").arg(reason.error);
    case PhotoReason::HardLinks:
        if (!reason.otherName.isEmpty())
            return tr("the photo has %1 names (hard links); another is %2")
                .arg(QString::number(reason.count), QDir::toNativeSeparators(reason.otherName));
        return tr("the photo has %1 names (hard links)").arg(reason.count);
    case PhotoReason::OwnerNotGivable:
        return tr("the photo belongs to %1, which Pivotta may not give a new file")
            .arg(reason.owner);
    case PhotoReason::NotRead:
        return tr("it could not be read (%1)").arg(reason.error);
    case PhotoReason::PicturesUnreadable:
        return tr("its pictures cannot be told apart for sure: %1")
            .arg(picturesProblemText(reason));
    case PhotoReason::DamagedImageData:
        return damagedImageDataText(reason);
    case PhotoReason::NoTempFile:
        return tr("no temporary file could be made beside it (%1)").arg(reason.error);
    case PhotoReason::NotWritten:
        if (reason.diskFull)
            return tr("the disk is full (%1)").arg(reason.error);
        return tr("the rotated version could not be written (%1)").arg(reason.error);
    case PhotoReason::ToolNotStarted:
        return tr("%1 could not be started").arg(reason.toolName);
    case PhotoReason::ToolTimedOut:
        return tr("%1 did not finish in time").arg(reason.toolName) + timeoutNote(reason);
    case PhotoReason::JpegtranFailed:
        if (reason.picture > 1)
            return tr("%1: %2").arg(pictureText(reason.picture), jpegtranFailureText(reason));
        return jpegtranFailureText(reason);
    case PhotoReason::NotLossless:
        return tr("the rotated version is not what a lossless turn gives (%1)")
            .arg(notLosslessText(reason));
    case PhotoReason::NeedsReencoding:
        return tr("%1 would have to be encoded anew, as %2 (\"%3\" is on)")
            .arg(pictureText(reason.picture), imperfectionReason(reason.frame),
                 tr("Require perfect metadata for rotation"));
    case PhotoReason::NotReencoded:
        return tr("%1 could not be turned exactly (%2)")
            .arg(pictureText(reason.picture), reason.error);
    case PhotoReason::ThumbnailNotPutBack:
        return tr("the turned thumbnail could not be put back (%1)").arg(reason.error);
    case PhotoReason::NotAssembled:
        return tr("the rotated version could not be put together (%1)")
            .arg(assemblyProblemText(reason));
    case PhotoReason::OrientationNotReset:
        if (reason.tool.ending == ToolResult::FailedToStart)
            return tr("exiv2 could not be started");
        if (reason.tool.ending == ToolResult::TimedOut)
            return tr("exiv2 did not finish");
        return tr("exiv2 did not read the orientation tag as reset");
    case PhotoReason::FinishedWrong:
        return tr("the finished rotated version is not right (%1)")
            .arg(finishedProblemText(reason));
    case PhotoReason::OriginalNotKept:
        return tr("the original could not be kept in the trash (%1)").arg(reason.error);
    case PhotoReason::ChangedWhileRotated:
        return tr("changed while it was being rotated");
    case PhotoReason::ReplacedMeanwhile:
        return tr("it was replaced while it was being rotated (%1)").arg(reason.error);
    case PhotoReason::IdentityNotKept:
        return tr("its owner, group or attributes could not be kept (%1)").arg(reason.error);
    case PhotoReason::NotReplaced:
        if (reason.diskFull)
            return tr("the disk is full (%1)").arg(reason.error);
        return tr("could not be replaced (%1)").arg(reason.error);
    }
    return {};
}

QString jpegtranOutcomeText(JpegtranOutcome outcome) {
    const auto tr = [](const char *text) { return QCoreApplication::translate("Tools", text); };
    switch (outcome) {
    case JpegtranOutcome::Success:
        return {};
    case JpegtranOutcome::Warning:
        return tr("jpegtran found damaged image data in the photo");
    case JpegtranOutcome::Truncated:
        return tr("the photo ends too early (it may be incomplete or still arriving)");
    case JpegtranOutcome::NotPerfect:
        return tr("the turn cannot be perfect for this photo");
    case JpegtranOutcome::DiskFull:
        return tr("no space left on the disk");
    case JpegtranOutcome::UnsupportedType:
        return tr("this JPEG type cannot be turned losslessly");
    case JpegtranOutcome::Crashed:
        return tr("jpegtran crashed");
    case JpegtranOutcome::Failed:
        return tr("jpegtran failed");
    }
    return {};
}

QString originalTakenBackText(const QString &photo, const QString &entry) {
    return tr("%1 was still in the trash as %2: an earlier Pivotta kept it there and ended "
              "before it replaced the photo. That second name was taken out of the trash again.")
        .arg(photo, entry);
}

QString edgeTrimText(const DroppedEdges &trim) {
    if (trim.isNone())
        return {};
    const QString rows = trim.rows == 1 ? tr("1 row") : tr("%1 rows").arg(trim.rows);
    const QString columns = trim.columns == 1 ? tr("1 column") : tr("%1 columns").arg(trim.columns);
    const QString dropped = trim.columns == 0 ? rows
                            : trim.rows == 0  ? columns
                                              : tr("%1 and %2").arg(rows, columns);
    return tr("%1 of edge pixels dropped.").arg(dropped);
}

QString imperfectionReason(const PictureFrame &frame) {
    QStringList reasons;
    if (frame.widthCut) {
        reasons << tr("its width of %1 pixels is not a multiple of the block size %2")
                       .arg(frame.width)
                       .arg(frame.blockWidth);
    }
    if (frame.heightCut) {
        reasons << tr("its height of %1 pixels is not a multiple of the block size %2")
                       .arg(frame.height)
                       .arg(frame.blockHeight);
    }
    return reasons.join(tr(" and "));
}
