// The presentation's words for the engine's facts: a table of photo facts giving the exact
// messages of the window's panes and the exact line of the headless report, run events and the
// summary, and the dark theme's message colours against the dark panes. The expected texts are
// those the program printed before the engine stated facts.
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <list>

#include "common/theme.h"
#include "engine/runevents.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/losslessturn.h"
#include "jpeg/photopictures.h"
#include "jpeg/turn.h"
#include "messagelog.h"
#include "presentation/headlessreport.h"
#include "presentation/messagetext.h"
#include "presentation/panecolors.h"
#include "presentation/panewording.h"
#include "presentation/photowording.h"
#include "presentation/runwording.h"

namespace {
const QString folder = "/photos";
const QDateTime announcedAt(QDate(2024, 5, 6), QTime(17, 57, 31));
const QDateTime modifiedAt(QDate(2020, 1, 2), QTime(3, 4, 5));

PhotoRef photoNamed(const QString &name) {
    const QString path = folder + "/" + name;
    return {path, path, folder};
}

PhotoStep step(PhotoStep::Kind kind, const QString &name) {
    PhotoStep photoStep;
    photoStep.kind = kind;
    photoStep.photo = photoNamed(name);
    return photoStep;
}

PhotoStep turnAnnounced(const QString &name, Turn turn, bool dryRun = false) {
    PhotoStep announced = step(PhotoStep::TurnAnnounced, name);
    announced.turn = turn;
    announced.dryRun = dryRun;
    announced.time = announcedAt;
    return announced;
}

PhotoOutcome outcome(PhotoOutcome::Kind kind, const QString &name, Turn turn,
                     PhotoReason::Kind reason = PhotoReason::None) {
    PhotoOutcome photoOutcome;
    photoOutcome.kind = kind;
    photoOutcome.photo = photoNamed(name);
    photoOutcome.turn = turn;
    photoOutcome.reason.kind = reason;
    return photoOutcome;
}

PhotoOutcome leftByCheck(PhotoOutcome::Kind kind, const QString &name,
                         OrientationCheck::Finding finding, int orientation) {
    OrientationCheck check;
    check.finding = finding;
    check.orientation = orientation;
    PhotoOutcome photoOutcome = outcome(kind, name, Turn::None);
    photoOutcome.reason = reasonOfCheck(check);
    return photoOutcome;
}

// A message as the panes take it: the pane, whether it is checked against the last one, whether
// it is a mark on the last line, and the text.
QString described(const OutputMessage &message) {
    const QString pane = message.pane == OutputMessage::Main       ? "M"
                         : message.pane == OutputMessage::Detailed ? "D"
                                                                   : "R";
    const QString lineStart = message.markLineStart.isEmpty() ? "" : " " + message.markLineStart;
    return "[" + pane + (message.checkDuplicate ? "+dup" : "") +
           (message.plainTextNoNewline ? "+mark" + lineStart : "") + "] " + message.text;
}

QStringList described(const QList<OutputMessage> &messages) {
    QStringList lines;
    for (const OutputMessage &message : messages)
        lines << described(message);
    return lines;
}

QStringList windowLines(const QList<PhotoStep> &steps, const PhotoOutcome &photoOutcome,
                        const PaneColors &colors) {
    QList<OutputMessage> messages;
    for (const PhotoStep &photoStep : steps)
        messages << stepMessages(photoStep, colors);
    return described(messages + outcomeMessages(photoOutcome, colors));
}

QString link(const QString &name, const QString &text) {
    return QString("<a style='color:#333' href='file:///photos/%1'>%2</a>").arg(name, text);
}

QString pathLink(const QString &name) {
    return link(name, "/photos/" + name);
}

// The frame of a colour picture in 2x2 sampling: 16-pixel blocks.
JpegFrame colourFrame(int width, int height) {
    JpegFrame frame;
    frame.marker = 0xC0;
    frame.precision = 8;
    frame.width = width;
    frame.height = height;
    frame.components = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
    return frame;
}

QString turnLine(const QString &name, const QString &turn, const QString &arrow,
                 const QString &dryRun = " ") {
    return QString::fromUtf8("[M] <br><span style='color:#393'>Rotating %1 <span "
                             "style='font-size:4em;'>%2</span><br>%3%4</span>")
        .arg(turn, arrow, link(name, name), dryRun);
}

// One row of the photo table: the facts told about a photo, the window's messages and the headless
// report's line. Filled like a Qt Test row: rows.add("name") << steps << outcome << window << line.
struct PhotoRow {
    QString name;
    QList<PhotoStep> steps;
    PhotoOutcome outcome;
    QStringList window;
    QString headless;

    PhotoRow &operator<<(const QList<PhotoStep> &photoSteps) {
        steps = photoSteps;
        return *this;
    }
    PhotoRow &operator<<(const PhotoOutcome &photoOutcome) {
        outcome = photoOutcome;
        return *this;
    }
    PhotoRow &operator<<(const QStringList &lines) {
        window = lines;
        return *this;
    }
    PhotoRow &operator<<(const QString &line) {
        headless = line;
        return *this;
    }
};

struct PhotoRows {
    std::list<PhotoRow> rows;
    PhotoRow &add(const char *name) {
        rows.push_back({QString::fromUtf8(name), {}, {}, {}, {}});
        return rows.back();
    }
};

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double luminance(const QColor &color) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

double contrast(const QColor &a, const QColor &b) {
    const double lighter = std::max(luminance(a), luminance(b));
    const double darker = std::min(luminance(a), luminance(b));
    return (lighter + 0.05) / (darker + 0.05);
}

// The values a style sheet gives `property` in the rules for exactly `selector`.
QStringList ruleValues(const QString &sheet, const QString &selector, const QString &property) {
    QStringList values;
    const QRegularExpression rule(QRegularExpression::escape(selector) + "\\s*\\{([^}]*)\\}");
    const QRegularExpression declaration("(?:^|;|\\s)" + property + ":\\s*([^;]+);");
    for (const QRegularExpressionMatch &match : rule.globalMatch(sheet)) {
        for (const QRegularExpressionMatch &value : declaration.globalMatch(match.captured(1)))
            values << value.captured(1).trimmed();
    }
    return values;
}
} // namespace

class PresentationTest : public QObject {
    Q_OBJECT

private slots:
    void photoFacts_data();
    void photoFacts();
    void runEvents_data();
    void runEvents();
    void summary();
    void namesStayOnTheirLine_data();
    void namesStayOnTheirLine();
    void pictureGeometryTexts();
    void progressMarksKeepToTheirLine();
    void detailedPaneReadsLineByLine();
    void darkMessagesReadOnDarkPanes();
    void darkMessagesUseOnlyTheDarkColours();
    void wordingFollowsItsColours();
};

