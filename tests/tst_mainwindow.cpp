// The main window frame: starts from the shell, the close-after-finish choice and countdown, help,
// zoom, the detailed-output dock, and the window size kept between runs.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <memory>

#include "common/projectaddress.h"
#include "engine/rotationengine.h"
#include "exif/exifrecord.h"
#include "files/fileidentity.h"
#include "settings/settings.h"
#include "windowfixture.h"

namespace {
QByteArray contentOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int orientationOf(const QString &path) {
    const QByteArray bytes = contentOf(path);
    ExifRecord exif;
    if (exif.readJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                      static_cast<uint32_t>(bytes.size())) != ExifRecord::ExifOk)
        return -1;
    return exif.orientation;
}
} // namespace

class MainWindowTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void shellStart_data();
    void shellStart();
    void unreadablePhotoFromTheShell();
    void closeAfterFinishSliderToggles();
    void delayQuitsOnlyWhenChosen_data();
    void delayQuitsOnlyWhenChosen();
    void countdownRunsOnlyWhenArmed();
    void keepOpenCancelsTheClose_data();
    void keepOpenCancelsTheClose();
    void aBatchLocksItsFolderAndEscStopsIt();
    void helpTwiceShowsItOnce();
    void zoomInAndOutReturnsToTheStartSize();
    void closingDetailedDockUnchecksItsAction();
    void titleAndStatusMessage();
    void aboutDialog();

    void restoreSize_data();
    void restoreSize();
    void saveKeepsSizeAndMaximizedState();
    void hideSavesShowRestoresAndCloseWritesNoNativeLayout();

private:
    QString outputText() const { return mainPaneText(); }

    QStringList photos; // copies that need no turn, a quarter turn and a half turn
};

void MainWindowTest::initTestCase() {
    setUpCase();
}

void MainWindowTest::init() {
    setUp();
    photos.clear();
    for (const char *name : {"Landscape_1.jpg", "Landscape_6.jpg", "Portrait_3.jpg"}) {
        const QString copy = sandbox->filePath(name);
        QVERIFY(QFile::copy(QString(PIVOTTA_TESTDATA_DIR "/orientation/") + name, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner));
        photos << copy;
    }
}

void MainWindowTest::cleanup() {
    tearDown();
}

void MainWindowTest::shellStart_data() {
    QTest::addColumn<QString>("destination"); // "folder", "photo" or nothing
    QTest::addColumn<bool>("watch");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<bool>("frameShown");
    QTest::addColumn<QList<bool>>("rotated"); // per photo: orientation 1, 6, 3

    const QList<bool> none{false, false, false};
    const QList<bool> folderTurns{false, true, true};
    const QList<bool> photoTurn{false, true, false};
    QTest::newRow("nothing") << "" << false << false << false << false << none;
    QTest::newRow("folder") << "folder" << false << false << true << true << folderTurns;
    QTest::newRow("folder watch") << "folder" << true << false << false << true << folderTurns;
    QTest::newRow("folder preview") << "folder" << false << true << false << false << none;
    QTest::newRow("folder watch preview") << "folder" << true << true << false << false << none;
    QTest::newRow("photo") << "photo" << false << false << true << true << photoTurn;
    QTest::newRow("photo watch") << "photo" << true << false << true << true << photoTurn;
    QTest::newRow("photo preview") << "photo" << false << true << false << false << none;
    QTest::newRow("photo watch preview") << "photo" << true << true << false << false << none;
}

void MainWindowTest::shellStart() {
    QFETCH(QString, destination);
    QFETCH(bool, watch);
    QFETCH(bool, preview);
    QFETCH(bool, armed);
    QFETCH(bool, frameShown);
    QFETCH(QList<bool>, rotated);

    QList<QByteArray> before;
    QList<quint64> fileNumbers;
    for (const QString &photo : photos) {
        before << contentOf(photo);
        fileNumbers << fileIdentityOf(photo).inode;
    }
    const QString folder = destination == "folder" ? sandbox->path() : QString();
    const QString file = destination == "photo" ? photos.at(1) : QString();
    newWindow(decisions(preview, watch, folder, file));
    window->show(); // as at start-up; a batch ends early once the window is closed

    QCOMPARE(countdown()->isArmed(), armed);
    auto *frame = child<QFrame>("closeAppAfterRotatingFinishesFrame");
    QCOMPARE(!frame->isHidden(), frameShown);
    if (!destination.isEmpty() && !preview)
        QVERIFY(outputText().contains("Waiting for window to initialize... done."));
    if (destination == "folder" && preview) {
        QVERIFY(!child<QDockWidget>("leftdock")->isHidden());
        QVERIFY(child<QAction>("actionFolderTree")->isChecked());
        QVERIFY(child<QPushButton>("showTreeButton")->isChecked());
    }

    if (rotated.contains(true)) {
        // Read once each is a new file: a read during the rotation would make it leave the photo.
        for (int i = 0; i < photos.size(); ++i) {
            if (!rotated.at(i))
                continue;
            QTRY_VERIFY_WITH_TIMEOUT(fileIdentityOf(photos.at(i)).inode != fileNumbers.at(i),
                                     20000);
            QCOMPARE(orientationOf(photos.at(i)), 1);
        }
        // The finished run starts the countdown, which takes the arming back.
        QTRY_VERIFY(!countdown()->isArmed());
    } else {
        QTest::qWait(1300); // past the moment a start-up rotation would begin
    }
    for (int i = 0; i < photos.size(); ++i) {
        if (!rotated.at(i))
            QVERIFY2(contentOf(photos.at(i)) == before.at(i), qPrintable(photos.at(i)));
    }
}

