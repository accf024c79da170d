// The external tools jpegtran and exiv2: where they are found, the argument lists they get, how
// their exit codes and output are read, and how long they may take. Pure functions, free of any
// window and any words. jpegtran is never given a file name: each picture goes to it on its
// standard input and comes back on its standard output. exiv2 only reads.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

enum class Turn;
struct JpegStructure;

// When this environment variable names a folder, the tools are looked for there and nowhere
// else. Tests use it to run stand-in tools; a user can point Pivotta at other builds with it.
inline constexpr char toolsDirEnvironmentVariable[] = "PIVOTTA_TOOLS_DIR";

// The file name of a tool on this platform: "jpegtran.exe" on Windows, "jpegtran" elsewhere.
QString toolFileName(const QString &toolName);

// The full path of a tool, in native separators.
// - `overrideDir` not empty: that folder, whether or not the tool is there.
// - Windows: the application's folder.
// - Elsewhere: the application's folder when the tool is there, else the tool found on the PATH,
//   else the application's folder (so that a "not found" message names a real place).
QString locateTool(const QString &toolName, const QString &applicationDir,
                   const QString &overrideDir);

// jpegtran's options for a transform: "-rotate 90", "-flip horizontal", "-transpose" ...
QStringList jpegtranTransformArguments(Turn transform);

// The options that make jpegtran write the coding choices the input made, which it would
// otherwise drop: "-progressive", "-arithmetic", and "-restart" (in rows when the input's
// interval is a whole number of rows, else in blocks, "NB"). Huffman tables are written anew
// either way; "-optimize" for an input with optimised tables would keep the size to the byte but
// costs jpegtran a second pass over the data (a quarter more time on 12-megapixel photos) for
// files about 1.5% smaller, so it is not asked for: the standard tables keep every coefficient.
QStringList jpegtranCodingArguments(const JpegStructure &input);

// jpegtran for a picture (the primary or a further one), from standard input to standard
// output: the lossless `transform`, keeping all its metadata and its coding choices: "-v", the
// transform, "-copy all", the coding options, "-perfect", "-trim". No file name.
QStringList jpegtranArguments(Turn transform, const JpegStructure &input, bool perfect, bool trim);

// jpegtran for an EXIF thumbnail, from standard input to standard output: no metadata inside
// the thumbnail, optimised tables so that it fits the old one's place, and the partial edge
// blocks trimmed, since a thumbnail cannot be left or refused.
QStringList jpegtranThumbnailArguments(Turn transform);

// exiv2 reading the finished file at `path` (a path through this process's descriptors): every
// orientation tag it knows, and with `withDate` the two dates "exiv2 -T" chooses from. It reads
// only; "-v" names the file in its output.
QStringList exiv2ReadingArguments(const QString &path, bool withDate);

// What that exiv2 run read.
struct Exiv2Reading {
    struct Tag {
        QString
            key; // "Exif.Image.Orientation", "Exif.Thumbnail.Orientation", "Xmp.tiff.Orientation"
        QString value;
    };
    bool read = false; // exiv2 read the file (finding none of the tags is a reading too)
    QList<Tag> orientations;
    QString dateTimeOriginal;
    QString dateTime;

    // The date "exiv2 -T" would take: DateTimeOriginal, else DateTime; empty when neither.
    QString exifDate() const;
    // The first orientation that is not 1 ("Exif.Image.Orientation 6"), leaving out the
    // thumbnail's own when `thumbnailKeptItsOwn`; empty when all say 1.
    QString orientationNotUpright(bool thumbnailKeptItsOwn) const;
    bool has(const QString &key) const;
};
// exiv2 exits with 0 when it printed something, with 1 when none of the tags is there (its error
// stream then notes only what the file does not hold), and otherwise with an error.
Exiv2Reading readExiv2Reading(bool normalExit, int exitCode, const QString &standardOutput,
                              const QString &standardError);

// A finished jpegtran run, told apart by what the user is to hear. Every warning leaves the
// photo.
enum class JpegtranOutcome {
    Success,
    Warning,         // exit code 2: the data is damaged somewhere
    Truncated,       // exit code 2, "Premature end of JPEG file": the photo may still be arriving
    NotPerfect,      // "-perfect" refused the transform
    DiskFull,        // the output could not be written
    UnsupportedType, // a JPEG process jpegtran cannot transform (lossless, hierarchical, 12-bit)
    Crashed,
    Failed, // any other error: jpegtran's own message says what
};
JpegtranOutcome jpegtranOutcome(bool normalExit, int exitCode, const QString &output);
// jpegtran's own words about a warning or an error: the first line of its output that is neither
// its banner ("libjpeg-turbo version", "Copyright", "Emulating The Independent JPEG Group's
// software") nor one of the trace lines "-v" adds, without "jpegtran: " in front. Empty when
// there is none.
QString jpegtranMessage(const QString &output);

// How long one tool run on a picture of `pixels` may take: a floor of `floorMs`, or a quarter of
// a second per megapixel, whichever is longer, times the share of a core each tool gets when
// `toolsAtOnce` run on `cores` (jpegtran turns about a hundred megapixels a second on one core
// of today's machines: the allowance leaves a slow disk or machine more than twenty times
// that).
int toolTimeoutMs(qint64 pixels, int toolsAtOnce, int cores, int floorMs);

// Tool output that names a temporary file, rewritten to name the photo instead: the user knows
// the photo, not the file Pivotta worked on.
QString outputNamingPhoto(QString text, const QString &workPath, const QString &photoPath);