namespace {
PhotoRows photoRows() {
    PhotoRows rows;
    const QString done = "[R] Done with success.";
    const QString oops = "[M] Oops, jpegtran says: Failure";

    {
        PhotoStep timeRead = step(PhotoStep::TimeRead, "a.jpg");
        timeRead.time = modifiedAt;
        PhotoStep reset = step(PhotoStep::OrientationToolRan, "a.jpg");
        reset.tool.standardOutput = "File 1/1: /photos/a.jpg\nExif.Image.Orientation 1\n";
        rows.add("rotated")
            << QList<PhotoStep>{timeRead, turnAnnounced("a.jpg", Turn::Rotate90), reset,
                                step(PhotoStep::OrientationCleared, "a.jpg")}
            << outcome(PhotoOutcome::Rotated, "a.jpg", Turn::Rotate90)
            << QStringList{"[D] <br>/photos/a.jpg: Reading original modification date Thu Jan 2 "
                           "03:04:05 2020",
                           turnLine("a.jpg", "90°", "⤾ CW"),
                           "[R] <br>17:57:31 Rotating 90° CW a.jpg",
                           "[D] <span>File 1/1: /photos/a.jpg<br>Exif.Image.Orientation "
                           "1<br><span style='color:#333'></span></span>",
                           "[D+dup] <br>/photos/a.jpg Cleared orientation",
                           done}
            << "rotated: /photos/a.jpg (90° clockwise)";
    }
    {
        PhotoStep trimmed = step(PhotoStep::EdgesTrimmed, "a.jpg");
        trimmed.trim = {8, 0};
        PhotoOutcome rotated = outcome(PhotoOutcome::Rotated, "a.jpg", Turn::Rotate90);
        rotated.trimmed = trimmed.trim;
        rows.add("rotated, edge columns dropped")
            << QList<PhotoStep>{turnAnnounced("a.jpg", Turn::Rotate90), trimmed} << rotated
            << QStringList{turnLine("a.jpg", "90°", "⤾ CW"),
                           "[R] <br>17:57:31 Rotating 90° CW a.jpg",
                           "[M] " + link("a.jpg", "a.jpg") + ": 8 columns of edge pixels dropped.",
                           "[D] <span>/photos/a.jpg: 8 columns of edge pixels dropped.</span>",
                           done}
            << "rotated: /photos/a.jpg (90° clockwise; 8 columns of edge pixels dropped)";
    }
    {
        PhotoStep trimmed = step(PhotoStep::EdgesTrimmed, "b.jpg");
        trimmed.trim = {0, 8};
        PhotoOutcome rotated = outcome(PhotoOutcome::Rotated, "b.jpg", Turn::Rotate180);
        rotated.trimmed = trimmed.trim;
        rows.add("rotated 180°, edge rows dropped")
            << QList<PhotoStep>{turnAnnounced("b.jpg", Turn::Rotate180), trimmed} << rotated
            << QStringList{turnLine("b.jpg", "180°", "⤾ CW"),
                           "[R] <br>17:57:31 Rotating 180° CW b.jpg",
                           "[M] " + link("b.jpg", "b.jpg") + ": 8 rows of edge pixels dropped.",
                           "[D] <span>/photos/b.jpg: 8 rows of edge pixels dropped.</span>", done}
            << "rotated: /photos/b.jpg (180°; 8 rows of edge pixels dropped)";
    }
    rows.add("would rotate") << QList<PhotoStep>{turnAnnounced("c.jpg", Turn::Rotate270, true)}
                             << outcome(PhotoOutcome::WouldRotate, "c.jpg", Turn::Rotate270)
                             << QStringList{turnLine("c.jpg", "90°", "⤿ CCW", "  (dry run)"),
                                            "[R] <br>17:57:31 Rotating 90° CCW c.jpg"}
                             << "would rotate: /photos/c.jpg (90° counter-clockwise)";
    rows.add("mirrored, left")
        << QList<PhotoStep>()
        << leftByCheck(PhotoOutcome::Left, "m.jpg", OrientationCheck::Mirrored, 2)
        << QStringList{"[M] File " + link("m.jpg", "m.jpg") +
                       " has unusual orientation value 2, Mirror horizontal. If you need Pivotta "
                       "to rotate this orientation too, turn on \"Also turn mirrored photos "
                       "upright\" in Preferences."}
        << "left: /photos/m.jpg (mirrored orientation 2)";
    rows.add("mirrored and turned, left")
        << QList<PhotoStep>()
        << leftByCheck(PhotoOutcome::Left, "t.jpg", OrientationCheck::Mirrored, 5)
        << QStringList{"[M] File " + link("t.jpg", "t.jpg") +
                       " has unusual orientation value 5, Mirror horizontal, rotate 270 CW. If you "
                       "need Pivotta to rotate this orientation too, turn on \"Also turn mirrored "
                       "photos upright\" in Preferences."}
        << "left: /photos/t.jpg (mirrored orientation 5)";
    {
        PhotoOutcome mirrored =
            leftByCheck(PhotoOutcome::Left, "r.jpg", OrientationCheck::Mirrored, 0);
        mirrored.reason.check.askedImageReader = true;
        mirrored.reason.check.transformation = QImageIOHandler::TransformationMirror;
        rows.add("mirrored as the image reader says, left")
            << QList<PhotoStep>() << mirrored
            << QStringList{"[M] File " + link("r.jpg", "r.jpg") +
                           " has unusual orientation value <b>Mirror horizontal</b>. If you need "
                           "Pivotta to rotate this orientation too, turn on \"Also turn mirrored "
                           "photos upright\" in Preferences."}
            << "left: /photos/r.jpg (mirrored orientation (Mirror horizontal))";
    }
    {
        PhotoStep reset = step(PhotoStep::OrientationToolRan, "e.jpg");
        reset.tool.standardOutput = "Exif.Image.Orientation 1";
        reset.tool.standardError = "Warning: Directory Thumbnail has an unexpected next pointer";
        rows.add("orientation read with a warning")
            << QList<PhotoStep>{reset} << outcome(PhotoOutcome::Rotated, "e.jpg", Turn::Rotate180)
            << QStringList{"[D] <span>Exif.Image.Orientation 1<br><span style='color:#333'>"
                           "Warning: Directory Thumbnail has an unexpected next pointer</span>"
                           "</span>",
                           done}
            << "rotated: /photos/e.jpg (180°)";
    }
    rows.add("unknown orientation value")
        << QList<PhotoStep>()
        << leftByCheck(PhotoOutcome::Left, "u.jpg", OrientationCheck::Unknown, 12)
        << QStringList{"[M] File " + link("u.jpg", "u.jpg") +
                       " has unknown orientation value 12 and is possibly corrupt. Please contact "
                       "us by clicking the Feedback button. We will likely need you to send this "
                       "image as a sample to diagnose what went wrong."}
        << "left: /photos/u.jpg (unknown orientation value 12, possibly corrupt)";
    {
        OrientationCheck check;
        check.finding = OrientationCheck::Unreadable;
        check.askedImageReader = true;
        check.exifCode = 1982;
        check.readerError = "Unsupported image format";
        PhotoStep exifUnusable = step(PhotoStep::ExifUnusable, "n.jpg");
        exifUnusable.check = check;
        exifUnusable.inUserBatch = true;
        PhotoOutcome failed = outcome(PhotoOutcome::Failed, "n.jpg", Turn::None);
        failed.reason = reasonOfCheck(check);
        rows.add("unreadable, in a user batch")
            << QList<PhotoStep>{exifUnusable} << failed
            << QStringList{"[M+mark Photos without usable EXIF orientation:]  .",
                           "[D+dup] <br>Orientation: Error parsing EXIF: code 1982, /photos/n.jpg",
                           "[M] Unsupported image format; " + link("n.jpg", "n.jpg")}
            << "failed: /photos/n.jpg (Unsupported image format)";
    }
    {
        PhotoOutcome notOpened =
            outcome(PhotoOutcome::Failed, "s.jpg", Turn::None, PhotoReason::NotOpened);
        notOpened.reason.error = "Permission denied";
        rows.add("not opened") << QList<PhotoStep>() << notOpened
                               << QStringList{"[M] Could not read " + pathLink("s.jpg") +
                                              ": Permission denied."}
                               << "failed: /photos/s.jpg (Permission denied)";
        PhotoOutcome link =
            outcome(PhotoOutcome::Left, "l.jpg", Turn::None, PhotoReason::NotOpened);
        link.reason.error = "it is a symbolic link, which is not followed";
        rows.add("a link named like a photo")
            << QList<PhotoStep>() << link
            << QStringList{"[M] Could not read " + pathLink("l.jpg") +
                           ": it is a symbolic link, which is not followed."}
            << "left: /photos/l.jpg (it is a symbolic link, which is not followed)";
    }
    rows.add("changed while it was examined")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Left, "c.jpg", Turn::Rotate90, PhotoReason::ChangedWhileExamined)
        << QStringList{"[M] Not rotated: " + pathLink("c.jpg") +
                       " changed while it was being examined. It was left as it is now."}
        << "left: /photos/c.jpg (it changed while it was being examined)";
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "j.jpg", Turn::Rotate90, PhotoReason::JpegtranFailed);
        failed.reason.jpegtran = JpegtranOutcome::Failed;
        failed.reason.tool.standardError = "jpegtran: Bogus marker length\n";
        failed.reason.toolSays = "Bogus marker length";
        rows.add("jpegtran fails with its own text")
            << QList<PhotoStep>{turnAnnounced("j.jpg", Turn::Rotate90)} << failed
            << QStringList{turnLine("j.jpg", "90°", "⤾ CW"),
                           "[R] <br>17:57:31 Rotating 90° CW j.jpg", oops,
                           "[R] <span><span style='color:#333'>jpegtran: Bogus marker "
                           "length<br></span></span>",
                           "[M] Not rotated: " + pathLink("j.jpg") +
                               " (jpegtran failed: Bogus marker length). The photo was left "
                               "unchanged."}
            << "failed: /photos/j.jpg (jpegtran failed: Bogus marker length)";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "p.jpg", Turn::Rotate90, PhotoReason::JpegtranFailed);
        failed.reason.jpegtran = JpegtranOutcome::NotPerfect;
        failed.reason.tool.standardError = "jpegtran: transformation is not perfect\n";
        failed.reason.perfectRequired = true;
        JpegFrame frame;
        frame.marker = 0xC0;
        frame.precision = 8;
        frame.width = 1200;
        frame.height = 1800;
        frame.components = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
        failed.reason.frame = pictureFrameOf(frame, Turn::Rotate90);
        rows.add("not perfect, for the photo's size")
            << QList<PhotoStep>{} << failed
            << QStringList{oops,
                           "[R] <span><span style='color:#333'>jpegtran: transformation is not "
                           "perfect<br></span></span>",
                           "[M] This error is due to the photo's size: its height of 1800 pixels "
                           "is not a multiple of the block size 16.",
                           "[M] Uncheck the option \"Require perfect metadata for rotation\" in "
                           "Preferences to rotate also files with such metadata."}
            << "failed: /photos/p.jpg (the turn cannot be perfect for this photo)";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "t.jpg", Turn::Rotate90, PhotoReason::JpegtranFailed);
        failed.reason.jpegtran = JpegtranOutcome::Truncated;
        failed.reason.tool.standardError = "Premature end of JPEG file\n";
        rows.add("photo ends too early")
            << QList<PhotoStep>{} << failed
            << QStringList{oops,
                           "[R] <span><span style='color:#333'>Premature end of JPEG "
                           "file<br></span></span>",
                           "[M] The photo ends too early (it may be incomplete), so its rotated "
                           "version would be damaged. " +
                               pathLink("t.jpg") + " was left unchanged."}
            << "failed: /photos/t.jpg (the photo ends too early (it may be incomplete))";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "k.jpg", Turn::Rotate90, PhotoReason::JpegtranFailed);
        failed.reason.jpegtran = JpegtranOutcome::Crashed;
        rows.add("jpegtran crashed")
            << QList<PhotoStep>{} << failed
            << QStringList{"[M] Not rotated, jpegtran crashed: " + pathLink("k.jpg")}
            << "failed: /photos/k.jpg (jpegtran crashed)";
    }
    {
        PhotoStep missing = step(PhotoStep::ToolMissing, "g.jpg");
        missing.path = "/tools/jpegtran";
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "g.jpg", Turn::Rotate90, PhotoReason::ToolNotStarted);
        failed.reason.toolName = "jpegtran";
        failed.reason.error = "execvp: No such file or directory";
        rows.add("jpegtran missing")
            << QList<PhotoStep>{missing} << failed
            << QStringList{"[M+dup] Couldn't find /tools/jpegtran",
                           "[M] Not rotated: jpegtran could not be started for " +
                               pathLink("g.jpg") + " (execvp: No such file or directory)."}
            << "failed: /photos/g.jpg (jpegtran could not be started)";
    }
    {
        PhotoStep ran = step(PhotoStep::OrientationToolRan, "e.jpg");
        ran.tool.standardError = "exiv2 says no\n";
        PhotoOutcome failed = outcome(PhotoOutcome::Failed, "e.jpg", Turn::Rotate90,
                                      PhotoReason::OrientationNotReset);
        failed.reason.tool = ran.tool;
        rows.add("exiv2 leaves the orientation")
            << QList<PhotoStep>{ran} << failed
            << QStringList{"[D] <span><span style='color:#333'>exiv2 says no<br></span></span>",
                           "[M] Failed clearing EXIF orientation metadata.",
                           "[M] " + pathLink("e.jpg") +
                               " was left unchanged, so that it is not turned a second time later."}
            << "failed: /photos/e.jpg (exiv2 did not read the orientation tag as reset)";
    }
    rows.add("read-only")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Failed, "r.jpg", Turn::Rotate90, PhotoReason::ReadOnly)
        << QStringList{"[M] Not rotated: " + pathLink("r.jpg") +
                       " is read-only. Pivotta leaves read-only photos as they are."}
        << "failed: /photos/r.jpg (the photo is read-only)";
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "h.jpg", Turn::Rotate90, PhotoReason::HardLinks);
        failed.reason.count = 2;
        rows.add("hard links")
            << QList<PhotoStep>{} << failed
            << QStringList{"[M] Not rotated: " + pathLink("h.jpg") +
                           " has 2 names (hard links). Rotating it would give only this name the "
                           "rotated photo, so it was left unchanged."}
            << "failed: /photos/h.jpg (the photo has 2 names (hard links))";
        failed.reason.otherName = "/home/u/.local/share/Trash/files/h & i.jpg";
        rows.add("hard links, one of them in the trash")
            << QList<PhotoStep>{} << failed
            << QStringList{"[M] Not rotated: " + pathLink("h.jpg") +
                           " has 2 names (hard links); another is "
                           "/home/u/.local/share/Trash/files/h &amp; i.jpg. Rotating it would give "
                           "only this name the rotated photo, so it was left unchanged."}
            << "failed: /photos/h.jpg (the photo has 2 names (hard links); another is "
               "/home/u/.local/share/Trash/files/h & i.jpg)";
    }
    {
        PhotoStep takenBack = step(PhotoStep::OriginalTakenBack, "t.jpg");
        takenBack.path = "/home/u/.local/share/Trash/files/t.jpg";
        rows.add("a second name in the trash taken out, then rotated")
            << QList<PhotoStep>{takenBack}
            << outcome(PhotoOutcome::Rotated, "t.jpg", Turn::Rotate90)
            << QStringList{"[M] " + pathLink("t.jpg") +
                               " was still in the trash as "
                               "/home/u/.local/share/Trash/files/t.jpg: an earlier Pivotta kept it "
                               "there and ended before it replaced the photo. That second name "
                               "was taken out of the trash again.",
                           done}
            << "/photos/t.jpg was still in the trash as /home/u/.local/share/Trash/files/t.jpg: "
               "an earlier Pivotta kept it there and ended before it replaced the photo. That "
               "second name was taken out of the trash again.\n"
               "rotated: /photos/t.jpg (90° clockwise)";
    }
    {
        PhotoStep timeRead = step(PhotoStep::TimeRead, "s.jpg");
        timeRead.time = modifiedAt;
        rows.add("stopped")
            << QList<PhotoStep>{timeRead}
            << outcome(PhotoOutcome::Left, "s.jpg", Turn::Rotate90, PhotoReason::Stopped)
            << QStringList{"[D] <br>/photos/s.jpg: Reading original modification date Thu Jan 2 "
                           "03:04:05 2020",
                           "[M] Stopped before " + pathLink("s.jpg") +
                               " was rotated. The photo was left unchanged."}
            << "left: /photos/s.jpg (stopped)";
    }
    {
        PhotoStep fileTime = step(PhotoStep::FileTimeFromExif, "d.jpg");
        fileTime.exifTime = PhotoStep::ExifDateMissing;
        rows.add("rotated, no EXIF date for the file time")
            << QList<PhotoStep>{fileTime} << outcome(PhotoOutcome::Rotated, "d.jpg", Turn::Rotate90)
            << QStringList{"[M] Couldn't restore file modification date; EXIF date missing.", done}
            << "rotated: /photos/d.jpg (90° clockwise)";
    }
    {
        PhotoStep fileTime = step(PhotoStep::FileTimeFromExif, "d.jpg");
        fileTime.exifTime = PhotoStep::TimeSet;
        fileTime.time = modifiedAt;
        rows.add("rotated, file time from the EXIF date")
            << QList<PhotoStep>{fileTime} << outcome(PhotoOutcome::Rotated, "d.jpg", Turn::Rotate90)
            << QStringList{"[D+dup] <span>/photos/d.jpg Restored file date to EXIF date value: "
                           "Thu Jan 2 03:04:05 2020.</span>",
                           done}
            << "rotated: /photos/d.jpg (90° clockwise)";
    }
    {
        PhotoStep timeRead = step(PhotoStep::TimeRead, "o.jpg");
        timeRead.time = modifiedAt;
        timeRead.restoring = true;
        PhotoStep restored = step(PhotoStep::FileTimeRestored, "o.jpg");
        restored.time = modifiedAt;
        rows.add("rotated, file time restored")
            << QList<PhotoStep>{timeRead, restored}
            << outcome(PhotoOutcome::Rotated, "o.jpg", Turn::Rotate90)
            << QStringList{"[M+dup] <br><br>Reading original modification date for o.jpg: Thu "
                           "Jan 2 03:04:05 2020",
                           "[D] <br>/photos/o.jpg: Reading original modification date Thu Jan 2 "
                           "03:04:05 2020",
                           "[D+dup] <span>/photos/o.jpg Restored file date to original date "
                           "value: Thu Jan 2 03:04:05 2020</span>",
                           "[M+dup] \nRestored file date to original date value for "
                           "/photos/o.jpg: Thu Jan 2 03:04:05 2020",
                           done}
            << "rotated: /photos/o.jpg (90° clockwise)";
    }
    {
        PhotoStep pictures = step(PhotoStep::PicturesTurned, "g.jpg");
        pictures.count = 2;
        PhotoStep kept = step(PhotoStep::OriginalKept, "g.jpg");
        kept.path = "/home/u/.local/share/Trash/files/g.jpg";
        PhotoOutcome rotated = outcome(PhotoOutcome::Rotated, "g.jpg", Turn::Rotate90);
        rotated.keptOriginal = kept.path;
        rotated.trashFolder = "/home/u/.local/share/Trash";
        rows.add("rotated with its gain maps, the original kept in the trash")
            << QList<PhotoStep>{pictures, kept} << rotated
            << QStringList{"[D] <span>/photos/g.jpg: 2 further picture(s) (gain maps, previews) "
                           "turned too.</span>",
                           "[D] <span>/photos/g.jpg: the original was kept in the trash as "
                           "/home/u/.local/share/Trash/files/g.jpg.</span>",
                           done}
            << "rotated: /photos/g.jpg (90° clockwise)";
    }
    {
        PhotoStep reencoded = step(PhotoStep::PictureReencoded, "y.jpg");
        reencoded.picture = 3;
        reencoded.turn = Turn::Rotate180;
        reencoded.quality = 95;
        reencoded.frame = pictureFrameOf(colourFrame(403, 301), Turn::Rotate180);
        PhotoOutcome rotated = outcome(PhotoOutcome::Rotated, "y.jpg", Turn::Rotate180);
        rotated.reencoded = {3};
        rows.add("rotated, a preview encoded anew to keep its shape")
            << QList<PhotoStep>{reencoded} << rotated
            << QStringList{"[M] " + link("y.jpg", "y.jpg") +
                               ": its picture 3 (403x301 pixels) was encoded anew at quality 95 so "
                               "that it keeps its shape: no lossless turn keeps it whole, as its "
                               "width of 403 pixels is not a multiple of the block size 16 and its "
                               "height of 301 pixels is not a multiple of the block size 16.",
                           "[D] <span>/photos/y.jpg: its picture 3 (403x301 pixels) was encoded "
                           "anew at quality 95 so that it keeps its shape: no lossless turn keeps "
                           "it whole, as its width of 403 pixels is not a multiple of the block "
                           "size 16 and its height of 301 pixels is not a multiple of the block "
                           "size 16.</span>",
                           done}
            << "rotated: /photos/y.jpg (180°; picture 3 encoded anew)";
    }
    {
        PhotoOutcome left =
            outcome(PhotoOutcome::Failed, "q.jpg", Turn::Rotate90, PhotoReason::NeedsReencoding);
        left.reason.picture = 2;
        left.reason.perfectRequired = true;
        left.reason.frame = pictureFrameOf(colourFrame(400, 300), Turn::Rotate90);
        rows.add("perfect required, a gain map that would have to be encoded anew")
            << QList<PhotoStep>{} << left
            << QStringList{"[M] Not rotated: picture 2 of " + pathLink("q.jpg") +
                           " would have to be encoded anew to keep its shape, as its height of "
                           "300 pixels is not a multiple of the block size 16, and \"Require "
                           "perfect metadata for rotation\" allows no such change. The photo "
                           "was left unchanged."}
            << "failed: /photos/q.jpg (picture 2 would have to be encoded anew, as its height of "
               "300 pixels is not a multiple of the block size 16 (\"Require perfect metadata "
               "for rotation\" is on))";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "x.jpg", Turn::Rotate90, PhotoReason::NotReencoded);
        failed.reason.picture = 2;
        failed.reason.error = "it could not be decoded (Unsupported <marker>)";
        rows.add("a further picture that cannot be turned exactly")
            << QList<PhotoStep>{} << failed
            << QStringList{"[M] Not rotated: picture 2 of " + pathLink("x.jpg") +
                           " could not be turned exactly (it could not be decoded (Unsupported "
                           "&lt;marker&gt;)). The photo was left unchanged."}
            << "failed: /photos/x.jpg (picture 2 could not be turned exactly (it could not be "
               "decoded (Unsupported <marker>)))";
    }
    rows.add("still being written")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Left, "w.jpg", Turn::Rotate90, PhotoReason::StillBeingWritten)
        << QStringList{"[M] Not rotated now: " + pathLink("w.jpg") +
                       " is still being written by another program. It was left as it is."}
        << "left: /photos/w.jpg (still being written)";
    rows.add("in use by another program")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Left, "u.jpg", Turn::Rotate90, PhotoReason::InUse)
        << QStringList{"[M] Not rotated now: " + pathLink("u.jpg") +
                       " is in use by another program. It was left as it is."}
        << "left: /photos/u.jpg (in use by another program)";
    rows.add("changed while it was being rotated")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Left, "v.jpg", Turn::Rotate90, PhotoReason::ChangedWhileRotated)
        << QStringList{"[M] Not rotated: " + pathLink("v.jpg") +
                       " changed while it was being rotated (it may still be being copied). It "
                       "was left as it is now."}
        << "left: /photos/v.jpg (changed while it was being rotated)";
    rows.add("passed by, failed before")
        << QList<PhotoStep>()
        << outcome(PhotoOutcome::Left, "o.jpg", Turn::None, PhotoReason::FailedBefore)
        << QStringList{"[M] Not rotated: " + pathLink("o.jpg") +
                       " could not be rotated before and has not changed since. It is tried "
                       "again once it changes."}
        << "left: /photos/o.jpg (it could not be rotated before and has not changed since)";
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "f.jpg", Turn::Rotate90, PhotoReason::DamagedImageData);
        failed.reason.marker = 0xC5;
        failed.reason.at = 4321;
        failed.reason.tool.standardError = "Unsupported JPEG process: SOF type 0xc5\n";
        rows.add("a stray frame marker in the image data")
            << QList<PhotoStep>() << failed
            << QStringList{oops,
                           "[R] <span><span style='color:#333'>Unsupported JPEG process: SOF "
                           "type 0xc5<br></span></span>",
                           "[M] Not rotated: " + pathLink("f.jpg") +
                               " cannot be turned losslessly, as its image data is damaged: a "
                               "marker FF C5 stands inside it, at byte 4321. The photo was left "
                               "unchanged."}
            << "failed: /photos/f.jpg (its image data is damaged: a marker FF C5 stands inside "
               "it, at byte 4321)";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "q.jpg", Turn::Rotate90, PhotoReason::JpegtranFailed);
        failed.reason.jpegtran = JpegtranOutcome::Failed;
        failed.reason.picture = 2;
        failed.reason.toolSays = "Bogus marker length";
        rows.add("jpegtran refuses a gain map")
            << QList<PhotoStep>() << failed
            << QStringList{oops, "[R] <span><span style='color:#333'></span></span>",
                           "[M] Not rotated: picture 2 of " + pathLink("q.jpg") +
                               " (jpegtran failed: Bogus marker length). The photo was left "
                               "unchanged."}
            << "failed: /photos/q.jpg (picture 2: jpegtran failed: Bogus marker length)";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "x.jpg", Turn::Rotate90, PhotoReason::PicturesUnreadable);
        failed.reason.pictures = PicturesProblem::NotJpeg;
        failed.reason.picture = 2;
        failed.reason.error = "not a JPEG file";
        rows.add("a gain map that is not a JPEG")
            << QList<PhotoStep>() << failed
            << QStringList{"[M] Not rotated: the pictures in " + pathLink("x.jpg") +
                           " cannot be told apart for sure (its picture 2 is not a whole JPEG "
                           "picture (not a JPEG file)). The photo was left unchanged."}
            << "failed: /photos/x.jpg (its pictures cannot be told apart for sure: its picture 2 "
               "is not a whole JPEG picture (not a JPEG file))";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "z.jpg", Turn::Rotate90, PhotoReason::NotWritten);
        failed.reason.diskFull = true;
        failed.reason.error = "/photos/.z.jpg.pivotta-1.tmp: no space left on the disk";
        rows.add("a full disk while writing")
            << QList<PhotoStep>() << failed
            << QStringList{"[M] Not rotated: the disk is full, so the rotated version of " +
                           pathLink("z.jpg") +
                           " could not be written (/photos/.z.jpg.pivotta-1.tmp: no space left on "
                           "the disk). The photo was left unchanged."}
            << "failed: /photos/z.jpg (the disk is full (/photos/.z.jpg.pivotta-1.tmp: no space "
               "left on the disk))";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "b.jpg", Turn::Rotate90, PhotoReason::ToolTimedOut);
        failed.reason.toolName = "jpegtran";
        failed.reason.timeoutMs = 150000;
        failed.reason.timeoutScaled = true;
        failed.reason.pixels = 300000000;
        failed.reason.photosAtOnce = 4;
        rows.add("a big photo's time is up")
            << QList<PhotoStep>() << failed
            << QStringList{"[M] Not rotated: jpegtran did not finish within 150 seconds and was "
                           "stopped. " +
                           pathLink("b.jpg") +
                           " was left unchanged. (The time allowed grows with the size of the "
                           "picture: "
                           "300.0 megapixels, 4 photo(s) rotated at once.)"}
            << "failed: /photos/b.jpg (jpegtran did not finish in time (The time allowed grows "
               "with the size of the picture: 300.0 megapixels, 4 photo(s) rotated at once.))";
    }
    {
        PhotoOutcome failed =
            outcome(PhotoOutcome::Failed, "k.jpg", Turn::Rotate90, PhotoReason::OriginalNotKept);
        failed.reason.error = "the original cannot be kept in the trash: no space left on the disk";
        rows.add("the original cannot be kept")
            << QList<PhotoStep>() << failed
            << QStringList{"[M] Not rotated: the original of " + pathLink("k.jpg") +
                           " could not be kept in the trash (the original cannot be kept in the "
                           "trash: no space left on the disk), so the photo was left unchanged."}
            << "failed: /photos/k.jpg (the original could not be kept in the trash (the "
               "original cannot be kept in the trash: no space left on the disk))";
    }
    return rows;
}
} // namespace