void MainWindowTest::unreadablePhotoFromTheShell() {
    newWindow(decisions(false, false, QString(), sandbox->filePath("gone <b>x</b>.jpg")));
    QVERIFY(outputText().contains("shell parameter: Rotate file"));
    QVERIFY(outputText().contains("gone <b>x</b>.jpg"));
    QVERIFY(outputText().contains("File is not readable."));
    QVERIFY(!countdown()->isArmed());
}

void MainWindowTest::closeAfterFinishSliderToggles() {
    newWindow();
    auto *slider = child<QSlider>("closeAppAfterRotatingFinishes");
    auto *preferencesBox = child<QCheckBox>("closeAppAfterContextMenuRotate");
    const QString greyStyle = slider->styleSheet();
    QCOMPARE(slider->value(), 0);

    emit slider->sliderPressed();
    QCOMPARE(slider->value(), 1);
    QCOMPARE(Settings::closeAppAfterContextMenuRotate(), true);
    QVERIFY(preferencesBox->isChecked());
    QVERIFY(slider->styleSheet().contains("#7c7"));

    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(Settings::closeAppAfterContextMenuRotate(), false);
    QVERIFY(!preferencesBox->isChecked());
    QCOMPARE(slider->styleSheet(), greyStyle);

    // And the other way: the Preferences check box moves the slider.
    preferencesBox->click();
    QCOMPARE(slider->value(), 1);
    QVERIFY(slider->styleSheet().contains("#7c7"));
}

void MainWindowTest::delayQuitsOnlyWhenChosen_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("quits");

    QTest::newRow("chosen") << QVariant(true) << 1;
    QTest::newRow("not chosen") << QVariant(false) << 0;
    QTest::newRow("never set") << QVariant() << 0;
}

void MainWindowTest::delayQuitsOnlyWhenChosen() {
    QFETCH(QVariant, stored);
    QFETCH(int, quits);
    newWindow();
    if (stored.isValid())
        Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, stored);

    QSignalSpy quitApp(window.get(), &Pivotta::quitApp);
    auto *frame = child<QFrame>("closeAppAfterRotatingFinishesFrame");
    frame->show();
    countdown()->timeUp();
    QCOMPARE(quitApp.count(), quits);
    QVERIFY(frame->isHidden());
}

void MainWindowTest::countdownRunsOnlyWhenArmed() {
    newWindow();
    auto *bar = child<QProgressBar>("closeAppAfterRotatingFinishesFrameProgressBar");
    countdown()->start();
    QTest::qWait(300);
    QCOMPARE(bar->value(), 85);

    countdown()->arm();
    countdown()->start();
    QVERIFY(!countdown()->isArmed());
    QTRY_VERIFY(bar->value() < 85);
}

void MainWindowTest::keepOpenCancelsTheClose_data() {
    QTest::addColumn<QString>("keepOpen"); // how, or empty for not at all
    QTest::addColumn<int>("quits");

    QTest::newRow("Keep open button") << "button" << 0;
    QTest::newRow("Esc") << "Esc" << 0;
    QTest::newRow("left to run out") << QString() << 1;
}

