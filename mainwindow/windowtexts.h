// The main window's own longer texts: help, welcome, and the lines of a start from the file
// manager. Built without a window, so that they read the same wherever they are shown.
#pragma once

#include <QString>

// The help, ending with the link to the page on lossless rotation, or word that the build has no
// web address when `homepage` is empty.
QString helpText(const QString &homepage);

// The welcome of the first start; `atInstall` adds that it is shown only right after installing.
QString welcomeText(bool atInstall);

// "File manager/shell parameter: " (on Windows "Explorer/shell parameter: ") and the request.
QString shellParameterText(const QString &request);

// "Waiting for window to initialize... done.", after the time of day.
QString windowReadyText();
