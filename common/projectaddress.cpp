// The project's web address, from the build's PIVOTTA_HOMEPAGE.
#include "common/projectaddress.h"

#include <QCoreApplication>

#ifndef PIVOTTA_HOMEPAGE
#define PIVOTTA_HOMEPAGE ""
#endif

QString projectHomepage() {
    QString homepage = QString::fromUtf8(PIVOTTA_HOMEPAGE).trimmed();
    while (homepage.endsWith('/'))
        homepage.chop(1);
    return homepage;
}

QString projectPage(const QString &homepage, const QString &page) {
    if (homepage.isEmpty())
        return QString();
    return homepage + '/' + page;
}

QString noProjectAddressText() {
    return QCoreApplication::translate("Pivotta",
                                       "No web address is configured for this build of Pivotta.");
}
