// The pictures a photo holds: the primary picture, and after its end the further JPEG pictures
// that its multi-picture index (MPF) or its XMP container directory names (gain maps, previews),
// and the other data that lies there (a motion photo's video, padding), kept byte for byte. Pure
// functions over the photo's bytes, which are untrusted: a layout that cannot be told for sure is
// a problem, never a guess.
#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>
#include <vector>

#include "exif/xmppacket.h"
#include "jpeg/jpegstructure.h"
#include "jpeg/multipictureindex.h"

// One item of an XMP container directory (namespaces http://ns.google.com/photos/1.0/container/
// and .../container/item/): Container:Item with Item:Semantic, Item:Mime, Item:Length and
// Item:Padding, as attributes or as elements.
struct ContainerItem {
    QByteArray semantic;
    QByteArray mime;
    qint64 length = -1; // -1 when the item gives none
    qint64 padding = 0; // bytes between the item's end and the next item
    bool hasLengthSlot = false;
    Xmp::ValueSlot lengthSlot; // where Item:Length's value stands in the packet

    bool isJpeg() const;
};

struct ContainerDirectory {
    enum Status {
        Absent,     // no Container:Directory
        Read,       // the items below, in the order of the directory
        Unreadable, // a packet that mentions the container but does not scan, or a length or
                    // padding that is no number
    };
    Status status = Absent;
    std::vector<ContainerItem> items;
};

// The container directory of an XMP packet.
ContainerDirectory readContainerDirectory(std::string_view packet);
// The XMP packet of an APP1 segment whose payload is `xmpSegment`; empty when there is none.
std::string_view xmpPacketOf(const QByteArray &jpeg, const FileRange &xmpSegment);

// A stretch of the data after the primary picture's end.
struct TrailingPart {
    enum Kind {
        Picture,   // a further JPEG picture, to be turned with the primary
        OtherData, // anything else, kept as it is
    };
    Kind kind = OtherData;
    FileRange range;          // where it lies in the photo
    qint64 pictureLength = 0; // Picture: the picture itself, up to its end marker; the rest of
                              // the range (padding the index counts in) stays as it is after it
    int indexEntry = -1;      // the MPF entry that lists it; -1 for none
    int containerItem = -1;   // the container item that names it; -1 for none
};

enum class PicturesProblem {
    None,
    PrimaryIncomplete,   // the primary picture does not parse whole (detail: why)
    IndexUnreadable,     // an MPF index that cannot be read, or whose first entry is no primary
    ContainerUnreadable, // a container directory that cannot be read, or whose JPEG items cannot
                         // be placed in the file by their lengths
    OutsideFile,         // a listed picture lies outside the data after the primary
    Overlapping,         // two listed pictures overlap
    Disagreeing,         // the index and the container directory place a picture differently
    NotJpeg,             // a listed picture is not a whole JPEG picture (detail: why)
};

struct PhotoPictures {
    PicturesProblem problem = PicturesProblem::None;
    int problemIndexEntry = -1;    // the MPF entry concerned, or -1
    int problemContainerItem = -1; // the container item concerned, or -1
    QString problemDetail;

    JpegStructure primary;
    MultiPictureIndex index;
    ContainerDirectory container;
    // Everything after the primary picture's end, in file order, each byte in exactly one part.
    std::vector<TrailingPart> parts;

    bool isUsable() const { return problem == PicturesProblem::None; }
    int pictureCount() const;
    // The bytes of each further picture, in the order of `parts`: what jpegtran turns.
    std::vector<FileRange> picturesToTurn() const;
    // Whether the container directory names further picture `picture` (counted from 0 in
    // picturesToTurn()) a gain map.
    bool isGainMap(size_t picture) const;
};

PhotoPictures describePictures(const QByteArray &photo);
