// The Preferences dialog: what it shows from the stored settings and what each control writes.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>

#include <algorithm>

#include "settings/preferences.h"
#include "settings/settings.h"
#include "windowfixture.h"

class PreferencesTest : public QObject, protected WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartDefaults();
    void storedValuesAreShown_data();
    void storedValuesAreShown();
    void clicksWriteTheirKeys_data();
    void clicksWriteTheirKeys();
    void parallelRotationsWrittenAtEachChange();
    void closeAfterRotateTalksToTheWindow();
    void forceFontSizeAppliesAtOnce();
    void sliderWritesAndPreviewsWithoutChangingTheAppFont();
    void threeVisibleTabs();

private:
    template <typename T> T *child(const QString &name) const {
        return dialog->findChild<T *>(name);
    }
    static QSettings settings() { return userSettings(); }

    std::unique_ptr<Preferences> dialog;
    QFont startFont;
};

void PreferencesTest::initTestCase() {
    setUpCase();
    startFont = QApplication::font();
}

void PreferencesTest::init() {
    setUp();
}

void PreferencesTest::cleanup() {
    dialog.reset();
    tearDown();
    QApplication::setFont(startFont);
}

void PreferencesTest::firstStartDefaults() {
    dialog = std::make_unique<Preferences>();

    QVERIFY(child<QAbstractButton>("keepAll")->isChecked());
    // The engine leaves the file time alone while the key is missing, and the page says so.
    QVERIFY(child<QAbstractButton>("modificationDatetime_donothing")->isChecked());
    QVERIFY(!child<QAbstractButton>("modificationDatetime_setFileToExifTimestamp")->isChecked());
    QVERIFY(!child<QAbstractButton>("modificationDatetime_restore")->isChecked());
    QVERIFY(!child<QCheckBox>("fixMirroredOrientations")->isChecked());
    QCOMPARE(child<QSpinBox>("parallelRotations")->value(), Settings::parallelRotations());
    QVERIFY(!child<QCheckBox>("perfect")->isChecked());
    QVERIFY(!child<QCheckBox>("closeAppAfterContextMenuRotate")->isChecked());
    QVERIFY(child<QCheckBox>("trim")->isChecked());
    QVERIFY(!child<QCheckBox>("forceFontSize")->isChecked());
    QCOMPARE(child<QSlider>("forceFontSizeSlider")->value(), 10);
    QCOMPARE(child<QLabel>("forceFontSizeNumberLabel")->text(), QString("10"));
    QCOMPARE(child<QLabel>("forceFontSizePreview")->font().pixelSize(), 10);
    QVERIFY(child<QCheckBox>("watchSubfoldersToWatch")->isChecked());
    QVERIFY(!child<QCheckBox>("watchSubfoldersToWatch")->isEnabled());

    // Only these two are written without a click; the defaults of the groups are not.
    QSettings stored = settings();
    QCOMPARE(stored.allKeys().size(), 2);
    QCOMPARE(stored.value("trim"), QVariant(true));
    QCOMPARE(stored.value("forceFontSizeValue").toInt(), 10);
}

void PreferencesTest::storedValuesAreShown_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("checkedLimit");
    QTest::addColumn<QString>("checkedTimestamp");
    QTest::addColumn<bool>("perfect");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("parallel"); // 0: the number of cores

    QTest::newRow("all set") << QVariantMap{{"perfect", true},
                                            {"trim", false},
                                            {"textLimit", 200},
                                            {"setFileTimestamp", 2},
                                            {"forceFontSizeValue", 15},
                                            {"forceFontSizeChecked", true},
                                            {"closeAppAfterContextMenuRotate", true},
                                            {"parallelRotations", 3},
                                            {"fixMirroredOrientations", true}}
                             << "keep200"
                             << "modificationDatetime_restore" << true << false << 15 << 3;
    QTest::newRow("leave the time, keep 10 000")
        << QVariantMap{{"textLimit", 10000}, {"setFileTimestamp", 0}, {"forceFontSizeValue", 30}}
        << "keep10000"
        << "modificationDatetime_donothing" << false << true << 30 << 0;
    QTest::newRow("set the time from EXIF")
        << QVariantMap{{"setFileTimestamp", 1}} << "keepAll"
        << "modificationDatetime_setFileToExifTimestamp" << false << true << 10 << 0;
    QTest::newRow("values of no button") << QVariantMap{{"textLimit", 7},
                                                        {"setFileTimestamp", 9},
                                                        {"forceFontSizeValue", 8},
                                                        {"parallelRotations", 0}}
                                         << ""
                                         << "" << false << true << 8 << 0;
    QTest::newRow("more side by side than the box offers")
        << QVariantMap{{"parallelRotations", 100}} << "keepAll"
        << "modificationDatetime_donothing" << false << true << 10 << 100;
}

