// The project's web address, fixed when the program is built, and the pages under it.
#pragma once

#include <QString>

// The address configured for this build, without a trailing slash; empty when none is.
QString projectHomepage();

// The address of a page under `homepage` ("feedback", "source/qt"; "" for the homepage itself),
// or an empty text when `homepage` is empty.
QString projectPage(const QString &homepage, const QString &page);

// What the program says instead of opening a page when no address is configured.
QString noProjectAddressText();
