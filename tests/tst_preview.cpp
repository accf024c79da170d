// The single-photo preview: the views as stored and as oriented, rotating one photo by its tag or
// by hand, the tree's current entry as the one target, stepping through the tree, the open
// buttons, a new folder, and photos the preview cannot decode.
#include <QAction>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QTreeView>

#include "engine/rotationengine.h"
#include "mainwindow/previewimage.h"
#include "testphotos.h"
#include "windowfixture.h"

using namespace TestPhotos;

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class PreviewTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rawAndOrientedViews_data();
    void rawAndOrientedViews();
    void autorotateTwice();
    void autorotateWithoutUsableTag_data();
    void autorotateWithoutUsableTag();
    void manualQuarterTurns_data();
    void manualQuarterTurns();
    void rotatingWaitsForARunningBatch();
    void previewFollowsTheHighlightAndCtrlRTurnsIt();
    void switchingFoldersClearsAPhotoOfTheOldFolder();
    void previousAndNextStopAtTheEnds();
    void folderPickedInTheTree();
    void openButtonsUseTheDesktopHandlers();
    void undecodablePhoto_data();
    void undecodablePhoto();
    void refreshShowsTheNewContent();
    void resizedViewsShowThePhotoAtTheirSize();
    void firstPreviewIsDecodedAtTheSettledSize();
    void startUpPreview();
    void outsideTextInNamesShowsLiterally();
    void scaledDecodeMatchesFullDecode_data();
    void scaledDecodeMatchesFullDecode();

private:
    QString photo(int orientation, const QString &name = QString());
    void waitUntilEngineIdle();
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    // The tree's entry clicked, as the user does it.
    void clickTree(const QModelIndex &index) const {
        emit child<QTreeView>("tree")->clicked(index);
    }
    void click(const char *buttonName) const {
        window->findChild<QPushButton *>(buttonName)->click();
    }
    static QByteArray contentHash(const QString &path);
    static QString noMetadataText() {
        return "No EXIF orientation metadata in this file to work with.\n\nPhoto may already have "
               "been rotated.";
    }
};

void PreviewTest::initTestCase() {
    setUpCase();
}

void PreviewTest::init() {
    setUp();
    newWindow();
    showWindow(QSize(1200, 800));
}

void PreviewTest::cleanup() {
    tearDown();
}

QString PreviewTest::photo(int orientation, const QString &name) {
    const QString path =
        sandbox->filePath(name.isEmpty() ? QString("photo_%1.jpg").arg(orientation) : name);
    if (!writeCroppedPhoto(orientation, path))
        qWarning("jpegtran could not cut the test photo");
    return path;
}

QByteArray PreviewTest::contentHash(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void PreviewTest::rawAndOrientedViews_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("oriented"); // the right view shows the photo, not the note
    QTest::addColumn<bool>("unusual");  // the main pane tells of a mirrored value

    QTest::newRow("6: stored lying") << 6 << true << false;
    QTest::newRow("8: stored lying") << 8 << true << false;
    QTest::newRow("3: upside down") << 3 << true << false;
    QTest::newRow("1: upright") << 1 << false << false;
    QTest::newRow("2: mirrored") << 2 << false << true;
    QTest::newRow("4: mirrored") << 4 << false << true;
    QTest::newRow("5: mirrored") << 5 << false << true;
    QTest::newRow("7: mirrored") << 7 << false << true;
}

