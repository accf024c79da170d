// Test photos made with the real tools from the shared orientation photos.
#include "craftedphotos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "exif/jpegmarkers.h"

namespace CraftedPhotos {

namespace {

QString sharedLandscape(int orientation) {
    return QString(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_%1.jpg").arg(orientation);
}

QString sourceOf(const Recipe &recipe) {
    return recipe.source.isEmpty() ? sharedLandscape(recipe.orientation) : recipe.source;
}

bool fail(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}

bool runStep(const QString &program, const QStringList &arguments, QString *error) {
    QString output;
    if (run(program, arguments, &output))
        return true;
    return fail(error, program + " " + arguments.join(' ') + ": " + output);
}

// Replaces `target` by the output of a step that reads `target` and writes `next`.
bool replaceWith(const QString &next, const QString &target, QString *error) {
    if (!QFile::remove(target) || !QFile::rename(next, target))
        return fail(error, "cannot replace " + target);
    return true;
}

bool resave(const Recipe &recipe, const QString &target, QString *error) {
    QStringList arguments{target};
    if (recipe.size.isValid())
        arguments << "-resize"
                  << QString("%1x%2!").arg(recipe.size.width()).arg(recipe.size.height());
    if (recipe.sampling == "gray")
        arguments << "-colorspace"
                  << "Gray";
    else
        arguments << "-sampling-factor" << recipe.sampling;
    const QString next = target + ".next.jpg";
    arguments << "-quality" << QString::number(recipe.quality) << next;
    return runStep("convert", arguments, error) && replaceWith(next, target, error);
}

bool cut(const QSize &size, const QString &target, QString *error) {
    const QString next = target + ".next";
    const QString region = QString("%1x%2+0+0").arg(size.width()).arg(size.height());
    return runStep("jpegtran", {"-copy", "all", "-crop", region, "-outfile", next, target},
                   error) &&
           replaceWith(next, target, error);
}

bool recode(const Recipe &recipe, const QString &target, QString *error) {
    QStringList arguments{"-copy", "all"};
    if (!recipe.standardTables && !recipe.arithmetic) // jpegtran refuses the two together
        arguments << "-optimize";
    if (recipe.progressive)
        arguments << "-progressive";
    if (recipe.arithmetic)
        arguments << "-arithmetic";
    if (!recipe.restart.isEmpty())
        arguments << "-restart" << recipe.restart;
    const QString next = target + ".next";
    arguments << "-outfile" << next << target;
    return runStep("jpegtran", arguments, error) && replaceWith(next, target, error);
}

// A thumbnail as cameras write them, put into IFD1 by exiv2 (which reads it from
// "<name>-thumb.jpg" beside the photo).
bool addThumbnail(const QString &target, QString *error) {
    const QFileInfo info(target);
    const QString thumb = info.absolutePath() + "/" + info.completeBaseName() + "-thumb.jpg";
    const bool made =
        makeSmallPicture(target, thumb, error) && runStep("exiv2", {"-it", target}, error);
    QFile::remove(thumb);
    return made;
}

QByteArray littleEndian(quint32 value, int size) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char((value >> (8 * i)) & 0xFF);
    return bytes;
}

int afterLeadingAppSegments(const QByteArray &bytes) {
    int at = 2;
    while (at + 4 <= bytes.size() && uchar(bytes[at]) == 0xFF &&
           (uchar(bytes[at + 1]) == 0xE0 || uchar(bytes[at + 1]) == 0xE1))
        at += 2 + (uchar(bytes[at + 2]) << 8 | uchar(bytes[at + 3]));
    return at;
}

bool readAll(const QString &path, QByteArray *bytes, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, "cannot read " + path);
    *bytes = file.readAll();
    return true;
}

bool writeAll(const QString &path, const QByteArray &bytes, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return fail(error, "cannot write " + path);
    return true;
}

// An MPF index in APP2 (little-endian) listing the main image at offset 0 and the small picture
// appended after it, at an offset counted from the index's TIFF header.
bool addSecondPicture(const QString &target, QString *error) {
    QByteArray bytes, second;
    const QString small = target + ".second.jpg";
    const bool made = makeSmallPicture(target, small, error) && readAll(small, &second, error) &&
                      readAll(target, &bytes, error);
    QFile::remove(small);
    if (!made)
        return false;
    const int segmentAt = afterLeadingAppSegments(bytes);
    const int entriesAt = 8 + 2 + 3 * 12 + 4;
    const int payloadLength = 4 + entriesAt + 32;
    const int headerAt = segmentAt + 4 + 4;
    const int mainSize = bytes.size() + 4 + payloadLength;
    QByteArray payload("MPF\0II*\0", 8);
    payload += littleEndian(8, 4) + littleEndian(3, 2);
    payload += littleEndian(0xB000, 2) + littleEndian(7, 2) + littleEndian(4, 4) + "0100";
    payload +=
        littleEndian(0xB001, 2) + littleEndian(4, 2) + littleEndian(1, 4) + littleEndian(2, 4);
    payload += littleEndian(0xB002, 2) + littleEndian(7, 2) + littleEndian(32, 4) +
               littleEndian(entriesAt, 4);
    payload += littleEndian(0, 4);
    payload += littleEndian(0x20030000, 4) + littleEndian(mainSize, 4) + littleEndian(0, 4) +
               littleEndian(0, 4);
    payload += littleEndian(0x00010002, 4) + littleEndian(second.size(), 4) +
               littleEndian(mainSize - headerAt, 4) + littleEndian(0, 4);
    QByteArray segment("\xFF\xE2", 2);
    segment += char((payloadLength + 2) >> 8);
    segment += char((payloadLength + 2) & 0xFF);
    bytes.insert(segmentAt, segment + payload);
    return writeAll(target, bytes + second, error);
}

bool hasContainer(const Recipe &recipe) {
    if (recipe.videoBytes > 0)
        return true;
    for (const FurtherPicture &picture : recipe.furtherPictures) {
        if (picture.inContainer)
            return true;
    }
    return false;
}

QByteArray containerItem(const QByteArray &semantic, const QByteArray &mime, qint64 length) {
    QByteArray item = "<rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Semantic=\"" +
                      semantic + "\" Item:Mime=\"" + mime + "\"";
    if (length >= 0)
        item += " Item:Length=\"" + QByteArray::number(length) + "\" Item:Padding=\"0\"";
    return item + "/></rdf:li>";
}

// A container directory as phones write it: the primary, then the items after it in order.
QByteArray containerDirectory(const Recipe &recipe, const QList<QByteArray> &pictures) {
    QByteArray items = containerItem("Primary", "image/jpeg", -1);
    for (int i = 0; i < recipe.furtherPictures.size(); ++i) {
        if (recipe.furtherPictures[i].inContainer)
            items += containerItem("GainMap", "image/jpeg", pictures[i].size());
    }
    if (recipe.videoBytes > 0)
        items += containerItem("MotionPhoto", "video/mp4", recipe.videoBytes);
    return "<Container:Directory><rdf:Seq>" + items + "</rdf:Seq></Container:Directory>";
}

QByteArray xmpPacket(const Recipe &recipe, const QList<QByteArray> &pictures) {
    QByteArray attributes, children;
    if (recipe.xmpElementForm)
        children = "<tiff:Orientation>" + QByteArray::number(recipe.xmpOrientation) +
                   "</tiff:Orientation>";
    else if (recipe.xmpOrientation)
        attributes = " tiff:Orientation=\"" + QByteArray::number(recipe.xmpOrientation) + "\"";
    else
        attributes = " tiff:Make=\"Crafted\"";
    if (hasContainer(recipe)) {
        attributes += " xmlns:Container=\"http://ns.google.com/photos/1.0/container/\""
                      " xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"";
        children += containerDirectory(recipe, pictures);
    }
    const QByteArray description =
        children.isEmpty() ? attributes + "/>" : attributes + ">" + children + "</rdf:Description>";
    return "http://ns.adobe.com/xap/1.0/" + QByteArray(1, '\0') +
           "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"" +
           description + "</rdf:RDF></x:xmpmeta>" + QByteArray(recipe.xmpPadding, ' ') +
           "<?xpacket end=\"w\"?>";
}

// The XMP segment goes after the leading APP0 and APP1 segments, as cameras place it.
bool addXmp(const Recipe &recipe, const QList<QByteArray> &pictures, const QString &target,
            QString *error) {
    QByteArray bytes;
    if (!readAll(target, &bytes, error))
        return false;
    const QByteArray payload = xmpPacket(recipe, pictures);
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF));
    bytes.insert(afterLeadingAppSegments(bytes), segment + payload);
    return writeAll(target, bytes, error);
}

