// Choosing the current folder: the recent-folders rules, the combo box, typed and pasted paths,
// folders and photos dropped on the window, the folder tree and the left dock's switches.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QCompleter>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

#include "mainwindow/recentfolders.h"
#include "settings/settings.h"
#include "windowfixture.h"

class FolderSelectionTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void recentFoldersAfterUse_data();
    void recentFoldersAfterUse();
    void recentFolderItems_data();
    void recentFolderItems();

    void comboBoxStartsFromTheStoredList_data();
    void comboBoxStartsFromTheStoredList();
    void openFolderRecordsAndShowsTheFolder();
    void openingTheSameFolderTwiceKeepsOneEntry();
    void foldersDifferingInCaseAreKeptApart();
    void twentyOneFoldersKeepTheTwentyMostRecent();
    void missingFolderChangesNothing();
    void garbageAndMissingStoredFoldersArePickedSafely();
    void emptyItemHidesTreeAndDisablesRotateButton();
    void browseChoiceOfCurrentFolderDoesNothing();
    void browseDialogOpensTheChosenFolder();
    void treeShowsPhotosAndGreysOtherFiles();
    void largeFolderOpensWithoutWaiting();
    void dockSwitchesFollowEachOther();
    void typedPath_data();
    void typedPath();
    void typedPathsAreCompletedFromTheDisk();
    void drop_data();
    void drop();

private:
    QString makeFolder(const QString &name);
    QComboBox *comboBox() const { return child<QComboBox>("directoryComboBox"); }
    // Drags `path` over the window and drops it there; whether the window took the drag.
    bool dragAndDrop(const QString &path);
    static QStringList storedList() { return Settings::recentFolderList(); }
};

void FolderSelectionTest::initTestCase() {
    setUpCase();
}

void FolderSelectionTest::init() {
    setUp();
}

void FolderSelectionTest::cleanup() {
    tearDown();
}

QString FolderSelectionTest::makeFolder(const QString &name) {
    const QString path = sandbox->filePath(name);
    if (!QDir().mkpath(path))
        return QString();
    return QDir::toNativeSeparators(path);
}

void FolderSelectionTest::recentFoldersAfterUse_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QStringList>("expected");

    const QString slashed = "C:/photos/2020";
    const QString native = QDir::toNativeSeparators(slashed);
    QTest::newRow("empty list") << QStringList{} << "/a" << 20 << QStringList{"/a"};
    QTest::newRow("new folder goes to the head")
        << QStringList{"/b", "/c"} << "/a" << 20 << QStringList{"/a", "/b", "/c"};
    QTest::newRow("known folder moves to the head")
        << QStringList{"/b", "/a", "/c"} << "/a" << 20 << QStringList{"/a", "/b", "/c"};
    QTest::newRow("stored duplicates all go")
        << QStringList{"/a", "/b", "/a"} << "/a" << 20 << QStringList{"/a", "/b"};
    QTest::newRow("letter case counts")
        << QStringList{"/Photos"} << "/photos" << 20 << QStringList{"/photos", "/Photos"};
    QTest::newRow("stored in native form")
        << QStringList{native} << slashed << 20 << QStringList{native};
    QTest::newRow("tail cut to the maximum")
        << QStringList{"/b", "/c", "/d"} << "/a" << 3 << QStringList{"/a", "/b", "/c"};
    QTest::newRow("over-long stored list cut")
        << QStringList{"/b", "/c", "/d", "/e"} << "/a" << 2 << QStringList{"/a", "/b"};
}

void FolderSelectionTest::recentFoldersAfterUse() {
    QFETCH(QStringList, stored);
    QFETCH(QString, folder);
    QFETCH(int, maximum);
    QFETCH(QStringList, expected);
    QCOMPARE(::recentFoldersAfterUse(stored, folder, maximum), expected);
}

void FolderSelectionTest::recentFolderItems_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QStringList{} << 20 << QStringList{};
    QTest::newRow("in stored order") << QStringList{"/b", "/a"} << 20 << QStringList{"/b", "/a"};
    QTest::newRow("only the first maximum")
        << QStringList{"/a", "/b", "/c"} << 2 << QStringList{"/a", "/b"};
    QTest::newRow("blank entries skipped")
        << QStringList{"", "/a", "  "} << 20 << QStringList{"/a"};
    QTest::newRow("native form") << QStringList{"C:/x"} << 20
                                 << QStringList{QDir::toNativeSeparators("C:/x")};
}