void PreferencesTest::storedValuesAreShown() {
    QFETCH(QVariantMap, stored);
    QFETCH(QString, checkedLimit);
    QFETCH(QString, checkedTimestamp);
    QFETCH(bool, perfect);
    QFETCH(bool, trim);
    QFETCH(int, fontSize);
    QFETCH(int, parallel);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        Settings::setValue(it.key(), it.value());

    dialog = std::make_unique<Preferences>();
    for (const char *limit : {"keepAll", "keep50", "keep200", "keep1000", "keep10000"})
        QCOMPARE(child<QAbstractButton>(limit)->isChecked(), checkedLimit == limit);
    for (const char *choice :
         {"modificationDatetime_donothing", "modificationDatetime_setFileToExifTimestamp",
          "modificationDatetime_restore"})
        QCOMPARE(child<QAbstractButton>(choice)->isChecked(), checkedTimestamp == choice);
    QCOMPARE(child<QCheckBox>("perfect")->isChecked(), perfect);
    QCOMPARE(child<QCheckBox>("trim")->isChecked(), trim);
    QCOMPARE(child<QCheckBox>("forceFontSize")->isChecked(),
             stored.value("forceFontSizeChecked").toBool());
    QCOMPARE(child<QCheckBox>("closeAppAfterContextMenuRotate")->isChecked(),
             stored.value("closeAppAfterContextMenuRotate").toBool());
    QCOMPARE(child<QSlider>("forceFontSizeSlider")->value(), fontSize);
    QCOMPARE(child<QLabel>("forceFontSizeNumberLabel")->text(), QString::number(fontSize));
    QCOMPARE(child<QSpinBox>("parallelRotations")->value(),
             parallel ? parallel : std::max(1, QThread::idealThreadCount()));
    QCOMPARE(child<QCheckBox>("fixMirroredOrientations")->isChecked(),
             stored.value("fixMirroredOrientations").toBool());

    // Showing the stored values writes nothing back.
    QSettings after = settings();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(after.value(it.key()).toString(), it.value().toString());
}

void PreferencesTest::clicksWriteTheirKeys_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("perfect on") << QStringList{"perfect"} << "perfect" << QVariant(true);
    QTest::newRow("perfect on and off")
        << QStringList{"perfect", "perfect"} << "perfect" << QVariant(false);
    QTest::newRow("trim off") << QStringList{"trim"} << "trim" << QVariant(false);
    QTest::newRow("limit 1000") << QStringList{"keep1000"} << "textLimit" << QVariant(1000);
    QTest::newRow("limit 50 then all")
        << QStringList{"keep50", "keepAll"} << "textLimit" << QVariant(0);
    QTest::newRow("selected limit again") << QStringList{"keepAll"} << "textLimit" << QVariant(0);
    QTest::newRow("restore the time")
        << QStringList{"modificationDatetime_restore"} << "setFileTimestamp"
        << QVariant(int(FileTimeMode::RestoreOriginal));
    QTest::newRow("leave the time")
        << QStringList{"modificationDatetime_donothing"} << "setFileTimestamp"
        << QVariant(int(FileTimeMode::LeaveAlone));
    QTest::newRow("selected time choice again")
        << QStringList{"modificationDatetime_setFileToExifTimestamp"} << "setFileTimestamp"
        << QVariant(int(FileTimeMode::FromExifDate));
    QTest::newRow("close after rotate") << QStringList{"closeAppAfterContextMenuRotate"}
                                        << "closeAppAfterContextMenuRotate" << QVariant(true);
    QTest::newRow("force font size")
        << QStringList{"forceFontSize"} << "forceFontSizeChecked" << QVariant(true);
    QTest::newRow("mirrored photos on")
        << QStringList{"fixMirroredOrientations"} << "fixMirroredOrientations" << QVariant(true);
    QTest::newRow("mirrored photos on and off")
        << QStringList{"fixMirroredOrientations", "fixMirroredOrientations"}
        << "fixMirroredOrientations" << QVariant(false);
}

