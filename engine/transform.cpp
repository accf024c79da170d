// Lossless rotation of one photo with jpegtran.
#include "mainwindow/pivotta.h"

bool Pivotta::rotatePhoto(QString, int, bool)
{
    return false;
}

void Pivotta::reportRotation(QString, int, bool) {}

QString Pivotta::toolPath(QString toolName)
{
    return toolName;
}

QStringList Pivotta::jpegtranArguments(QString, int)
{
    return {};
}

bool Pivotta::perfectRequired()
{
    return false;
}