void FolderSelectionTest::recentFolderItems() {
    QFETCH(QStringList, stored);
    QFETCH(int, maximum);
    QFETCH(QStringList, expected);
    QCOMPARE(::recentFolderItems(stored, maximum), expected);
}

void FolderSelectionTest::comboBoxStartsFromTheStoredList_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("items");

    QTest::newRow("no list") << QStringList{} << 0;
    QTest::newRow("one folder") << QStringList{"/a"} << 2;
    QTest::newRow("three folders") << QStringList{"/a", "/b", "/c"} << 4;
}

void FolderSelectionTest::comboBoxStartsFromTheStoredList() {
    QFETCH(QStringList, stored);
    QFETCH(int, items);
    if (!stored.isEmpty())
        Settings::setValue(SettingsKey::recentFolderList, stored);

    newWindow();
    auto *comboBox = child<QComboBox>("directoryComboBox");
    QCOMPARE(comboBox->count(), items);
    QCOMPARE(comboBox->currentText(), QString());
    for (int i = 1; i < items; ++i)
        QCOMPARE(comboBox->itemText(i), QDir::toNativeSeparators(stored.at(i - 1)));
}

void FolderSelectionTest::openFolderRecordsAndShowsTheFolder() {
    newWindow();
    const QString folder = makeFolder("shown");
    QSignalSpy currentFolderChanged(folderBar(), &FolderBar::currentFolderChanged);
    // The folder of a photo given on the command line arrives with forward slashes.
    folderBar()->openFolder(QDir::fromNativeSeparators(folder));

    QCOMPARE(storedList(), QStringList{folder});
    auto *comboBox = child<QComboBox>("directoryComboBox");
    QCOMPARE(comboBox->currentText(), folder);
    QCOMPARE(folderBar()->currentFolder(), folder);
    QCOMPARE(currentFolderChanged.count(), 1);
    QCOMPARE(currentFolderChanged.at(0).at(0).toString(), folder);
    QCOMPARE(comboBox->toolTip(), folder);
    QVERIFY(child<QPushButton>("rotateNowButton")->isEnabled());
    QVERIFY(child<QAction>("actionRotate_folder_now")->isEnabled());
    QVERIFY(child<QTreeView>("tree")->isEnabled());
    QVERIFY(!child<QTreeView>("tree")->isHidden());
    QVERIFY(child<QLabel>("leftDockHelp")->isHidden());
}

void FolderSelectionTest::openingTheSameFolderTwiceKeepsOneEntry() {
    newWindow();
    const QString a = makeFolder("twiceA");
    const QString b = makeFolder("twiceB");
    folderBar()->openFolder(a);
    folderBar()->openFolder(b);
    folderBar()->openFolder(a);

    QCOMPARE(storedList(), (QStringList{a, b}));
    auto *comboBox = child<QComboBox>("directoryComboBox");
    QCOMPARE(comboBox->count(), 2);
    QCOMPARE(comboBox->currentText(), a);
}

void FolderSelectionTest::foldersDifferingInCaseAreKeptApart() {
    newWindow();
    const QString lower = makeFolder("case/photos");
    const QString upper = makeFolder("case/Photos");
    folderBar()->openFolder(lower);
    folderBar()->openFolder(upper);

    QCOMPARE(storedList(), (QStringList{upper, lower}));
    QCOMPARE(child<QComboBox>("directoryComboBox")->currentText(), upper);
}

void FolderSelectionTest::twentyOneFoldersKeepTheTwentyMostRecent() {
    newWindow();
    QStringList opened;
    for (int i = 0; i < 21; ++i) {
        opened.prepend(makeFolder(QString("many/%1").arg(i)));
        folderBar()->openFolder(opened.first());
    }
    QCOMPARE(storedList(), opened.mid(0, 20));

    // The next start offers them all after the blank item.
    newWindow();
    QCOMPARE(child<QComboBox>("directoryComboBox")->count(), 21);
}