void PresentationTest::photoFacts_data() {
    QTest::addColumn<QList<PhotoStep>>("steps");
    QTest::addColumn<PhotoOutcome>("photoOutcome");
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<QString>("headless"); // its lines, one per line

    for (const PhotoRow &row : photoRows().rows) {
        QTest::newRow(qPrintable(row.name))
            << row.steps << row.outcome << row.window << row.headless;
    }
}

void PresentationTest::photoFacts() {
    QFETCH(QList<PhotoStep>, steps);
    QFETCH(PhotoOutcome, photoOutcome);
    QFETCH(QStringList, window);
    QFETCH(QString, headless);

    QCOMPARE(windowLines(steps, photoOutcome, PaneColors::light()), window);
    // The report's lines: those of the steps that have one, then the photo's.
    QStringList lines;
    for (const PhotoStep &photoStep : steps) {
        if (const QString line = headlessStepLine(photoStep); !line.isEmpty())
            lines << line;
    }
    QCOMPARE((lines << headlessReportLine(photoOutcome)).join('\n'), headless);
}

void PresentationTest::runEvents_data() {
    QTest::addColumn<RunEvent>("event");
    QTest::addColumn<QStringList>("window"); // status texts first, then the messages

    const auto event = [](RunEvent::Kind kind, const QString &eventFolder = folder) {
        RunEvent runEvent;
        runEvent.kind = kind;
        runEvent.folder = eventFolder;
        return runEvent;
    };
    QTest::newRow("user batch starts")
        << event(RunEvent::ScanStarted)
        << QStringList{"[M] <hr>Folder: /photos<br>Scanning folder contents. <br><b>Please wait. "
                       "A summary will be shown after rotating is finished...</b><br>"};
    QTest::newRow("no folder") << event(RunEvent::FolderNotOpened, QString())
                               << QStringList{"[M] Failed opening folder , this usually indicates "
                                              "corrupted file system or hardware."};
    RunEvent notOpened = event(RunEvent::FolderNotOpened);
    notOpened.reason = "Permission denied";
    QTest::newRow("folder not opened, with the reason")
        << notOpened << QStringList{"[M] Failed opening folder /photos: Permission denied."};
    RunEvent notRead = event(RunEvent::EntryNotRead);
    notRead.path = "/photos/sub";
    notRead.reason = "Permission denied";
    QTest::newRow("a folder not read")
        << notRead << QStringList{"[M] Could not read /photos/sub: Permission denied."};
    RunEvent leftovers = event(RunEvent::LeftoversRemoved);
    leftovers.count = 1;
    QTest::newRow("leftover temporary files removed")
        << leftovers
        << QStringList{"[D] <span>Removed 1 temporary file(s) that an earlier Pivotta left in "
                       "/photos.</span>"};
    RunEvent counted = event(RunEvent::PhotosCounted);
    counted.count = 3;
    counted.total = 10;
    QTest::newRow("photos counted")
        << counted
        << QStringList{
               "[status 0] 3 photos with EXIF orientation metadata were found, out of 10 photos "
               "total."};
    QTest::newRow("a second user batch refused")
        << event(RunEvent::BatchRefused)
        << QStringList{
               "[status 5000] Rotating is already in progress. Please wait until it has finished."};
    QTest::newRow("a single photo refused")
        << event(RunEvent::SinglePhotoRefused)
        << QStringList{"[M] Photos are being rotated right now. Please try again when that has "
                       "finished."};
    RunEvent noticed = event(RunEvent::ChangeNoticed);
    noticed.time = QTime(17, 57, 32);
    QTest::newRow("a folder change noticed")
        << noticed
        << QStringList{"[status 10] 17:57:32 Possible folder content change detected, please "
                       "wait...",
                       "[D+dup] 17:57:32 Possible folder content change detected, please wait..."};
    QTest::newRow("recheck") << event(RunEvent::Rechecking)
                             << QStringList{"[M] Rechecking for changed photos since start of "
                                            "previous operation... "};
    QTest::newRow("interrupted") << event(RunEvent::Interrupted)
                                 << QStringList{"[M] \n\nRotating interrupted."};
    RunEvent nothingToTurn = event(RunEvent::NoTurnFound);
    nothingToTurn.path = "/photos/a.jpg";
    QTest::newRow("a single photo with nothing to turn")
        << nothingToTurn
        << QStringList{"[M] Automatic rotating requires EXIF orientation metadata to be present. "
                       "File " +
                       link("a.jpg", "a.jpg") +
                       " contains no such metadata, so Pivotta cannot know which way to rotate "
                       "it."};
    QTest::newRow("watching on, no folder")
        << event(RunEvent::WatchingOn, QString())
        << QStringList{"[M] Watching turned on. No folder selected for watching."};
    RunEvent watching = event(RunEvent::WatchingOn);
    watching.count = 1;
    QTest::newRow("watching on")
        << watching
        << QStringList{"[status 0] Watching for changes in /photos",
                       "[M] <hr><p><b>Watching for changes in /photos</b><br>Drop (copy) any file "
                       "into this folder. Pivotta will detect new files and rotate them.<br>(Only "
                       "photos that require rotating will show output here.)</p>"};
    RunEvent offByUser = event(RunEvent::WatchingOff);
    offByUser.count = 1;
    offByUser.byUser = true;
    QTest::newRow("watching turned off by the user")
        << offByUser
        << QStringList{"[status 0] ", "[M] <p><b>No longer watching for changes.</b><br>"};
    RunEvent off = offByUser;
    off.byUser = false;
    QTest::newRow("watching turned off") << off << QStringList{"[status 0] "};
    QTest::newRow("watched folder gone")
        << event(RunEvent::WatchedFolderGone)
        << QStringList{"[status 0] ",
                       "[M] <p><b>The watched folder /photos is no longer there.</b><br>It was "
                       "deleted, renamed or moved. Choose a folder again to go on watching.</p>"};
    QTest::newRow("a further change")
        << event(RunEvent::FurtherChange) << QStringList{"[M+mark Further changes noticed:]  ."};
    RunEvent lost = event(RunEvent::NotificationsLost);
    lost.count = 3;
    QTest::newRow("notifications lost")
        << lost
        << QStringList{"[M] <p>More changes came at once than the system could report: looking "
                       "again at the 3 watched folder(s) in /photos.</p>"};
    RunEvent limit = event(RunEvent::WatchLimitReached);
    limit.count = 2;
    limit.total = 8192;
    QTest::newRow("watch limit reached")
        << limit
        << QStringList{
               "[M] <p><b>2 folder(s) in /photos cannot be watched: the system&#39;s limit of "
               "watched folders is reached. The folders watched so far are still watched. "
               "The limit is fs.inotify.max_user_watches = 8192. To raise it now: sudo "
               "sysctl fs.inotify.max_user_watches=524288. To keep it after a restart, "
               "put the line fs.inotify.max_user_watches=524288 into a file in "
               "/etc/sysctl.d/, for example /etc/sysctl.d/90-pivotta-watches.conf.</b>"
               "</p>"};
    RunEvent unknownLimit = limit;
    unknownLimit.total = 0;
    QTest::newRow("watch limit reached, limit unknown")
        << unknownLimit
        << QStringList{
               "[M] <p><b>2 folder(s) in /photos cannot be watched: the system&#39;s limit of "
               "watched folders is reached. The folders watched so far are still "
               "watched.</b></p>"};
}

