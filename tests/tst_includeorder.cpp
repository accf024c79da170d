// The program's folders form layers: each includes only from itself and the folders below it, so
// that the byte layer stays free of files and tools, the engine free of words, and nothing
// reaches up into the window or the start-up. Read from the source tree as it stands.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

// From the bottom up.
const QStringList layers{"common", "exif",    "jpeg",         "files", "settings",   "tools",
                         "engine", "watcher", "presentation", "about", "mainwindow", "app"};

// The folders below which nothing but the program's own code lives.
const QStringList notProgram{"tests", "bench", "fuzz", "packaging", "docs", "resources", "scripts"};

struct Include {
    QString file; // relative to the source tree
    int line = 0;
    QString target; // as written: "engine/runevents.h"
};

QList<Include> includesIn(const QString &folder) {
    static const QRegularExpression include(R"(^#include "([a-z]+/[a-z0-9_]+\.h)\")");
    QList<Include> found;
    QDirIterator files(PIVOTTA_SOURCE_DIR "/" + folder, {"*.h", "*.cpp"}, QDir::Files);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        int line = 0;
        while (!file.atEnd()) {
            ++line;
            const QRegularExpressionMatch match = include.match(QString::fromUtf8(file.readLine()));
            if (match.hasMatch())
                found << Include{folder + "/" + QFileInfo(path).fileName(), line,
                                 match.captured(1)};
        }
    }
    return found;
}

QString where(const Include &include) {
    return QString("%1:%2 includes %3").arg(include.file).arg(include.line).arg(include.target);
}

} // namespace

class IncludeOrderTest : public QObject {
    Q_OBJECT

private slots:
    void everyFolderHasItsLayer();
    void foldersIncludeOnlyFromBelow_data();
    void foldersIncludeOnlyFromBelow();
    void runEventsNameNoByteLayerHeader();
};

// A new folder of the program's own must be given its place.
void IncludeOrderTest::everyFolderHasItsLayer() {
    const QDir root(PIVOTTA_SOURCE_DIR);
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (notProgram.contains(folder) || folder.startsWith("build"))
            continue;
        const bool holdsCode =
            !QDir(root.filePath(folder)).entryList({"*.cpp", "*.h"}, QDir::Files).isEmpty();
        QVERIFY2(!holdsCode || layers.contains(folder),
                 qPrintable(folder + "/ holds code but has no place among the layers"));
    }
}

void IncludeOrderTest::foldersIncludeOnlyFromBelow_data() {
    QTest::addColumn<QString>("folder");
    for (const QString &folder : layers)
        QTest::newRow(qPrintable(folder)) << folder;
}

void IncludeOrderTest::foldersIncludeOnlyFromBelow() {
    QFETCH(QString, folder);
    const QList<Include> includes = includesIn(folder);
    QVERIFY2(!includes.isEmpty() || folder == "common",
             qPrintable(folder + "/ was not found or includes nothing of the program"));
    const int own = layers.indexOf(folder);
    for (const Include &include : includes) {
        QVERIFY2(QFile::exists(PIVOTTA_SOURCE_DIR "/" + include.target),
                 qPrintable(where(include) + ", which is not there"));
        const int target = layers.indexOf(include.target.section('/', 0, 0));
        QVERIFY2(target >= 0 && target <= own,
                 qPrintable(where(include) + ", which is not below it"));
    }
}

// The facts that the words are made from hold the byte layer's kinds without its headers.
void IncludeOrderTest::runEventsNameNoByteLayerHeader() {
    for (const Include &include : includesIn("engine")) {
        if (include.file != "engine/runevents.h")
            continue;
        const QString layer = include.target.section('/', 0, 0);
        QVERIFY2(layer != "exif" && layer != "jpeg", qPrintable(where(include)));
    }
}

QTEST_GUILESS_MAIN(IncludeOrderTest)
#include "tst_includeorder.moc"
