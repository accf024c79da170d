// The user settings file, opened afresh for every access.
#include "settings/settings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

#include <algorithm>

namespace {
QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QCoreApplication::organizationName(), QCoreApplication::applicationName());
}
} // namespace

namespace Settings {
QVariant value(const QString &key) {
    return userSettings().value(key);
}

void setValue(const QString &key, const QVariant &value) {
    userSettings().setValue(key, value);
}

bool contains(const QString &key) {
    return userSettings().contains(key);
}

bool perfect() {
    return value(SettingsKey::perfect).toBool();
}

bool trim() {
    // The Preferences dialog writes true at its first start; a run that never showed it (a
    // headless one) trims too, rather than leaving garbage blocks along an edge.
    const QVariant stored = value(SettingsKey::trim);
    return stored.isNull() || stored.toBool();
}

bool closeAppAfterContextMenuRotate() {
    return value(SettingsKey::closeAppAfterContextMenuRotate).toBool();
}

int textLimit() {
    return value(SettingsKey::textLimit).toInt();
}

FileTimeMode fileTimeMode() {
    switch (value(SettingsKey::setFileTimestamp).toInt()) {
    case int(FileTimeMode::FromExifDate):
        return FileTimeMode::FromExifDate;
    case int(FileTimeMode::RestoreOriginal):
        return FileTimeMode::RestoreOriginal;
    default:
        return FileTimeMode::LeaveAlone;
    }
}

bool watch() {
    return value(SettingsKey::watch).toBool();
}

int parallelRotations() {
    bool isNumber = false;
    const int stored = value(SettingsKey::parallelRotations).toInt(&isNumber);
    if (isNumber && stored >= 1)
        return stored;
    return std::max(1, QThread::idealThreadCount());
}

bool fixMirroredOrientations() {
    return value(SettingsKey::fixMirroredOrientations).toBool();
}

bool keepOriginalsInTrash() {
    return value(SettingsKey::keepOriginalsInTrash).toBool();
}

QStringList recentFolderList() {
    return value(SettingsKey::recentFolderList).toStringList();
}

QSize windowSize(const QString &className) {
    return value(QString::fromLatin1(SettingsKey::windowSizeFormat).arg(className)).toSize();
}
} // namespace Settings