void PresentationTest::runEvents() {
    QFETCH(RunEvent, event);
    QFETCH(QStringList, window);

    QStringList shown;
    const StatusText status = eventStatus(event);
    if (status.shown)
        shown << QString("[status %1] %2").arg(status.timeoutMs).arg(status.text);
    shown << described(eventMessages(event, PaneColors::light()));
    QCOMPARE(shown, window);
    // The headless report tells what could not be read, and what watching without a window
    // needs to say.
    const QString headless = headlessEventLine(event);
    if (event.kind == RunEvent::WatchingOn && event.count > 0)
        QCOMPARE(headless, QString("Watching for changes in /photos; SIGINT or SIGTERM ends "
                                   "watching."));
    else if (event.kind == RunEvent::WatchedFolderGone)
        QCOMPARE(headless, QString("The watched folder /photos is no longer there."));
    else if (event.kind == RunEvent::WatchLimitReached)
        QCOMPARE("[M] <p><b>" + QString(headless).replace("'", "&#39;") + "</b></p>",
                 window.last());
    else if (event.kind == RunEvent::EntryNotRead)
        QCOMPARE(headless, QString("not read: /photos/sub (Permission denied)"));
    else if (event.kind == RunEvent::LeftoversRemoved)
        QCOMPARE(headless,
                 QString("Removed 1 temporary file(s) that an earlier Pivotta left in /photos."));
    else if (event.kind == RunEvent::NotificationsLost)
        QCOMPARE(headless, QString("More changes came at once than the system could report: "
                                   "looking again at the 3 watched folder(s) in /photos."));
    else if (event.kind == RunEvent::FolderNotOpened)
        QCOMPARE(headless, event.reason.isEmpty() ? QString("not read: ")
                                                  : "not read: /photos (Permission denied)");
    else
        QCOMPARE(headless, QString());
}