// Started from the file manager with closing chosen, the countdown says when Pivotta closes; Keep
// open (or Esc) cancels the close for this run.
void MainWindowTest::keepOpenCancelsTheClose() {
    QFETCH(QString, keepOpen);
    QFETCH(int, quits);
    Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, true);
    newWindow();
    showWindow(QSize(1200, 800));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QSignalSpy quitApp(window.get(), &Pivotta::quitApp);
    auto *closingIn = child<QLabel>("closingInLabel");
    auto *keepOpenButton = child<QPushButton>("keepOpenButton");
    QVERIFY(closingIn->isHidden());
    QVERIFY(keepOpenButton->isHidden());

    countdown()->setLength(std::chrono::milliseconds(1500));
    countdown()->showFrame();
    countdown()->arm();
    countdown()->start();
    QVERIFY(countdown()->isCountingDown());
    QCOMPARE(closingIn->text(), QString("Closing in 2 s"));
    QVERIFY(keepOpenButton->isVisible());
    if (keepOpen == "button")
        keepOpenButton->click();
    else if (keepOpen == "Esc")
        QTest::keyClick(window.get(), Qt::Key_Escape);

    QTest::qWait(1800);
    QCOMPARE(quitApp.count(), quits);
    QVERIFY(!countdown()->isCountingDown());
    QVERIFY(child<QFrame>("closeAppAfterRotatingFinishesFrame")->isHidden());
}