bool storeOrientationAsLong(int orientation, const QString &target, QString *error) {
    return runStep("exiv2",
                   {"-M", QString("set Exif.Image.Orientation Long %1").arg(orientation), target},
                   error);
}

// APP1 "Exif" with a big-endian IFD0 of one entry, orientation 3, inside a comment segment.
bool addFakeExifComment(const QString &target, QString *error) {
    QByteArray bytes;
    if (!readAll(target, &bytes, error))
        return false;
    const QByteArray tiff = QByteArray::fromHex("4D4D002A00000008"         // header, IFD0 at 8
                                                "0001"                     // one entry
                                                "011200030000000100030000" // orientation 3
                                                "00000000");               // no IFD1
    const QByteArray app1 = QByteArray("\xFF\xE1", 2) + char(0) + char(2 + 6 + tiff.size()) +
                            QByteArray("Exif\0\0", 6) + tiff;
    const QByteArray comment = QByteArray("\xFF\xFE", 2) + char(0) + char(2 + app1.size()) + app1;
    bytes.insert(2, comment);
    return writeAll(target, bytes, error);
}

QByteArray packed(quint32 value, int size, bool bigEndian) {
    QByteArray bytes = littleEndian(value, size);
    if (bigEndian)
        std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// A segment with `marker` and `payload`, put after the picture's leading APP0 and APP1 segments.
bool insertSegment(const QString &target, int marker, const QByteArray &payload, QString *error) {
    QByteArray bytes;
    if (!readAll(target, &bytes, error))
        return false;
    QByteArray segment(1, char(0xFF));
    segment.append(char(marker)).append(char((payload.size() + 2) >> 8));
    segment.append(char((payload.size() + 2) & 0xFF));
    bytes.insert(afterLeadingAppSegments(bytes), segment + payload);
    return writeAll(target, bytes, error);
}

// Each further picture's bytes, made from the shared photo.
bool makeFurtherPictures(const Recipe &recipe, const QString &target, QList<QByteArray> *pictures,
                         QString *error) {
    for (int i = 0; i < recipe.furtherPictures.size(); ++i) {
        const FurtherPicture &wanted = recipe.furtherPictures[i];
        if (wanted.notJpeg) {
            *pictures << ("NOT A JPEG " + CraftedPhotos::trailerPattern(wanted.size.width() * 10));
            continue;
        }
        const QString file = QString("%1.picture%2.jpg").arg(target).arg(i);
        QByteArray bytes;
        const bool made =
            makePicture(sourceOf(recipe), wanted.size, file, error, wanted.grey) &&
            (!wanted.ownXmp || insertSegment(file, 0xE1, gainMapXmp(), error)) &&
            (wanted.orientation == 0 ||
             runStep("exiv2",
                     {"-M", QString("set Exif.Image.Orientation Short %1").arg(wanted.orientation),
                      file},
                     error)) &&
            readAll(file, &bytes, error);
        QFile::remove(file);
        if (!made)
            return false;
        *pictures << bytes;
    }
    return true;
}

// An MPF index in APP2 listing the main image at offset 0 and the pictures that ask for it at
// their offsets after it, counted from the index's TIFF header; then the pictures and the video.
bool addFurtherPictures(const Recipe &recipe, const QList<QByteArray> &pictures,
                        const QString &target, QString *error) {
    QByteArray bytes;
    if (!readAll(target, &bytes, error))
        return false;
    QList<int> listed;
    for (int i = 0; i < pictures.size(); ++i) {
        if (recipe.furtherPictures[i].inIndex)
            listed << i;
    }
    if (!listed.isEmpty()) {
        const bool big = recipe.bigEndianIndex;
        const quint32 count = quint32(listed.size() + 1);
        const int entriesAt = 8 + 2 + 3 * 12 + 4;
        const int payloadLength = 4 + entriesAt + 16 * int(count);
        const int segmentAt = afterLeadingAppSegments(bytes);
        const int headerAt = segmentAt + 4 + 4;
        const qint64 mainSize = bytes.size() + 4 + payloadLength;
        QByteArray payload("MPF\0", 4);
        payload += big ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
        payload += packed(8, 4, big) + packed(3, 2, big);
        payload += packed(0xB000, 2, big) + packed(7, 2, big) + packed(4, 4, big) + "0100";
        payload +=
            packed(0xB001, 2, big) + packed(4, 2, big) + packed(1, 4, big) + packed(count, 4, big);
        payload += packed(0xB002, 2, big) + packed(7, 2, big) + packed(16 * count, 4, big) +
                   packed(entriesAt, 4, big);
        payload += packed(0, 4, big);
        payload += packed(0x20030000, 4, big) + packed(quint32(mainSize), 4, big) +
                   packed(0, 4, big) + packed(0, 4, big);
        qint64 position = mainSize;
        for (int i = 0; i < pictures.size(); ++i) {
            if (listed.contains(i)) {
                // Gain maps are of no defined type; previews are large thumbnails.
                const quint32 type = recipe.furtherPictures[i].inContainer ? 0 : 0x00010002;
                payload += packed(type, 4, big) + packed(quint32(pictures[i].size()), 4, big) +
                           packed(quint32(position - headerAt), 4, big) + packed(0, 4, big);
            }
            position += pictures[i].size();
        }
        QByteArray segment("\xFF\xE2", 2);
        segment += char((payloadLength + 2) >> 8);
        segment += char((payloadLength + 2) & 0xFF);
        bytes.insert(segmentAt, segment + payload);
    }
    for (const QByteArray &picture : pictures)
        bytes += picture;
    if (recipe.videoBytes > 0)
        bytes += videoPattern(recipe.videoBytes);
    return writeAll(target, bytes, error);
}

bool appendTrailer(int length, const QString &target, QString *error) {
    QFile file(target);
    const QByteArray trailer = trailerPattern(length);
    if (!file.open(QIODevice::Append) || file.write(trailer) != trailer.size())
        return fail(error, "cannot append to " + target);
    return true;
}

} // namespace