void FolderSelectionTest::missingFolderChangesNothing() {
    newWindow();
    const QString folder = makeFolder("present");
    folderBar()->openFolder(folder);
    folderBar()->openFolder(sandbox->filePath("absent"));
    folderBar()->openFolder(QString());

    QCOMPARE(storedList(), QStringList{folder});
    QCOMPARE(child<QComboBox>("directoryComboBox")->currentText(), folder);
    QVERIFY(!child<QLabel>("leftDockHelp")->isHidden());
    QVERIFY(child<QTreeView>("tree")->isHidden());
}

void FolderSelectionTest::garbageAndMissingStoredFoldersArePickedSafely() {
    const QString folder = makeFolder("kept");
    Settings::setValue(SettingsKey::recentFolderList,
                       QVariantList{"", sandbox->filePath("gone"), 42, "\t", folder, "a\nb"});
    newWindow();
    auto *comboBox = child<QComboBox>("directoryComboBox");
    QCOMPARE(comboBox->itemText(0), QString());
    QVERIFY(comboBox->findText(folder) > 0);

    for (int i = comboBox->count() - 1; i >= 0; --i)
        comboBox->setCurrentIndex(i);
    QCOMPARE(comboBox->currentText(), QString());
    QVERIFY(child<QTreeView>("tree")->isHidden());
    QCOMPARE(storedList().first(), folder);

    // A value that is no list at all.
    Settings::setValue(SettingsKey::recentFolderList, 17);
    newWindow();
    QVERIFY(child<QComboBox>("directoryComboBox")->count() <= 2);
}

void FolderSelectionTest::emptyItemHidesTreeAndDisablesRotateButton() {
    const QString folder = makeFolder("withBlank");
    Settings::setValue(SettingsKey::recentFolderList, QStringList{folder});
    newWindow();
    auto *comboBox = child<QComboBox>("directoryComboBox");
    comboBox->setCurrentIndex(1);
    QVERIFY(child<QPushButton>("rotateNowButton")->isEnabled());
    QVERIFY(!child<QTreeView>("tree")->isHidden());
    QCOMPARE(folderBar()->currentFolder(), folder);

    comboBox->setCurrentIndex(0);
    QCOMPARE(folderBar()->currentFolder(), QString());
    QVERIFY(!child<QPushButton>("rotateNowButton")->isEnabled());
    QVERIFY(child<QAction>("actionRotate_folder_now")->isEnabled());
    QVERIFY(child<QTreeView>("tree")->isHidden());
    QVERIFY(!child<QLabel>("leftDockHelp")->isHidden());
}

void FolderSelectionTest::browseChoiceOfCurrentFolderDoesNothing() {
    newWindow();
    const QString a = makeFolder("browseA");
    const QString b = makeFolder("browseB");
    folderBar()->openChosenFolder(a);
    QCOMPARE(storedList(), QStringList{a});

    Settings::setValue(SettingsKey::recentFolderList, QStringList{});
    folderBar()->openChosenFolder(a);
    folderBar()->openChosenFolder(QString()); // the dialog was cancelled
    QCOMPARE(storedList(), QStringList{});

    folderBar()->openChosenFolder(QDir::fromNativeSeparators(b));
    QCOMPARE(storedList(), QStringList{b});
    QCOMPARE(child<QComboBox>("directoryComboBox")->currentText(), b);
}

// The dialog does not hold up the window: its answer arrives when the user gives it.
void FolderSelectionTest::browseDialogOpensTheChosenFolder() {
    newWindow();
    const QString a = makeFolder("dialogA");
    const QString b = makeFolder("dialogB");
    folderBar()->openFolder(a);

    const auto openDialog = [this] {
        child<QPushButton>("browse")->click();
        return window->findChild<QFileDialog *>();
    };
    QFileDialog *dialog = openDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->windowTitle().startsWith("Select directory to rotate photos in"));
    QCOMPARE(dialog->labelText(QFileDialog::Accept), QString("Select Folder"));
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QCOMPARE(QDir::toNativeSeparators(dialog->directory().absolutePath()), a);
    dialog->reject(); // cancelled: nothing changes
    QCOMPARE(folderBar()->currentFolder(), a);
    QTRY_VERIFY(!window->findChild<QFileDialog *>());

    dialog = openDialog();
    QVERIFY(dialog);
    dialog->selectFile(QDir::fromNativeSeparators(b));
    static_cast<QDialog *>(dialog)->accept(); // the Select Folder button
    QCOMPARE(folderBar()->currentFolder(), b);
    QCOMPARE(storedList(), (QStringList{b, a}));
    QTRY_VERIFY(!window->findChild<QFileDialog *>());
}

