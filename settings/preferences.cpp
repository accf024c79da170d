// The Preferences dialog. There is no OK step: each click writes its key at once, and the
// program reads the keys afresh whenever it needs them.
#include "settings/preferences.h"
#include "ui_preferences.h"

#include <QApplication>
#include <QButtonGroup>
#include <QScrollArea>

#include <algorithm>

#include "common/applicationfont.h"
#include "common/screenfit.h"
#include "settings/settings.h"

namespace {
constexpr int defaultFontPixelSize = 10;
constexpr int defaultTextLimit = 0;
// What the engine does while the key is missing: it leaves the file time alone.
constexpr int defaultFileTimestamp = int(FileTimeMode::LeaveAlone);

// The stored id of a button group, or its default when the key is missing.
int storedId(const char *key, int defaultId) {
    return Settings::contains(key) ? Settings::value(key).toInt() : defaultId;
}

// A stored value that is no id of the group selects no button: showing the form's choice would
// claim a setting the program does not have.
void checkButtonWithId(QButtonGroup *group, int id) {
    if (QAbstractButton *button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton *button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}
} // namespace

Preferences::Preferences(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Preferences) {
    ui->setupUi(this);
    useFileManagerTexts();
    showStoredCheckBoxes();
    showStoredParallelRotations();
    showStoredFontSize();
    buildButtonGroups();
}

Preferences::~Preferences() {
    delete ui;
}

// The form's size suits a large screen. On a smaller one the dialog grows as tall as its pages
// need at the width it has, so that every control is in view; only where the screen is too
// small for that do the pages scroll.
void Preferences::showEvent(QShowEvent *event) {
    shrinkIntoScreen(this);
    fitHeightToPages();
    QDialog::showEvent(event);
}

// Each page has the size of the page shown; the scrolled pages fill theirs.
void Preferences::fitHeightToPages() {
    const QWidget *page = ui->tabWidget->currentWidget();
    int missing = 0;
    for (const QScrollArea *area : {ui->scrollArea_2, ui->scrollArea})
        missing = std::max(missing, heightShowingAll(area, page->width()) - page->height());
    if (missing > 0)
        setHeightWithinScreen(this, height() + missing);
}

// The form names Windows and its File Explorer; elsewhere the context-menu entries belong to the
// file manager.
void Preferences::useFileManagerTexts() {
#ifndef Q_OS_WIN
    ui->closeAppAfterContextMenuRotate->setText(
        tr("Close window after operation (when rotating from file manager context menu)"));
    ui->label_6->setText(
        tr("<html><head/><body><p>Sometimes text in Pivotta buttons, etc. does not fit because "
           "you're using custom desktop font size or resolution. Setting a fixed font size for "
           "Pivotta alone can help.</p></body></html>"));
#endif
}

void Preferences::showStoredCheckBoxes() {
    ui->perfect->setChecked(Settings::perfect());
    ui->fixMirroredOrientations->setChecked(Settings::fixMirroredOrientations());
    ui->keepOriginalsInTrash->setChecked(Settings::keepOriginalsInTrash());
    connect(ui->keepOriginalsInTrash, &QCheckBox::clicked, this,
            [](bool checked) { Settings::setValue(SettingsKey::keepOriginalsInTrash, checked); });
    ui->closeAppAfterContextMenuRotate->setChecked(Settings::closeAppAfterContextMenuRotate());
    if (!Settings::contains(SettingsKey::trim))
        Settings::setValue(SettingsKey::trim, true);
    ui->trim->setChecked(Settings::trim());
}

// Shows the stored number, or the default the engine uses, without writing it; from here on each
// change is written.
void Preferences::showStoredParallelRotations() {
    const int parallel = Settings::parallelRotations();
    ui->parallelRotations->setMaximum(std::max(ui->parallelRotations->maximum(), parallel));
    ui->parallelRotations->setValue(parallel);
    connect(ui->parallelRotations, &QSpinBox::valueChanged, this,
            [](int count) { Settings::setValue(SettingsKey::parallelRotations, count); });
}

// Moving the slider from its form position writes the value through the value-changed slot, so
// a missing value is stored as the default at the first start.
void Preferences::showStoredFontSize() {
    ui->forceFontSize->setChecked(Settings::value(SettingsKey::forceFontSizeChecked).toBool());
    const QVariant stored = Settings::value(SettingsKey::forceFontSizeValue);
    const int pixelSize = stored.isNull() ? defaultFontPixelSize : stored.toInt();
    ui->forceFontSizeSlider->setSliderPosition(pixelSize);
    showFontSize(pixelSize);
}

void Preferences::buildButtonGroups() {
    textLimitGroup = new QButtonGroup(this);
    textLimitGroup->addButton(ui->keepAll, 0);
    textLimitGroup->addButton(ui->keep50, 50);
    textLimitGroup->addButton(ui->keep200, 200);
    textLimitGroup->addButton(ui->keep1000, 1000);
    textLimitGroup->addButton(ui->keep10000, 10000);

    fileTimestampGroup = new QButtonGroup(this);
    fileTimestampGroup->addButton(ui->modificationDatetime_donothing,
                                  int(FileTimeMode::LeaveAlone));
    fileTimestampGroup->addButton(ui->modificationDatetime_setFileToExifTimestamp,
                                  int(FileTimeMode::FromExifDate));
    fileTimestampGroup->addButton(ui->modificationDatetime_restore,
                                  int(FileTimeMode::RestoreOriginal));

    checkButtonWithId(textLimitGroup, storedId(SettingsKey::textLimit, defaultTextLimit));
    checkButtonWithId(fileTimestampGroup,
                      storedId(SettingsKey::setFileTimestamp, defaultFileTimestamp));

    connect(textLimitGroup, &QButtonGroup::idClicked, this, &Preferences::textLimitClicked);
    connect(fileTimestampGroup, &QButtonGroup::idClicked, this,
            [](int id) { Settings::setValue(SettingsKey::setFileTimestamp, id); });
}

void Preferences::showFontSize(int pixelSize) {
    ui->forceFontSizeNumberLabel->setNum(pixelSize);
    QFont previewFont = QApplication::font();
    previewFont.setPixelSize(pixelSize);
    ui->forceFontSizePreview->setFont(previewFont);
}

void Preferences::setPerfectUILabel(QString perfectUILabel) {
    ui->perfect->setText(perfectUILabel);
}

void Preferences::toggleCloseAppAfterContextMenuRotate(bool checked) {
    ui->closeAppAfterContextMenuRotate->setChecked(checked);
}

void Preferences::on_perfect_clicked(bool checked) {
    Settings::setValue(SettingsKey::perfect, checked);
}

void Preferences::on_trim_clicked(bool checked) {
    Settings::setValue(SettingsKey::trim, checked);
}

void Preferences::on_fixMirroredOrientations_clicked(bool checked) {
    Settings::setValue(SettingsKey::fixMirroredOrientations, checked);
}

void Preferences::on_closeAppAfterContextMenuRotate_clicked(bool checked) {
    emit closeAppAfterContextMenuRotate_toggled(checked);
    Settings::setValue(SettingsKey::closeAppAfterContextMenuRotate, checked);
}

void Preferences::textLimitClicked(int id) {
    Settings::setValue(SettingsKey::textLimit, id);
}

// Applies the same rule as start-up, keeping the family the application already has.
void Preferences::on_forceFontSize_clicked(bool checked) {
    Settings::setValue(SettingsKey::forceFontSizeChecked, checked);
    Settings::setValue(SettingsKey::forceFontSizeValue, ui->forceFontSizeSlider->value());

    const QFont current = QApplication::font();
    QFont font = startupFont(current, checked, Settings::value(SettingsKey::forceFontSizeValue));
    if (!current.families().isEmpty())
        font.setFamilies(current.families());
    QApplication::setFont(font);
}

void Preferences::on_forceFontSizeSlider_valueChanged(int position) {
    Settings::setValue(SettingsKey::forceFontSizeValue, position);
    showFontSize(position);
}