bool run(const QString &program, const QStringList &arguments, QString *output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool makePhoto(const Recipe &recipe, const QString &target, QString *error) {
    QFile::remove(target);
    if (!QFile::copy(sourceOf(recipe), target) ||
        !QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner))
        return fail(error, "cannot copy the shared photo to " + target);
    const bool recoded = recipe.progressive || recipe.arithmetic || !recipe.restart.isEmpty() ||
                         recipe.standardTables;
    QList<QByteArray> pictures;
    const bool furtherData = !recipe.furtherPictures.isEmpty() || recipe.videoBytes > 0;
    return makeFurtherPictures(recipe, target, &pictures, error) &&
           (recipe.sampling.isEmpty() || resave(recipe, target, error)) &&
           (!recipe.sampling.isEmpty() || !recipe.size.isValid() ||
            cut(recipe.size, target, error)) &&
           (!recoded || recode(recipe, target, error)) &&
           (!recipe.orientationAsLong ||
            storeOrientationAsLong(recipe.orientation, target, error)) &&
           (!recipe.thumbnail || addThumbnail(target, error)) &&
           (!(recipe.xmpOrientation || recipe.xmpWithoutOrientation || hasContainer(recipe) ||
              recipe.xmpPadding) ||
            addXmp(recipe, pictures, target, error)) &&
           (!recipe.fakeExifInComment || addFakeExifComment(target, error)) &&
           (!recipe.secondPicture || addSecondPicture(target, error)) &&
           (!furtherData || addFurtherPictures(recipe, pictures, target, error)) &&
           (recipe.trailerBytes == 0 || appendTrailer(recipe.trailerBytes, target, error));
}