// While a batch runs its folder cannot be changed, Stop can be used and Esc stops the batch;
// before and after, Stop is disabled.
void MainWindowTest::aBatchLocksItsFolderAndEscStopsIt() {
    for (int i = 0; i < 12; ++i) {
        const QString copy = sandbox->filePath(QString("turn %1.jpg").arg(i));
        QVERIFY(QFile::copy(PIVOTTA_TESTDATA_DIR "/orientation/Landscape_6.jpg", copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner));
    }
    newWindow();
    folderBar()->openFolder(sandbox->path());
    showWindow(QSize(1200, 800));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const QList<QWidget *> folderChoice{child<QWidget>("directoryComboBox"),
                                        child<QWidget>("browse")};
    auto *stop = child<QPushButton>("stopRotatingButton");
    QVERIFY(!stop->isEnabled());
    QTest::keyClick(window.get(), Qt::Key_Escape); // nothing runs: nothing happens

    QSignalSpy finished(window->rotationEngine(), &RotationEngine::runFinished);
    child<QAction>("actionRotate_folder_now")->trigger();
    QVERIFY(window->rotationEngine()->isUserBatchRunning());
    QVERIFY(stop->isEnabled());
    for (QWidget *control : folderChoice)
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(!child<QAction>("actionBrowse_folder")->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
    QVERIFY(finished.first().first().value<RunSummary>().interrupted);
    QVERIFY(!stop->isEnabled());
    for (QWidget *control : folderChoice)
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(child<QAction>("actionBrowse_folder")->isEnabled());
}

void MainWindowTest::helpTwiceShowsItOnce() {
    newWindow();
    child<QAction>("actionHelp")->trigger();
    child<QAction>("actionHelp")->trigger();
    for (QPushButton *button : window->statusBar()->findChildren<QPushButton *>()) {
        if (button->text() == "Help")
            button->click();
    }
    QCOMPARE(outputText().count("Pivotta aims to provide"), 1);
}

void MainWindowTest::zoomInAndOutReturnsToTheStartSize() {
    newWindow();
    QList<QTextEdit *> panes{child<QTextEdit>("cmdLineOutput"),
                             child<QTextEdit>("cmdLineOutput_2")};
    QList<qreal> startSizes;
    for (QTextEdit *pane : panes)
        startSizes << pane->font().pointSizeF();

    for (int i = 0; i < 3; ++i)
        child<QAction>("actionIncrease_font_size")->trigger();
    for (int i = 0; i < panes.size(); ++i)
        QVERIFY(panes.at(i)->font().pointSizeF() > startSizes.at(i));
    for (int i = 0; i < 3; ++i)
        child<QAction>("actionDecrease_font_size")->trigger();
    for (int i = 0; i < panes.size(); ++i)
        QCOMPARE(panes.at(i)->font().pointSizeF(), startSizes.at(i));
}

void MainWindowTest::closingDetailedDockUnchecksItsAction() {
    newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *dock = child<QDockWidget>("detailedOutputDock");
    auto *action = child<QAction>("action_Detailed_output");
    QVERIFY(dock->isHidden());

    action->trigger();
    QVERIFY(action->isChecked());
    QVERIFY(!dock->isHidden());

    dock->close();
    QTRY_VERIFY(!action->isChecked());
    QVERIFY(dock->isHidden());
}

void MainWindowTest::titleAndStatusMessage() {
    newWindow();
    QCOMPARE(window->windowTitle(), QString("Pivotta 3"));
    QVERIFY(window->statusBar()->currentMessage().startsWith("This app uses Qt under the LGPL"));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(child<QWidget>("counter")->isHidden());
    QVERIFY(child<QDockWidget>("imagedock")->isHidden());
}

void MainWindowTest::aboutDialog() {
    QCoreApplication::setApplicationVersion("3.27");
    newWindow();
    auto *about = child<QDialog>("About");
    QVERIFY(about->isHidden());
    child<QAction>("actionAbout")->trigger();
    QVERIFY(about->isVisible());
    QVERIFY(about->isModal());

    auto *version = about->findChild<QLabel *>("version");
    QCOMPARE(version->text(), QString("3.27"));
    QCOMPARE(version->alignment(), Qt::AlignCenter);
    QVERIFY(about->findChild<QLabel *>("label_3")->openExternalLinks());
    const QString credits = about->findChild<QLabel *>("label_2")->text();
    for (const char *credited : {"LGPL", "exiv2", "jpegtran", "Independent JPEG Group"})
        QVERIFY2(credits.contains(credited), credited);
    QVERIFY(!credits.contains("<a ")); // addresses are plain text
    QVERIFY(!credits.contains("MIT"));
    const QString heading = about->findChild<QLabel *>("label_3")->text();
    QVERIFY(heading.contains("multiples of 90 degrees"));
    if (projectHomepage().isEmpty())
        QCOMPARE((heading + credits).count(noProjectAddressText()), 1);

    // Qt's own box is modal and deletes itself on closing.
    bool qtBoxOnTopOfAbout = false;
    QTimer::singleShot(0, [&qtBoxOnTopOfAbout, about] {
        QWidget *shown = QApplication::activeModalWidget();
        qtBoxOnTopOfAbout = qobject_cast<QMessageBox *>(shown) && shown->parentWidget() == about;
        if (shown)
            shown->close();
    });
    about->findChild<QPushButton *>("pushButton")->click();
    QVERIFY(qtBoxOnTopOfAbout);
}

void MainWindowTest::restoreSize_data() {
    QTest::addColumn<QVariant>("storedSize");
    QTest::addColumn<QVariant>("storedMaximized");
    QTest::addColumn<QSize>("expectedSize"); // an invalid size: the form's size stays
    QTest::addColumn<bool>("maximized");

    QTest::newRow("nothing stored") << QVariant() << QVariant() << QSize() << false;
    QTest::newRow("stored size") << QVariant(QSize(1200, 700)) << QVariant(false)
                                 << QSize(1200, 700) << false;
    QTest::newRow("0 by 0") << QVariant(QSize(0, 0)) << QVariant() << QSize() << false;
    QTest::newRow("negative width") << QVariant(QSize(-5, 700)) << QVariant() << QSize() << false;
    QTest::newRow("negative height") << QVariant(QSize(1200, -1)) << QVariant() << QSize() << false;
    QTest::newRow("maximized") << QVariant(QSize(1200, 700)) << QVariant(true) << QSize() << true;
}

void MainWindowTest::restoreSize() {
    QFETCH(QVariant, storedSize);
    QFETCH(QVariant, storedMaximized);
    QFETCH(QSize, expectedSize);
    QFETCH(bool, maximized);
    if (storedSize.isValid())
        Settings::setValue("PivottaSize", storedSize);
    if (storedMaximized.isValid())
        Settings::setValue("PivottaMaximized", storedMaximized);

    newWindow();
    const QSize formSize = window->size();
    window->restore();
    QCOMPARE(window->isMaximized(), maximized);
    if (!maximized)
        QCOMPARE(window->size(), expectedSize.isValid() ? expectedSize : formSize);
}

void MainWindowTest::saveKeepsSizeAndMaximizedState() {
    newWindow();
    window->resize(1300, 800);
    window->save();
    QCOMPARE(Settings::value("PivottaSize").toSize(), QSize(1300, 800));
    QCOMPARE(Settings::value("PivottaMaximized").toBool(), false);

    window->setWindowState(Qt::WindowMaximized);
    window->save();
    QCOMPARE(Settings::value("PivottaMaximized").toBool(), true);
    QCOMPARE(Settings::value("PivottaSize").toSize(), QSize(1300, 800));
    QVERIFY(!Settings::contains("PivottaPosition"));
}

// The size is kept in the user settings file; closing writes no geometry to the native store,
// which nothing would read.
void MainWindowTest::hideSavesShowRestoresAndCloseWritesNoNativeLayout() {
    newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->resize(1100, 650);
    window->hide();
    QCOMPARE(Settings::value("PivottaSize").toSize(), QSize(1100, 650));

    Settings::setValue("PivottaSize", QSize(1250, 720));
    window->show();
    QCOMPARE(window->size(), QSize(1250, 720));

    window->close();
    QCOMPARE(Settings::value("PivottaSize").toSize(), QSize(1250, 720));
    const QSettings native(QSettings::NativeFormat, QSettings::UserScope, "Tavlund", "Pivotta");
    QVERIFY(!native.contains("windowgeometry"));
    QVERIFY(!native.contains("windowstate"));
    QVERIFY(!Settings::contains("PivottaPosition"));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