void PreviewTest::rawAndOrientedViews() {
    QFETCH(int, orientation);
    QFETCH(bool, oriented);
    QFETCH(bool, unusual);
    folderBar()->openFolder(sandbox->path());
    const QString path = photo(orientation);

    previewDock()->showPhoto(path);

    QVERIFY(window->findChild<QDockWidget *>("imagedock")->isVisible());
    QVERIFY(!window->findChild<QDockWidget *>("detailedOutputDock")->isVisible());
    QVERIFY(window->findChild<QAction *>("actionRotate_currently_selected_file")->isEnabled());
    QCOMPARE(photoPreview()->selectedFile(), path);
    QCOMPARE(label("previewFileName")->text(), QFileInfo(path).fileName());

    // The raw view: the stored pixels, fitted into a square of the view's height at most.
    const QImage raw = photoPreview()->rawImage();
    const QSize rawBox = rawPreviewBounds(label("rawImage")->size());
    QVERIFY(!raw.isNull());
    QCOMPARE(raw.size(), storedPixels(path).size().scaled(rawBox, Qt::KeepAspectRatio));
    QCOMPARE(label("rawImage")->pixmap().size(), raw.size());
    const QImage rawExpected =
        storedPixels(path).scaled(raw.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(samePicture(raw, rawExpected),
             qPrintable(QString::number(meanDifference(raw, rawExpected))));

    if (oriented) {
        const QImage shown = photoPreview()->orientedImage();
        const QImage upright = uprightPixels(path);
        QCOMPARE(shown.size(),
                 upright.size().scaled(label("transformedImage")->size(), Qt::KeepAspectRatio));
        QVERIFY(samePicture(
            shown, upright.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        QCOMPARE(label("transformedImage")->pixmap().size(), shown.size());
        // A photo stored lying shows turned between the two views.
        if (orientation == 6 || orientation == 8) {
            QVERIFY(raw.height() > raw.width());
            QVERIFY(shown.width() > shown.height());
        }
    } else {
        QVERIFY(photoPreview()->orientedImage().isNull());
        QVERIFY(label("transformedImage")->pixmap().isNull());
        QCOMPARE(label("transformedImage")->text(), noMetadataText());
    }
    QCOMPARE(mainPaneText().contains("has unusual orientation value"), unusual);
}

void PreviewTest::autorotateTwice() {
    folderBar()->openFolder(sandbox->path());
    const QString path = photo(6);
    const QImage expected = uprightPixels(path);
    previewDock()->showPhoto(path);

    click("autorotateSingleButton");
    waitUntilEngineIdle();

    QCOMPARE(storedOrientation(path), 1);
    QVERIFY(samePicture(storedPixels(path), expected));
    // Reloaded: the raw view now stands upright and the tag is gone.
    const QImage raw = photoPreview()->rawImage();
    QVERIFY(raw.width() > raw.height());
    QCOMPARE(label("transformedImage")->text(), noMetadataText());
    QVERIFY(mainPaneText().endsWith("Done."));

    const QByteArray rotated = contentHash(path);
    click("autorotateSingleButton");
    waitUntilEngineIdle();
    QVERIFY(mainPaneText().contains(
        "Automatic rotating requires EXIF orientation metadata to be present. File photo_6.jpg "
        "contains no such metadata, so Pivotta cannot know which way to rotate it."));
    QCOMPARE(contentHash(path), rotated);
}

void PreviewTest::autorotateWithoutUsableTag_data() {
    QTest::addColumn<int>("orientation");
    for (const int orientation : {1, 2, 4, 5, 7})
        QTest::addRow("orientation %d", orientation) << orientation;
}

void PreviewTest::autorotateWithoutUsableTag() {
    QFETCH(int, orientation);
    const QString path = photo(orientation);
    const QByteArray before = contentHash(path);
    previewDock()->showPhoto(path);

    click("autorotateSingleButton");
    waitUntilEngineIdle();

    QVERIFY(mainPaneText().contains(
        "Automatic rotating requires EXIF orientation metadata to be present."));
    QCOMPARE(contentHash(path), before);
    QCOMPARE(label("transformedImage")->text(), noMetadataText());
}

void PreviewTest::manualQuarterTurns_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("degrees");

    QTest::newRow("clockwise button") << "rotateSingleClockwiseButton" << 90;
    QTest::newRow("counterclockwise button") << "rotateSingleCounterclockwiseButton" << 270;
    QTest::newRow("clockwise action") << "actionRotate_Clockwise" << 90;
    QTest::newRow("counterclockwise action") << "actionRotate_Counterclockwise" << 270;
}

void PreviewTest::manualQuarterTurns() {
    QFETCH(QString, control);
    QFETCH(int, degrees);
    folderBar()->openFolder(sandbox->path());
    const QString path = photo(1);
    const QImage expected = storedPixels(path).transformed(QTransform().rotate(degrees));
    previewDock()->showPhoto(path);

    if (auto *button = window->findChild<QPushButton *>(control))
        button->click();
    else
        window->findChild<QAction *>(control)->trigger();
    waitUntilEngineIdle();

    QCOMPARE(storedOrientation(path), 1);
    QVERIFY(samePicture(storedPixels(path), expected));
    const QImage raw = photoPreview()->rawImage();
    QVERIFY(raw.height() > raw.width());
    QCOMPARE(label("transformedImage")->text(), noMetadataText());
}

void PreviewTest::rotatingWaitsForARunningBatch() {
    // A watcher run on another folder, kept busy by a jpegtran that takes its time.
    QTemporaryDir tools;
    QVERIFY(tools.isValid());
    QFile slow(tools.filePath("jpegtran"));
    QVERIFY(slow.open(QIODevice::WriteOnly));
    slow.write("#!/bin/sh\nexec sleep 20\n");
    slow.close();
    QVERIFY(slow.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    qputenv("PIVOTTA_TOOLS_DIR", QFile::encodeName(tools.path()));
    const QString busyFolder = sandbox->filePath("busy");
    QVERIFY(QDir().mkpath(busyFolder));
    QVERIFY(writeCroppedPhoto(6, busyFolder + "/lying.jpg"));
    QFile lying(busyFolder + "/lying.jpg");
    QVERIFY(lying.open(QIODevice::ReadWrite));
    QVERIFY(lying.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                              QFileDevice::FileModificationTime));
    lying.close();
    RotationEngine *engine = window->rotationEngine();
    engine->startWatcherRun(busyFolder);
    QTRY_VERIFY(engine->isBusy());

    const QString path = photo(6);
    const QByteArray before = contentHash(path);
    previewDock()->showPhoto(path);
    click("autorotateSingleButton");
    click("rotateSingleClockwiseButton");

    QCOMPARE(contentHash(path), before);
    QCOMPARE(mainPaneText().count("Photos are being rotated right now."), 2);
    engine->stop();
    QTRY_VERIFY(!engine->isBusy());
    qunsetenv("PIVOTTA_TOOLS_DIR");
}

void PreviewTest::waitUntilEngineIdle() {
    QTRY_VERIFY_WITH_TIMEOUT(!window->rotationEngine()->isBusy(), 15000);
}

static QStringList treeRows(QFileSystemModel *model, const QModelIndex &root) {
    QStringList names;
    for (int row = 0; row < model->rowCount(root); ++row)
        names << model->index(row, 0, root).data().toString();
    return names;
}

// Mouse and keys move the tree's highlight; the preview follows it, and Ctrl+R turns the photo
// highlighted, not one previewed before.
void PreviewTest::previewFollowsTheHighlightAndCtrlRTurnsIt() {
    const QString a = photo(1, "a.jpg");
    const QString b = photo(6, "b.jpg");
    const QString c = photo(8, "c.jpg");
    const QByteArray aBefore = contentHash(a);
    const QByteArray cBefore = contentHash(c);
    folderBar()->openFolder(sandbox->path());
    folderBar()->showTree();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *tree = child<QTreeView>("tree");
    QFileSystemModel *model = folderBar()->folderModel();
    const QModelIndex root = model->index(sandbox->path());
    QTRY_COMPARE(treeRows(model, root), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QTRY_VERIFY(!tree->visualRect(model->index(c)).isEmpty());

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualRect(model->index(c)).center());
    QCOMPARE(photoPreview()->previewedFile(), c);
    QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(tree->currentIndex(), QModelIndex(model->index(b)));
    QCOMPARE(photoPreview()->previewedFile(), b);
    QCOMPARE(photoPreview()->selectedFile(), b);
    QVERIFY(!photoPreview()->orientedImage().isNull()); // b's own oriented view

    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    waitUntilEngineIdle();
    QCOMPARE(storedOrientation(b), 1);
    QCOMPARE(contentHash(c), cBefore);
    QCOMPARE(contentHash(a), aBefore);

    QTest::keyClick(tree, Qt::Key_Up);
    QCOMPARE(photoPreview()->previewedFile(), a);
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    waitUntilEngineIdle();
    QCOMPARE(contentHash(a), aBefore); // upright already: nothing to turn
    QCOMPARE(contentHash(c), cBefore);
}

// A photo from the folder shown before goes from the preview; one inside the new folder stays.
void PreviewTest::switchingFoldersClearsAPhotoOfTheOldFolder() {
    QVERIFY(QDir(sandbox->path()).mkdir("sub"));
    const QString inSub = photo(6, "sub/x.jpg");
    folderBar()->openFolder(sandbox->path());
    previewDock()->showPhoto(inSub);

    folderBar()->openFolder(sandbox->filePath("sub"));
    QCOMPARE(photoPreview()->previewedFile(), inSub);
    QVERIFY(!label("rawImage")->pixmap().isNull());

    QTemporaryDir other;
    folderBar()->openFolder(other.path());
    QVERIFY(photoPreview()->previewedFile().isEmpty());
    QVERIFY(photoPreview()->selectedFile().isEmpty());
    QVERIFY(label("rawImage")->pixmap().isNull());
    QVERIFY(label("previewFileName")->text().isEmpty());
    QVERIFY(!child<QAction>("actionRotate_currently_selected_file")->isEnabled());
    QVERIFY(child<QAction>("actionSelectNext")->isEnabled()); // a folder is open
}

// Steps through a folder of three photos and a subfolder, in the order the tree shows them
// (by name, folders first, either way round), from one end to the other and back.
void PreviewTest::previousAndNextStopAtTheEnds() {
    QVERIFY(QDir(sandbox->path()).mkdir("sub"));
    photo(1, "a.jpg");
    photo(6, "b.jpg");
    photo(3, "c.jpg");
    folderBar()->openFolder(sandbox->path());
    QFileSystemModel *model = folderBar()->folderModel();
    const QModelIndex root = model->index(sandbox->path());
    const QStringList ascending{"sub", "a.jpg", "b.jpg", "c.jpg"};
    const QStringList descending{"c.jpg", "b.jpg", "a.jpg", "sub"};
    QTRY_VERIFY(treeRows(model, root) == ascending || treeRows(model, root) == descending);
    const QStringList rows = treeRows(model, root);
    const auto expectedSelection = [&](int row) {
        return rows[row] == "sub" ? QString() : sandbox->filePath(rows[row]);
    };
    const auto current = [this] { return folderBar()->chosenEntry().row(); };

    clickTree(model->index(0, 0, root));
    click("selectPrevious"); // the first row: nothing happens
    QCOMPARE(current(), 0);
    QCOMPARE(photoPreview()->selectedFile(), expectedSelection(0));

    for (int row = 1; row < rows.size(); ++row) {
        if (row % 2)
            click("selectNext");
        else
            window->findChild<QAction *>("actionSelectNext")->trigger();
        QCOMPARE(current(), row);
        QCOMPARE(window->findChild<QTreeView *>("tree")->currentIndex(),
                 model->index(row, 0, root));
        QCOMPARE(photoPreview()->selectedFile(), expectedSelection(row));
        // Onto the subfolder: no photo is selected or shown.
        QCOMPARE(photoPreview()->previewedFile(), expectedSelection(row));
    }
    click("selectNext"); // the last row: nothing happens
    QCOMPARE(current(), rows.size() - 1);

    window->findChild<QAction *>("actionSelectPrevious")->trigger();
    QCOMPARE(current(), rows.size() - 2);
    QCOMPARE(photoPreview()->selectedFile(), expectedSelection(rows.size() - 2));
}

void PreviewTest::folderPickedInTheTree() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    QVERIFY(QDir(sandbox->path()).mkdir("sub"));
    const QString path = photo(6);
    const QByteArray before = contentHash(path);
    folderBar()->openFolder(sandbox->path());
    QFileSystemModel *model = folderBar()->folderModel();
    clickTree(model->index(path));
    const QImage shown = photoPreview()->rawImage();

    QVERIFY(!shown.isNull());

    // The folder is the one target now: no photo is shown, and the photo's controls do nothing.
    clickTree(model->index(sandbox->filePath("sub")));
    for (const char *name : {"openSingle", "openSingleFolder", "rotateSingleClockwiseButton",
                             "autorotateSingleButton"}) {
        QVERIFY2(!window->findChild<QPushButton *>(name)->isEnabled(), name);
        click(name);
    }
    for (const char *name : {"actionRotate_currently_selected_file", "actionRotate_Clockwise",
                             "actionRotate_Counterclockwise"}) {
        QVERIFY2(!window->findChild<QAction *>(name)->isEnabled(), name);
        window->findChild<QAction *>(name)->trigger();
    }

    QDesktopServices::unsetUrlHandler("file");
    QVERIFY(photoPreview()->selectedFile().isEmpty());
    QVERIFY(catcher.urls.isEmpty());
    QCOMPARE(contentHash(path), before);
    QVERIFY(photoPreview()->rawImage().isNull());
    QVERIFY(label("rawImage")->pixmap().isNull());
}

void PreviewTest::openButtonsUseTheDesktopHandlers() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    const QString path = photo(1);
    previewDock()->showPhoto(path);

    click("openSingle");
    click("openSingleFolder");

    QDesktopServices::unsetUrlHandler("file");
    const QList<QUrl> expected{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()),
                               QUrl::fromLocalFile(QFileInfo(path).absolutePath())};
    QCOMPARE(catcher.urls, expected);
}

