// Every orientation value a JPEG picture states, and setting them in place once the picture is
// turned: the Orientation entries of IFD0 (the picture's) and IFD1 (its thumbnail's) in the EXIF
// segment, SHORT or LONG, in either byte order, and tiff:Orientation in the XMP packet under any
// prefix, as attribute or element. Each edit is as long as what it replaces, so nothing else in
// the file moves. Pure functions over the picture's bytes, which are untrusted.
#pragma once

#include <QByteArray>

#include <vector>

struct OrientationValue {
    enum Place { Ifd0, Ifd1, Xmp };
    enum Form {
        Short,        // an EXIF entry of type SHORT
        Long,         // an EXIF entry of type LONG
        OtherType,    // an EXIF entry of another type, which readers pass over
        XmpAttribute, // tiff:Orientation="6"
        XmpElement,   // <tiff:Orientation>6</tiff:Orientation>
    };
    Place place = Ifd0;
    Form form = Short;
    qint64 at = -1;  // where the value stands: the entry's first value, or the XMP text
    qint64 size = 0; // its length in bytes
    // The value as read; -1 when there is none to read: another type, no value, values outside
    // the segment, or XMP text that is no number.
    qint64 value = -1;
    // Whether a value can be written there: SHORT or LONG with its first value inside the
    // segment, or XMP text of at least one character without markup.
    bool writable = false;
};

struct FoundOrientations {
    std::vector<OrientationValue> values;
    int unreadableXmpPackets = 0; // XMP packets that are not well formed: their values are unknown

    // Every value found is `value` and every XMP packet could be read; values of other types,
    // which no reader takes, do not count.
    bool allAre(qint64 value) const;
};

// The orientation values in the first EXIF segment and in every XMP packet of the picture's
// header segments, in file order.
FoundOrientations findOrientations(const QByteArray &jpeg);

enum OrientationPlace { Ifd0Values = 1, Ifd1Values = 2, XmpValues = 4, AllOrientationValues = 7 };

struct OrientationEdit {
    enum Result {
        Set,        // the value was written
        AlreadySet, // it was the value asked for already
        Left,       // nothing can be written there (see OrientationValue::writable)
    };
    OrientationValue before;
    Result result = Left;
};

struct OrientationEdits {
    std::vector<OrientationEdit> edits;
    int unreadableXmpPackets = 0;

    int count(OrientationEdit::Result result) const;
};

// Sets every orientation value of the places asked for (a combination of OrientationPlace) to
// `value` and says what it did to each. XMP text longer than the new value keeps its length:
// white space fills the rest where XML allows it.
OrientationEdits setOrientationInPlace(QByteArray &jpeg, int value = 1,
                                       int places = AllOrientationValues);