void PresentationTest::summary() {
    RunSummary batch;
    batch.kind = RunSummary::UserBatch;
    batch.folder = "/photos";
    batch.photosToRotate = 1;
    batch.entriesSeen = 1;
    batch.failed = 1;
    batch.interrupted = true;
    batch.elapsedMs = 800;
    batch.endTime = QTime(17, 57, 32);

    QCOMPARE(described(summaryMessages(batch)),
             (QStringList{"[M] <hr>Folder: " + QDir::toNativeSeparators("/photos"),
                          "[M] 1 image(s) with EXIF orientation metadata were found, out of 1 "
                          "photo(s) total.",
                          "[M] 0 image(s) were successfully rotated.",
                          "[M] 1 photo(s) could not be rotated.",
                          "[M] 17:57:32 <b>The operation took  0.8 seconds (single-process). </b>",
                          "[M] \n"}));
    QCOMPARE(headlessSummaryLines(batch),
             (QStringList{"Rotating interrupted.", "Folder: " + QDir::toNativeSeparators("/photos"),
                          "1 image(s) with EXIF orientation metadata were found, out of 1 "
                          "photo(s) total.",
                          "0 image(s) were successfully rotated.",
                          "1 photo(s) could not be rotated.", "The operation took 0.8 seconds."}));
    // Photos that ran side by side are counted in the duration line.
    batch.mostAtOnce = 3;
    QVERIFY(described(summaryMessages(batch))
                .contains("[M] 17:57:32 <b>The operation took  0.8 seconds (3 photos side by "
                          "side). </b>"));
    QVERIFY(headlessSummaryLines(batch).contains(
        "The operation took 0.8 seconds (3 photos side by side)."));
    // A dry run tells what it would have rotated.
    RunSummary dryRun = batch;
    dryRun.dryRun = true;
    dryRun.wouldRotate = 4;
    QVERIFY(described(summaryMessages(dryRun)).contains("[M] 4 image(s) would be rotated."));
    QVERIFY(headlessSummaryLines(dryRun).contains("4 image(s) would be rotated."));
    QVERIFY(!described(summaryMessages(dryRun)).join('\n').contains("successfully"));
    // A headless run of several destinations names them and counts those not found.
    const QStringList several = headlessSummaryLines(batch, {"/photos/a.jpg", "/photos/trip"}, 2);
    QVERIFY(several.contains("Folders and photos: " + QDir::toNativeSeparators("/photos/a.jpg") +
                             ", " + QDir::toNativeSeparators("/photos/trip")));
    QVERIFY(several.contains("2 folder(s) or photo(s) not found."));
    // Photos left for a later run are counted apart from the failures, after them.
    batch.leftForLater = 3;
    const QString left = "3 photo(s) were left for a later run (still being written, changed "
                         "meanwhile or in use by another program).";
    const QStringList batchMessages = described(summaryMessages(batch));
    QCOMPARE(batchMessages.indexOf("[M] " + left),
             batchMessages.indexOf("[M] 1 photo(s) could not be rotated.") + 1);
    const QStringList batchLines = headlessSummaryLines(batch);
    QCOMPARE(batchLines.indexOf(left), batchLines.indexOf("1 photo(s) could not be rotated.") + 1);
    // Folders and files that could not be read are counted too.
    batch.notRead = 2;
    QVERIFY(described(summaryMessages(batch))
                .contains("[M] 2 folder(s) or file(s) could not be read."));
    QVERIFY(headlessSummaryLines(batch).contains("2 folder(s) or file(s) could not be read."));
    // Where the originals went is the headless report's last line.
    batch.trashFolders = QStringList{"/home/u/.local/share/Trash", "/media/card/.Trash-1000"};
    QCOMPARE(headlessSummaryLines(batch).last(),
             QDir::toNativeSeparators("The original photos are in the trash: "
                                      "/home/u/.local/share/Trash, /media/card/.Trash-1000"));
    // Watcher runs and single photos end without a summary in the panes.
    batch.kind = RunSummary::WatcherRun;
    QCOMPARE(summaryMessages(batch), QList<OutputMessage>());
    batch.kind = RunSummary::SinglePhoto;
    QCOMPARE(summaryMessages(batch), QList<OutputMessage>());
}