void PreviewTest::undecodablePhoto_data() {
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("not a photo") << QByteArray("this is no JPEG at all\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("header only") << QByteArray::fromHex("ffd8ffe000104a46494600010100");
}

void PreviewTest::undecodablePhoto() {
    QFETCH(QByteArray, content);
    const QString good = photo(6);
    const QString bad = sandbox->filePath("bad.jpg");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    previewDock()->showPhoto(good);
    QVERIFY(!label("rawImage")->pixmap().isNull());

    previewDock()->showPhoto(bad);

    QVERIFY(photoPreview()->rawImage().isNull());
    QVERIFY(label("rawImage")->pixmap().isNull());
    QVERIFY(label("transformedImage")->pixmap().isNull());
    QVERIFY(label("transformedImage")
                ->text()
                .startsWith("This photo could not be decoded for the preview:"));
    QCOMPARE(photoPreview()->previewedFile(), bad);
}

void PreviewTest::refreshShowsTheNewContent() {
    const QString path = photo(1);
    previewDock()->showPhoto(path);
    QCOMPARE(label("transformedImage")->text(), noMetadataText());

    QVERIFY(QFile::remove(path));
    QVERIFY(writeCroppedPhoto(6, path));
    click("refreshButton");

    const QImage raw = photoPreview()->rawImage();
    QVERIFY(raw.height() > raw.width());
    QVERIFY(!label("transformedImage")->pixmap().isNull());
}

void PreviewTest::startUpPreview() {
    const QString path = photo(6);
    newWindow(decisions(true, false, QString(), path));
    window->resize(1200, 800);
    window->show();

    QTRY_COMPARE(photoPreview()->selectedFile(), path);
    QVERIFY(window->findChild<QDockWidget *>("imagedock")->isVisible());
    QVERIFY(!label("rawImage")->pixmap().isNull());
    QVERIFY(!label("transformedImage")->pixmap().isNull());
    // No folder is open: the photo is named in full.
    QCOMPARE(label("previewFileName")->text(), QDir::toNativeSeparators(path));
}

void PreviewTest::outsideTextInNamesShowsLiterally() {
#ifdef Q_OS_WIN
    const QString name = "x &amp; y 'q'.jpg"; // Windows allows no markup in file names
#else
    // Markup, an entity and quotes, but no slash: that would not be a file name.
    const QString name = "<b>x &amp; <a href='https:example.org'>y 'q' \"r\".jpg";
#endif
    folderBar()->openFolder(sandbox->path());
    const QString path = photo(6, name);

    previewDock()->showPhoto(path);

    const auto shownText = [](const QString &text) {
        return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText()
                                         : text;
    };
    QCOMPARE(shownText(label("previewFileName")->text()), name);
    QCOMPARE(shownText(label("previewFileName")->toolTip()), name);
    QCOMPARE(shownText(label("rawImage")->toolTip()), QDir::toNativeSeparators(path));
}

void PreviewTest::scaledDecodeMatchesFullDecode_data() {
    QTest::addColumn<QString>("source"); // "full" = a whole test photo, "cut" = a cut piece
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("applyOrientation");
    QTest::addColumn<QSize>("bounds");

    QTest::newRow("large, as stored") << "full" << 6 << false << QSize(300, 300);
    QTest::newRow("large, oriented, lying") << "full" << 6 << true << QSize(400, 250);
    QTest::newRow("large, oriented, 8") << "full" << 8 << true << QSize(250, 400);
    QTest::newRow("large, oriented, upside down") << "full" << 3 << true << QSize(333, 222);
    QTest::newRow("small photo, large box") << "cut" << 6 << true << QSize(900, 900);
    QTest::newRow("empty box") << "cut" << 1 << false << QSize(0, 0);
}

void PreviewTest::scaledDecodeMatchesFullDecode() {
    QFETCH(QString, source);
    QFETCH(int, orientation);
    QFETCH(bool, applyOrientation);
    QFETCH(QSize, bounds);
    const QString path = source == "full" ? sharedPhoto(orientation) : photo(orientation);

    const PreviewImage preview = readPreviewImage(path, bounds, applyOrientation);

    const QImage whole = applyOrientation ? uprightPixels(path) : storedPixels(path);
    const QImage expected =
        whole.scaled(bounds.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QVERIFY(preview.error.isEmpty());
    QCOMPARE(preview.image.size(), expected.size());
    QVERIFY2(samePicture(preview.image, expected),
             qPrintable(QString::number(meanDifference(preview.image, expected))));
}

// A dock dragged wider or narrower, or the detailed pane opened beside it: once the views have
// their new size, the photo is decoded again for it.
void PreviewTest::resizedViewsShowThePhotoAtTheirSize() {
    const QString path = photo(6);
    previewDock()->showPhoto(path);
    const QSize before = photoPreview()->rawImage().size();

    window->resize(700, 500);
    const auto fitted = [&] {
        const QSize box = rawPreviewBounds(label("rawImage")->size());
        return photoPreview()->rawImage().size() ==
               storedPixels(path).size().scaled(box, Qt::KeepAspectRatio);
    };
    QTRY_VERIFY(fitted());
    QVERIFY(photoPreview()->rawImage().size() != before);
    QCOMPARE(label("rawImage")->pixmap().size(), photoPreview()->rawImage().size());
}

// The dock shown for the first time and the name line set change the views' size; the photo is
// decoded at the size they end up with, not rescaled once the layout has caught up.
void PreviewTest::firstPreviewIsDecodedAtTheSettledSize() {
    folderBar()->openFolder(sandbox->path());
    const QString path =
        photo(6, "a photo with a name long enough to need a scroll bar of its own.jpg");
    QVERIFY(child<QDockWidget>("imagedock")->isHidden());

    previewDock()->showPhoto(path);
    const QSize rawView = label("rawImage")->size();
    const QSize orientedView = label("transformedImage")->size();
    const QImage raw = photoPreview()->rawImage();
    const QImage oriented = photoPreview()->orientedImage();
    QCOMPARE(raw.size(),
             storedPixels(path).size().scaled(rawPreviewBounds(rawView), Qt::KeepAspectRatio));

    QTest::qWait(400); // past any layout pass still waiting and the rescale that would follow it
    QCOMPARE(label("rawImage")->size(), rawView);
    QCOMPARE(label("transformedImage")->size(), orientedView);
    QCOMPARE(photoPreview()->rawImage(), raw);
    QCOMPARE(photoPreview()->orientedImage(), oriented);
}

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
