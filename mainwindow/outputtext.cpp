// Escaping, path shortening and the text-limit rule of the output panes.
#include "mainwindow/outputtext.h"

QString escapeHtml(const QString &text) {
    // Single quotes too: messages put links in single-quoted attributes.
    return text.toHtmlEscaped().replace('\'', QLatin1String("&#39;"));
}

QString pathRelativeToFolder(const QString &path, const QString &folder) {
    const qsizetype n = path.size() - folder.size();
    QString result = (n < 0 || n >= path.size()) ? path : path.right(n);
    if (result.startsWith('\\') || result.startsWith('/'))
        result.remove(0, 1);
    return result;
}

bool exceedsTextLimit(int count, int limit) {
    return limit != 0 && count > limit;
}
