// The external tools jpegtran and exiv2: where they are found, the argument lists they get and
// how their exit codes and output are read. Pure functions, free of any window and any words.
#pragma once

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

// jpegtran: the lossless `transform` of `inputPath` into `outputPath`, keeping all metadata and
// the input's coding choices: "-v", the transform, "-copy all", the coding options, "-perfect",
// "-trim", "-outfile" and the two paths.
QStringList jpegtranArgumentList(const QString &inputPath, const QString &outputPath,
                                 Turn transform, const JpegStructure &input, bool perfect,
                                 bool trim);

// jpegtran for an EXIF thumbnail, from standard input to standard output: no metadata inside
// the thumbnail, optimised tables so that it fits the old one's place, and the partial edge
// blocks trimmed, since a thumbnail cannot be left or refused.
QStringList jpegtranThumbnailArguments(Turn transform);

// exiv2: set the orientation tag to 1 and keep the file's time stamps.
QStringList exiv2OrientationResetArguments(const QString &path);
// The same, and in the same run the XMP tiff:Orientation to 1 when `xmpOrientationToo` (only
// for photos whose XMP holds one: exiv2 would add XMP to a photo that had none).
QStringList exiv2OrientationResetArguments(const QString &path, bool xmpOrientationToo);
// exiv2: set the file's modification time from the photo's EXIF date.
QStringList exiv2TimeFromExifArguments(const QString &path);

// A finished jpegtran run, told apart by what the user is to hear. Every warning leaves the
// photo; only CannotOpenName is a reason to try again through a copy under another name.
enum class JpegtranOutcome {
    Success,
    Warning,         // exit code 2: the data is damaged somewhere
    Truncated,       // exit code 2, "Premature end of JPEG file": the photo may still be arriving
    NotPerfect,      // "-perfect" refused the transform
    DiskFull,        // the output could not be written
    PhotoGone,       // the input cannot be opened because it is no longer there
    PhotoUnreadable, // the input is there but the user may not read it
    CannotOpenName,  // the input is there and readable, but jpegtran cannot open it by its name
    OutputNotOpened, // the output file could not be opened for writing
    UnsupportedType, // a JPEG process jpegtran cannot transform (lossless, hierarchical, 12-bit)
    Crashed,
    Failed, // any other error: jpegtran's own message says what
};
// `inputExists` and `inputReadable` are the input's state as Qt sees it after the run: jpegtran
// says the same "can't open" whatever the cause.
JpegtranOutcome jpegtranOutcome(bool normalExit, int exitCode, const QString &output,
                                bool inputExists, bool inputReadable);
// Whether exiv2's "-T" output says that the photo has no EXIF date. Older exiv2 builds print
// "contains no Exif timestamp"; 0.27 and later name the two tags they looked for.
bool exiv2ReportsNoExifDate(const QString &output);

// Tool output that names a temporary file, rewritten to name the photo instead: the user knows
// the photo, not the file Pivotta worked on.
QString outputNamingPhoto(QString text, const QString &workPath, const QString &photoPath);