void FolderSelectionTest::treeShowsPhotosAndGreysOtherFiles() {
    newWindow();
    const QString folder = makeFolder("tree");
    QVERIFY(QDir().mkpath(sandbox->filePath("tree/sub")));
    const QStringList names{"a.jpg", "b.JPEG", "c.jfif", "d.jpe", "e.png", "f.txt"};
    for (const QString &name : names) {
        QFile file(sandbox->filePath("tree/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    folderBar()->openFolder(folder);

    QFileSystemModel *model = folderBar()->folderModel();
    auto *tree = child<QTreeView>("tree");
    QCOMPARE(tree->model(), model);
    QCOMPARE(tree->rootIndex(), model->index(sandbox->filePath("tree")));
    QTRY_COMPARE(model->rowCount(tree->rootIndex()), names.size() + 1);
    for (int column = 1; column <= 3; ++column)
        QVERIFY(tree->isColumnHidden(column));
    QVERIFY(!tree->isColumnHidden(0));
    QVERIFY(tree->isSortingEnabled());
    const auto rowNames = [&] {
        QStringList rows;
        for (int row = 0; row < model->rowCount(tree->rootIndex()); ++row)
            rows << model->index(row, 0, tree->rootIndex()).data().toString();
        return rows;
    };
    QTRY_COMPARE(rowNames(), QStringList{"sub"} + names);
    QVERIFY(!tree->isAnimated());

    const auto enabled = [&](const QString &name) {
        return model->flags(model->index(sandbox->filePath("tree/" + name))) & Qt::ItemIsEnabled;
    };
    for (const QString &photo : names.mid(0, 4))
        QVERIFY2(enabled(photo), qPrintable(photo));
    QVERIFY(!enabled("e.png"));
    QVERIFY(!enabled("f.txt"));
    QVERIFY(enabled("sub"));
}

void FolderSelectionTest::largeFolderOpensWithoutWaiting() {
    newWindow();
    const QString folder = makeFolder("large");
    const int photoCount = 10000;
    for (int i = 0; i < photoCount; ++i) {
        QFile file(sandbox->filePath(QString("large/photo%1.jpg").arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    folderBar()->openFolder(folder);
    QCOMPARE(child<QComboBox>("directoryComboBox")->currentText(), folder);

    QFileSystemModel *model = folderBar()->folderModel();
    const QModelIndex root = model->index(sandbox->filePath("large"));
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(root), photoCount, 30000);
}

void FolderSelectionTest::dockSwitchesFollowEachOther() {
    newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *dock = child<QDockWidget>("leftdock");
    auto *button = child<QPushButton>("showTreeButton");
    auto *action = child<QAction>("actionFolderTree");
    QVERIFY(dock->isHidden());

    button->click();
    QVERIFY(!dock->isHidden());
    QVERIFY(action->isChecked());
    QVERIFY(button->isChecked());

    dock->close(); // the dock's own close button
    QTRY_VERIFY(!action->isChecked());
    QVERIFY(!button->isChecked());

    action->trigger();
    QVERIFY(!dock->isHidden());
    QTRY_VERIFY(button->isChecked());
    action->trigger();
    QVERIFY(dock->isHidden());
    QTRY_VERIFY(!button->isChecked());
}

bool FolderSelectionTest::dragAndDrop(const QString &path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    return enter.isAccepted();
}

void FolderSelectionTest::typedPath_data() {
    QTest::addColumn<QString>("typed"); // %1 stands for the sandbox
    QTest::addColumn<bool>("opens");    // the folder "typed" opens; otherwise nothing changes

    QTest::newRow("absolute") << "%1/typed" << true;
    QTest::newRow("blanks and quotes") << "  \"%1/typed\" " << true;
    QTest::newRow("file URL") << "file://%1/typed" << true;
    QTest::newRow("relative to the current folder") << "typed" << true;
    QTest::newRow("with a trailing slash") << "%1/typed/" << true;
    QTest::newRow("a photo, not a folder") << "%1/photo.jpg" << false;
    QTest::newRow("nothing there") << "%1/gone" << false;
}

// A path typed or pasted into the folder box opens with Return; one that names no folder gets a
// message and changes nothing.
void FolderSelectionTest::typedPath() {
    QFETCH(QString, typed);
    QFETCH(bool, opens);
    const QString typedFolder = makeFolder("typed");
    QFile photo(sandbox->filePath("photo.jpg"));
    QVERIFY(photo.open(QIODevice::WriteOnly));
    photo.close();
    const QString start = QDir::toNativeSeparators(sandbox->path());
    newWindow();
    folderBar()->openFolder(start);
    const QString textBefore = mainPaneText();

    QLineEdit *edit = comboBox()->lineEdit();
    edit->setText(typed.arg(sandbox->path()));
    QTest::keyClick(edit, Qt::Key_Return);

    const QString expected = opens ? typedFolder : start;
    QCOMPARE(folderBar()->currentFolder(), expected);
    QCOMPARE(comboBox()->currentText(), expected);
    QCOMPARE(storedList().first(), expected);
    if (opens) {
        QCOMPARE(mainPaneText(), textBefore);
    } else {
        const QString said = mainPaneText().mid(textBefore.size());
        QVERIFY2(said.contains("Cannot open") && said.contains("there is no folder at this path"),
                 qPrintable(said));
    }
}

void FolderSelectionTest::typedPathsAreCompletedFromTheDisk() {
    const QString folder = makeFolder("holiday photos");
    newWindow();
    showWindow(QSize(1200, 800));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QLineEdit *edit = comboBox()->lineEdit();
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, QDir::toNativeSeparators(sandbox->filePath("holi")));
    QCompleter *completer = comboBox()->completer();
    QTRY_COMPARE(completer->currentCompletion(), folder);
}

void FolderSelectionTest::drop_data() {
    QTest::addColumn<QString>("dropped"); // in the sandbox
    QTest::addColumn<bool>("duringBatch");
    QTest::addColumn<QString>("opened"); // the folder opened, in the sandbox; empty: none
    QTest::addColumn<bool>("previewed"); // the dropped photo is previewed and highlighted

    QTest::newRow("folder") << "trip" << false << "trip" << false;
    QTest::newRow("photo") << "trip/photo.jpg" << false << "trip" << true;
    QTest::newRow("other file") << "trip/notes.txt" << false << QString() << false;
    QTest::newRow("folder during a batch") << "trip" << true << QString() << false;
}

// A folder dropped on the window opens as Browse opens it; a photo opens its folder and is
// previewed. Until a folder is open, the empty main pane says how to start.
void FolderSelectionTest::drop() {
    QFETCH(QString, dropped);
    QFETCH(bool, duringBatch);
    QFETCH(QString, opened);
    QFETCH(bool, previewed);
    const QString trip = makeFolder("trip");
    QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg",
                        sandbox->filePath("trip/photo.jpg")));
    QFile notes(sandbox->filePath("trip/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    newWindow();
    auto *mainPane = child<QTextBrowser>("cmdLineOutput");
    QVERIFY(mainPane->placeholderText().contains("choose a folder (Ctrl+O) or drop one here"));
    if (duringBatch)
        folderBar()->setFolderChoiceEnabled(false);

    const bool taken = dragAndDrop(sandbox->filePath(dropped));
    QCOMPARE(taken, !opened.isEmpty());
    if (opened.isEmpty()) {
        QVERIFY(folderBar()->currentFolder().isEmpty());
        QVERIFY(!mainPane->placeholderText().isEmpty());
        return;
    }
    QCOMPARE(folderBar()->currentFolder(), trip);
    QVERIFY(mainPane->placeholderText().isEmpty());
    const QString photo = sandbox->filePath("trip/photo.jpg");
    QCOMPARE(photoPreview()->previewedFile(), previewed ? photo : QString());
    if (previewed) {
        QCOMPARE(folderBar()->folderModel()->filePath(child<QTreeView>("tree")->currentIndex()),
                 photo);
        QVERIFY(!child<QDockWidget>("leftdock")->isHidden());
    }
}

QTEST_MAIN(FolderSelectionTest)
#include "tst_folderselection.moc"