void PresentationTest::namesStayOnTheirLine_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a forged line")
        << QString::fromUtf8("x\nrotated: /home/me/a.jpg (90° clockwise)\nz.jpg")
        << QString::fromUtf8("x\\nrotated: /home/me/a.jpg (90° clockwise)\\nz.jpg");
    QTest::newRow("tab and carriage return") << "a\tb\rc.jpg"
                                             << "a\\tb\\rc.jpg";
    QTest::newRow("terminal escapes") << "\x1b[2J\x1b]0;title\x07.jpg"
                                      << "\\x1b[2J\\x1b]0;title\\x07.jpg";
    QTest::newRow("delete and a C1 control") << QString("a\x7f") + QChar(0x9b) + "b.jpg"
                                             << "a\\x7f\\u009bb.jpg";
    QTest::newRow("text direction reversed") << QString("photo") + QChar(0x202e) + "gpj.exe"
                                             << "photo\\u202egpj.exe";
    QTest::newRow("line separator") << QString("a") + QChar(0x2028) + "b.jpg"
                                    << "a\\u2028b.jpg";
#ifndef Q_OS_WIN
    // A backslash is part of the name here: the escape of a real line break and a name that
    // holds a backslash and an "n" must not look alike.
    QTest::newRow("backslash") << "a\\nb.jpg"
                               << "a\\\\nb.jpg";
