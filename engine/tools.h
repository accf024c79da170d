// The external tools jpegtran and exiv2: where they are found, the argument lists they get and
// how their exit codes and output are read. Pure functions, free of any window.
#pragma once

#include <QString>
#include <QStringList>

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

// jpegtran: lossless rotation of `inputPath` by `angle` degrees clockwise into `outputPath`.
QStringList jpegtranArgumentList(const QString &inputPath, const QString &outputPath, int angle,
                                 bool perfect, bool trim);

// exiv2: set the orientation tag to 1 and keep the file's time stamps.
QStringList exiv2OrientationResetArguments(const QString &path);
// exiv2: set the file's modification time from the photo's EXIF date.
QStringList exiv2TimeFromExifArguments(const QString &path);

// What a finished jpegtran run means for the photo.
enum class JpegtranVerdict {
    Success,            // exit code 0
    SuccessWithWarning, // exit code 2, the result is complete
    Truncated,          // exit code 2, but the input ended early: the result is broken
    NotPerfect,         // "-perfect" refused the transform
    Failure,            // any other exit code
    Crashed,            // the process did not exit normally
};
JpegtranVerdict jpegtranVerdict(bool normalExit, int exitCode, const QString &output);

// Whether exiv2's "-T" output says that the photo has no EXIF date. Older exiv2 builds print
// "contains no Exif timestamp"; 0.27 and later name the two tags they looked for.
bool exiv2ReportsNoExifDate(const QString &output);

// A tool's output as it is shown in a pane: the standard output, then the standard error in a
// grey span, each escaped and with its line breaks turned into "<br>".
QString toolOutputHtml(const QString &standardOutput, const QString &standardError);

// Any outside text as a rich-text fragment that shows it literally, line breaks kept.
QString plainTextAsHtml(const QString &text);

// Tool output that names a temporary file, rewritten to name the photo instead: the user knows
// the photo, not the file Pivotta worked on.
QString outputNamingPhoto(QString text, const QString &workPath, const QString &photoPath);
