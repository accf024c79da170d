// Reading a photo's rotation angle from its EXIF orientation, and links to photo files.
#include "mainwindow/pivotta.h"

int Pivotta::readRotationAngle(QString, bool)
{
    return 0;
}

int Pivotta::readRotationAngleWithImageReader(QString)
{
    return 0;
}

QString Pivotta::fileLink(QString filePath, bool, bool)
{
    return filePath;
}