bool makeSmallPicture(const QString &source, const QString &target, QString *error) {
    const QString pixels = target + ".ppm";
    const QString coded = target + ".coded";
    const bool made =
        runStep("djpeg", {"-scale", "1/8", "-pnm", "-outfile", pixels, source}, error) &&
        runStep("cjpeg", {"-quality", "80", "-sample", "2x1", "-outfile", coded, pixels}, error) &&
        runStep("jpegtran", {"-copy", "none", "-crop", "160x120+0+0", "-outfile", target, coded},
                error);
    QFile::remove(pixels);
    QFile::remove(coded);
    return made;
}

bool makePicture(const QString &source, const QSize &size, const QString &target, QString *error,
                 bool grey) {
    const QString pixels = target + ".ppm";
    const QString coded = target + ".coded";
    const QString region = QString("%1x%2+0+0").arg(size.width()).arg(size.height());
    QStringList encoding{"-quality", "85"};
    if (grey)
        encoding << "-grayscale";
    const bool made =
        runStep("djpeg", {"-scale", "1/2", "-pnm", "-outfile", pixels, source}, error) &&
        runStep("cjpeg", encoding + QStringList{"-outfile", coded, pixels}, error) &&
        runStep("jpegtran", {"-copy", "none", "-crop", region, "-outfile", target, coded}, error);
    QFile::remove(pixels);
    QFile::remove(coded);
    return made;
}