#endif
    QTest::newRow("ordinary characters stay")
        << QString::fromUtf8("Ünïcode 写真 & 'q' 100% %1 %2.jpg")
        << QString::fromUtf8("Ünïcode 写真 & 'q' 100% %1 %2.jpg");
}

// A name can neither end its line of the headless report nor forge another: every line that
// names a photo, a folder or a destination shows its control characters escaped, one line each.
void PresentationTest::namesStayOnTheirLine() {
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(escapeControlCharacters(name), shown);

    const QString path = "/photos/" + name;
    const QString shownPath = QDir::toNativeSeparators("/photos/") + shown;
    PhotoOutcome rotated = outcome(PhotoOutcome::Rotated, name, Turn::Rotate90);
    PhotoOutcome notRead =
        outcome(PhotoOutcome::Failed, name, Turn::Rotate90, PhotoReason::NotRead);
    notRead.reason.error = path + ": Permission denied";
    RunEvent entryNotRead;
    entryNotRead.kind = RunEvent::EntryNotRead;
    entryNotRead.path = path;
    entryNotRead.reason = "Permission denied";
    RunEvent folderGone;
    folderGone.kind = RunEvent::WatchedFolderGone;
    folderGone.folder = path;
    RunSummary summary;
    summary.folder = path;
    summary.trashFolders = QStringList{path};

    const QStringList lines =
        QStringList{headlessReportLine(rotated), headlessReportLine(notRead),
                    headlessEventLine(entryNotRead), headlessEventLine(folderGone),
                    headlessNotFoundLine(path)} +
        headlessSummaryLines(summary) + headlessSummaryLines(summary, {path, "/photos/b.jpg"});
    QCOMPARE(lines.at(0), "rotated: " + shownPath + " (90° clockwise)");
    QCOMPARE(lines.at(1), "failed: " + shownPath + " (it could not be read (" +
                              QDir::toNativeSeparators("/photos/") + shown +
                              ": Permission denied))");
    QCOMPARE(lines.at(2), "not read: " + shownPath + " (Permission denied)");
    QCOMPARE(lines.at(3), "The watched folder " + shownPath + " is no longer there.");
    QCOMPARE(lines.at(4), "not found: " + shownPath);
    QVERIFY(lines.contains("Folder: " + shownPath));
    QVERIFY(lines.contains("The original photos are in the trash: " + shownPath));
    QVERIFY(lines.contains("Folders and photos: " + shownPath + ", " +
                           QDir::toNativeSeparators("/photos/b.jpg")));
    for (const QString &line : lines) {
        const bool controlFree = std::none_of(line.cbegin(), line.cend(), [](QChar c) {
            return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f) ||
                   c.unicode() == 0x2028 || c.unicode() == 0x202e;
        });
        QVERIFY2(controlFree, qPrintable(line));
    }
}