void PreferencesTest::clicksWriteTheirKeys() {
    QFETCH(QStringList, clicks);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    dialog = std::make_unique<Preferences>();
    QVERIFY(key == "trim" || !Settings::contains(key));

    for (const QString &name : clicks)
        child<QAbstractButton>(name)->click();
    QCOMPARE(Settings::value(key).toString(), expected.toString());
}

void PreferencesTest::parallelRotationsWrittenAtEachChange() {
    dialog = std::make_unique<Preferences>();
    auto *box = child<QSpinBox>("parallelRotations");
    QVERIFY(!Settings::contains("parallelRotations"));

    box->setValue(5);
    QCOMPARE(Settings::value("parallelRotations").toInt(), 5);
    box->stepDown();
    QCOMPARE(Settings::value("parallelRotations").toInt(), 4);
    box->setValue(0); // below the box's range: one at least
    QCOMPARE(Settings::value("parallelRotations").toInt(), 1);
}

void PreferencesTest::closeAfterRotateTalksToTheWindow() {
    dialog = std::make_unique<Preferences>();
    QSignalSpy toggled(dialog.get(), &Preferences::closeAppAfterContextMenuRotate_toggled);
    auto *box = child<QCheckBox>("closeAppAfterContextMenuRotate");

    box->click();
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.at(0).at(0).toBool(), true);
    QCOMPARE(Settings::value("closeAppAfterContextMenuRotate").toBool(), true);

    // The window's slider moved and wrote the key itself; the dialog only follows.
    Settings::setValue("closeAppAfterContextMenuRotate", "set by the window");
    dialog->toggleCloseAppAfterContextMenuRotate(false);
    QVERIFY(!box->isChecked());
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(Settings::value("closeAppAfterContextMenuRotate").toString(),
             QString("set by the window"));
}

void PreferencesTest::forceFontSizeAppliesAtOnce() {
    Settings::setValue("forceFontSizeValue", 21);
    dialog = std::make_unique<Preferences>();
    const QString family = QApplication::font().family();
    auto *box = child<QCheckBox>("forceFontSize");

    box->click();
    QCOMPARE(QApplication::font().pixelSize(), 21);
    QCOMPARE(QApplication::font().family(), family);
    QCOMPARE(Settings::value("forceFontSizeValue").toInt(), 21);

    box->click();
    QCOMPARE(QApplication::font().pointSize(), 10);
    QCOMPARE(Settings::value("forceFontSizeChecked").toBool(), false);
}

void PreferencesTest::sliderWritesAndPreviewsWithoutChangingTheAppFont() {
    dialog = std::make_unique<Preferences>();
    const QFont appFont = QApplication::font();
    child<QSlider>("forceFontSizeSlider")->setValue(24);

    QCOMPARE(Settings::value("forceFontSizeValue").toInt(), 24);
    QCOMPARE(child<QLabel>("forceFontSizeNumberLabel")->text(), QString("24"));
    QCOMPARE(child<QLabel>("forceFontSizePreview")->font().pixelSize(), 24);
    QCOMPARE(QApplication::font(), appFont);
}

void PreferencesTest::threeVisibleTabs() {
    dialog = std::make_unique<Preferences>();
    auto *tabs = child<QTabWidget>("tabWidget");
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->isTabVisible(i))
            titles << tabs->tabText(i);
    }
    QCOMPARE(titles, (QStringList{"Rotating", "Timestamps", "Output"}));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(dialog->windowTitle(), QString("Preferences"));
}

QTEST_MAIN(PreferencesTest)
#include "tst_preferences.moc"