QList<QByteArray> metadataSegments(const QByteArray &jpeg) {
    QList<QByteArray> segments;
    const auto *bytes = reinterpret_cast<const uint8_t *>(jpeg.constData());
    for (const JpegMarkers::Segment &found : JpegMarkers::headerSegments(bytes, jpeg.size())) {
        if ((found.marker >= 0xE0 && found.marker <= 0xEF) || found.marker == 0xFE)
            segments << char(found.marker) +
                            jpeg.mid(qint64(found.payloadAt), qint64(found.payloadLength));
    }
    return segments;
}

QByteArray gainMapXmp() {
    return "http://ns.adobe.com/xap/1.0/" + QByteArray(1, '\0') +
           "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "rdf:about=\"\" xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" "
           "hdrgm:Version=\"1.0\" hdrgm:GainMapMin=\"0\" hdrgm:GainMapMax=\"2.3\" "
           "hdrgm:Gamma=\"1\" hdrgm:OffsetSDR=\"0.015625\" hdrgm:OffsetHDR=\"0.015625\" "
           "hdrgm:HDRCapacityMin=\"0\" hdrgm:HDRCapacityMax=\"2.3\" "
           "hdrgm:BaseRenditionIsHDR=\"False\"/></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

QByteArray videoPattern(int length) {
    QByteArray bytes("\0\0\0\x18"
                     "ftypmp42\0\0\0\0mp42isom",
                     24);
    for (int i = 0; bytes.size() < length; ++i)
        bytes.append(char((i * 7) % 253));
    return bytes.left(length);
}

QByteArray trailerPattern(int length) {
    QByteArray bytes("PIVOTTA-TRAILER\xFF\xD9", 17);
    for (int i = 0; bytes.size() < length; ++i)
        bytes.append(char(i % 251));
    return bytes.left(length);
}

bool setExtendedAttribute(const QString &path, const QString &name, const QByteArray &value) {
    return run("setfattr", {"-n", name, "-v", "0x" + QString::fromLatin1(value.toHex()), path});
}

QByteArray extendedAttribute(const QString &path, const QString &name) {
    QProcess process;
    process.start("getfattr", {"--only-values", "--absolute-names", "-n", name, path});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

bool setAcl(const QString &path, const QString &aclEntries) {
    return run("setfacl", {"-m", aclEntries, path});
}

QString aclText(const QString &path) {
    QString output;
    if (!run("getfacl", {"--omit-header", "--absolute-names", path}, &output))
        return {};
    return output.trimmed();
}

bool setOwner(const QString &path, const QString &ownerAndGroup) {
    return run("chown", {ownerAndGroup, path});
}

bool makeHardLink(const QString &existing, const QString &newName) {
    std::error_code error;
    std::filesystem::create_hard_link(QFile::encodeName(existing).toStdString(),
                                      QFile::encodeName(newName).toStdString(), error);
    return !error;
}

FurtherPicture gainMap(QSize size) {
    FurtherPicture picture;
    picture.size = size;
    picture.inContainer = true;
    return picture;
}

FurtherPicture preview(QSize size, int orientation) {
    FurtherPicture picture;
    picture.size = size;
    picture.orientation = orientation;
    return picture;
}

Recipe recipe(int orientation, const QList<FurtherPicture> &pictures, bool bigEndianIndex,
              int videoBytes) {
    Recipe made;
    made.orientation = orientation;
    made.furtherPictures = pictures;
    made.bigEndianIndex = bigEndianIndex;
    made.videoBytes = videoBytes;
    return made;
}

} // namespace CraftedPhotos