// Progress marks keep to a line of their own that says what they count: none stands alone after
// the summary's empty line, and none follows another message's full stop.
void PresentationTest::progressMarksKeepToTheirLine() {
    MessageLog log;
    PaneWording *wording = log.wording();
    RunSummary batch;
    batch.folder = folder;
    wording->tellSummary(batch);
    RunEvent furtherChange;
    furtherChange.kind = RunEvent::FurtherChange;
    wording->tellEvent(furtherChange);
    wording->tellEvent(furtherChange);
    PhotoStep trimmed = step(PhotoStep::EdgesTrimmed, "a.jpg");
    trimmed.trim = {8, 0};
    wording->tellStep(trimmed);
    PhotoStep unusable = step(PhotoStep::ExifUnusable, "n.jpg");
    unusable.inUserBatch = true;
    unusable.check.parserThrew = true;
    wording->tellStep(unusable);
    wording->tellStep(unusable);
    wording->tellEvent(furtherChange);

    const QStringList lines = log.mainText().split('\n');
    QCOMPARE(
        lines.mid(lines.size() - 4),
        (QStringList{"Further changes noticed: . .", "a.jpg: 8 columns of edge pixels dropped.",
                     "Photos without usable EXIF orientation: . .", "Further changes noticed: ."}));
    for (const QString &line : lines) {
        QVERIFY2(!line.trimmed().startsWith('.'), qPrintable(log.mainText()));
        QVERIFY2(!line.contains(".."), qPrintable(log.mainText()));
    }
}

// A photo's way through the detailed pane as a user reads it: each fact on a line of its own, the
// turn named as in the main pane, the path shown as it is.
void PresentationTest::detailedPaneReadsLineByLine() {
    MessageLog log;
    PaneWording *wording = log.wording();
    const QString name = "a & b.jpg";
    PhotoStep timeRead = step(PhotoStep::TimeRead, name);
    timeRead.time = modifiedAt;
    PhotoStep reset = step(PhotoStep::OrientationToolRan, name);
    reset.tool.standardOutput = "Exif.Image.Orientation 1";
    reset.tool.standardError = "Warning: unexpected next pointer";
    for (const PhotoStep &photoStep : {timeRead, turnAnnounced(name, Turn::Rotate270),
                                       step(PhotoStep::ThumbnailTurned, name), reset})
        wording->tellStep(photoStep);
    wording->tellOutcome(outcome(PhotoOutcome::Rotated, name, Turn::Rotate270));

    QStringList lines = log.detailedText().split('\n');
    lines.removeAll(QString());
    QCOMPARE(lines, (QStringList{"/photos/a & b.jpg: Reading original modification date Thu Jan 2 "
                                 "03:04:05 2020",
                                 "17:57:31 Rotating 90° CCW a & b.jpg",
                                 "/photos/a & b.jpg: EXIF thumbnail turned too.",
                                 "Exif.Image.Orientation 1", "Warning: unexpected next pointer",
                                 "Done with success."}));
}

// Headings and plain text take the panes' text colour, links, turns, notes, failures and tool
// errors the colour set's: each must read on both dark panes.
void PresentationTest::darkMessagesReadOnDarkPanes() {
    const QString sheet = themeStyleSheet(Theme::Dark);
    for (const QString &pane : {QString("#cmdLineOutput"), QString("#cmdLineOutput_2")}) {
        const QStringList backgrounds = ruleValues(sheet, pane, "background-color");
        const QStringList texts = ruleValues(sheet, pane, "color");
        QCOMPARE(backgrounds.size(), 1);
        QCOMPARE(texts.size(), 1);
        const QColor background(backgrounds.first());
        QVERIFY2(luminance(background) < 0.05, qPrintable(pane + " " + background.name()));
        for (const QString &color : PaneColors::dark().all() + texts) {
            const double ratio = contrast(QColor(color), background);
            QVERIFY2(ratio >= 4.5, qPrintable(QString("%1 on %2 in %3: contrast %4")
                                                  .arg(color, background.name(), pane)
                                                  .arg(ratio, 0, 'f', 2)));
        }
    }
}

// No message keeps a colour of its own in the dark theme: every colour comes from the dark set.
void PresentationTest::darkMessagesUseOnlyTheDarkColours() {
    const QRegularExpression colorPattern("color:\\s*(#[0-9a-fA-F]{3,8})");
    const QStringList dark = PaneColors::dark().all();
    QStringList lines;
    for (const PhotoRow &row : photoRows().rows)
        lines << windowLines(row.steps, row.outcome, PaneColors::dark());
    for (int kind = RunEvent::BatchRefused; kind <= RunEvent::FurtherChange; ++kind) {
        RunEvent event;
        event.kind = RunEvent::Kind(kind);
        event.folder = folder;
        event.path = folder + "/a.jpg";
        event.count = 1;
        event.byUser = true;
        lines << described(eventMessages(event, PaneColors::dark()));
    }
    int colorsSeen = 0;
    for (const QString &line : std::as_const(lines)) {
        for (const QRegularExpressionMatch &match : colorPattern.globalMatch(line)) {
            ++colorsSeen;
            QVERIFY2(dark.contains(match.captured(1)), qPrintable(line));
        }
    }
    QVERIFY(colorsSeen > 20);
}

// The wording object takes the colour set it is given, for the messages to come.
void PresentationTest::wordingFollowsItsColours() {
    PaneWording wording;
    QStringList said;
    connect(&wording, &PaneWording::message, this,
            [&said](const OutputMessage &message) { said << message.text; });
    const PhotoOutcome stopped =
        outcome(PhotoOutcome::Left, "s.jpg", Turn::Rotate90, PhotoReason::Stopped);

    wording.tellOutcome(stopped);
    wording.setColors(PaneColors::dark());
    wording.tellOutcome(stopped);

    QCOMPARE(said.size(), 2);
    QVERIFY(said.first().contains("color:#333"));
    QCOMPARE(said.last(), QString(said.first()).replace("color:#333", "color:#eee"));
}

// The edges a turn dropped and the sides it would cut, as the panes and the report word them.
void PresentationTest::pictureGeometryTexts() {
    QCOMPARE(edgeTrimText({1, 15}), QString("15 rows and 1 column of edge pixels dropped."));
    QCOMPARE(edgeTrimText({7, 0}), QString("7 columns of edge pixels dropped."));
    QCOMPARE(edgeTrimText({0, 1}), QString("1 row of edge pixels dropped."));
    QCOMPARE(edgeTrimText({}), QString());

    PictureFrame frame{1201, 799, 16, 16, true, false};
    QCOMPARE(imperfectionReason(frame),
             QString("its width of 1201 pixels is not a multiple of the block size 16"));
    frame.heightCut = true;
    QCOMPARE(imperfectionReason(frame),
             QString("its width of 1201 pixels is not a multiple of the block size 16 and its "
                     "height of 799 pixels is not a multiple of the block size 16"));
    frame.widthCut = frame.heightCut = false;
    QCOMPARE(imperfectionReason(frame), QString());
}

QTEST_MAIN(PresentationTest)
#include "tst_presentation.moc"
