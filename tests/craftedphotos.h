// Test photos made on the fly from the shared orientation photos with the real tools (jpegtran,
// djpeg, cjpeg, exiv2 and, for re-saved sampling variants, ImageMagick's convert): progressive or
// arithmetic coding, a restart interval, standard or optimised tables, odd sizes, an EXIF
// thumbnail, XMP with tiff:Orientation, bytes after the image, an orientation stored as a LONG, a
// fake EXIF block inside a comment, further pictures (gain maps, previews) listed in a
// multi-picture index and an XMP container directory, a motion photo's video; and the
// file-system side: owner, extended attributes, hard links. Nothing binary is stored in the
// repository.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace CraftedPhotos {

// A further picture after the main image, as phones store gain maps and cameras previews: a piece
// of the photo at half its size, made anew with cjpeg.
struct FurtherPicture {
    QSize size{400, 300};
    bool grey = false;        // one grey component, as most gain maps are; else 2x2 colour
    bool ownXmp = false;      // an XMP segment of its own with a gain map's parameters
    int orientation = 0;      // an EXIF orientation of its own, set by exiv2; 0 for no EXIF
    bool inIndex = true;      // listed in the multi-picture index (MPF)
    bool inContainer = false; // named in the XMP container directory, with Item:Semantic GainMap
    bool notJpeg = false;     // bytes that are no JPEG picture stand where the picture should
};

// How to make one photo. The steps run in the order of the members.
struct Recipe {
    int orientation = 6; // the shared landscape photo with this EXIF orientation (0 to 8)
    // When set, this photo instead of the shared one (its own orientation stays); further
    // pictures are cut from it too.
    QString source;
    // When set ("4:2:0", "4:2:2", "4:4:4" or "gray"): re-saved by ImageMagick with that
    // sampling at `quality`, resized to `size` when that is valid.
    QString sampling;
    int quality = 90;
    // When valid (and no sampling is set): cut losslessly to this size from the top left.
    QSize size;
    bool progressive = false;
    bool arithmetic = false;
    QString restart;                // jpegtran's "-restart" value: "2" (rows) or "5B" (blocks)
    bool standardTables = false;    // written with the standard Huffman tables, not optimised ones
    bool orientationAsLong = false; // the EXIF orientation stored as a LONG, not a SHORT
    bool thumbnail = false;         // a 160x120 EXIF thumbnail in IFD1
    int xmpOrientation = 0;         // an XMP packet holding tiff:Orientation with this value
    bool xmpElementForm = false;    // <tiff:Orientation>6</tiff:Orientation> instead of ="6"
    bool xmpWithoutOrientation = false; // an XMP packet without tiff:Orientation
    int xmpPadding = 0;                 // white space the packet keeps for edits
    // A comment right after the start marker holding the bytes of an EXIF block whose
    // orientation is 3: a reader that takes the first FF E1 anywhere in the file believes it.
    bool fakeExifInComment = false;
    // A second, small picture right after the main image, listed with it in a multi-picture
    // index (MPF, APP2) as cameras store previews, depth maps and gain maps.
    bool secondPicture = false;
    // Further pictures right after the main image, in this order; the index (when any lists
    // them) in big-endian or little-endian byte order; a container directory in the XMP packet
    // when any picture is named there or there is a video.
    QList<FurtherPicture> furtherPictures;
    bool bigEndianIndex = false;
    int videoBytes = 0;   // a motion photo's "video" after the pictures, named in the container
    int trailerBytes = 0; // trailerPattern(trailerBytes) after the image and all else
};

// The recipes' usual pieces: a gain map named in the container (and listed in the index), a
// preview listed in the index only, and a photo with its further pictures.
FurtherPicture gainMap(QSize size = QSize(400, 300));
FurtherPicture preview(QSize size, int orientation = 0);
Recipe recipe(int orientation, const QList<FurtherPicture> &pictures, bool bigEndianIndex = false,
              int videoBytes = 0);

// Makes the photo at `target` (a new file in a temporary folder). On failure `error` says which
// step failed and how.
bool makePhoto(const Recipe &recipe, const QString &target, QString *error = nullptr);

// A small JPEG picture (160x120, 2x1 sampling, standard tables) made from `source`.
bool makeSmallPicture(const QString &source, const QString &target, QString *error = nullptr);
// A JPEG picture of `size` cut from `source` decoded at half its size; with `grey`, of one
// component.
bool makePicture(const QString &source, const QSize &size, const QString &target,
                 QString *error = nullptr, bool grey = false);

// The metadata segments ahead of a picture's first scan, in their order, each as its marker's
// code followed by its payload: APPn segments and comments.
QList<QByteArray> metadataSegments(const QByteArray &jpeg);

// The payload of an XMP segment that gives a gain map's parameters, as phones write them into
// the gain map itself.
QByteArray gainMapXmp();

// The bytes of a motion photo's video as crafted photos hold it: an MP4 file type box, then a
// counting pattern.
QByteArray videoPattern(int length);

// Recognisable bytes to put after an image: a short header, then a counting pattern that holds
// the bytes 0xFF 0xD9 (an end marker) on purpose.
QByteArray trailerPattern(int length);

// The file-system side, by the system's own tools (Linux).
bool setExtendedAttribute(const QString &path, const QString &name, const QByteArray &value);
QByteArray extendedAttribute(const QString &path, const QString &name);
bool setAcl(const QString &path, const QString &aclEntries); // setfacl -m
QString aclText(const QString &path);                        // getfacl, without the comment lines
bool setOwner(const QString &path, const QString &ownerAndGroup); // chown "nobody:nogroup"
bool makeHardLink(const QString &existing, const QString &newName);

// Runs a program with arguments and no shell; false unless it exits with 0. Its output goes to
// `output` when given.
bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);

} // namespace CraftedPhotos
