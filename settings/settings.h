// Every key Pivotta stores between runs, with its type and what a missing value means.
// Each access opens a fresh QSettings, so a value written anywhere is seen at the next read.
#pragma once

#include <QSize>
#include <QStringList>
#include <QVariant>

namespace SettingsKey {
// User settings file (INI).
inline constexpr char perfect[] = "perfect";
inline constexpr char trim[] = "trim";
inline constexpr char closeAppAfterContextMenuRotate[] = "closeAppAfterContextMenuRotate";
inline constexpr char textLimit[] = "textLimit";
inline constexpr char setFileTimestamp[] = "setFileTimestamp";
inline constexpr char forceFontSizeChecked[] = "forceFontSizeChecked";
inline constexpr char forceFontSizeValue[] = "forceFontSizeValue";
inline constexpr char recentFolderList[] = "recentFolderList";
inline constexpr char watch[] = "watch";
inline constexpr char parallelRotations[] = "parallelRotations";
inline constexpr char fixMirroredOrientations[] = "fixMirroredOrientations";
inline constexpr char keepOriginalsInTrash[] = "keepOriginalsInTrash";
// Window keys are built from the window's class name: "PivottaSize" and so on.
inline constexpr char windowSizeFormat[] = "%1Size";
inline constexpr char windowPositionFormat[] = "%1Position";
inline constexpr char windowMaximizedFormat[] = "%1Maximized";
} // namespace SettingsKey

// What a rotation does with the photo's file time; stored under SettingsKey::setFileTimestamp.
enum class FileTimeMode {
    LeaveAlone = 0,      // the rotated photo gets the time of rotating
    FromExifDate = 1,    // the photo's EXIF date
    RestoreOriginal = 2, // the time the photo had before it was rotated
};

namespace Settings {
// Raw access to the user settings file; a missing key gives an invalid QVariant.
QVariant value(const QString &key);
void setValue(const QString &key, const QVariant &value);
bool contains(const QString &key);

// Typed readers; each states its missing-value behaviour.
bool perfect();                        // false
bool trim();                           // true (the Preferences dialog writes true at first start)
bool closeAppAfterContextMenuRotate(); // false
int textLimit();                       // 0: keep everything
FileTimeMode fileTimeMode();           // LeaveAlone; so is any unknown value
bool watch();                          // false
int parallelRotations();               // the number of processor cores; at least 1
bool fixMirroredOrientations();        // false: mirrored photos are reported and left alone
bool keepOriginalsInTrash();           // false: the original is replaced, not kept
QStringList recentFolderList();        // empty
QSize windowSize(const QString &className); // invalid size (-1 by -1)
} // namespace Settings
