// Folder selection: the current folder in the combo box, the recent-folders list, the browse
// dialog and the folder tree of the left dock.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

#include "engine/photofiles.h"
#include "presentation/messagetext.h"
#include "mainwindow/recentfolders.h"
#include "settings/settings.h"
#include "watcher/folderwatcher.h"

namespace {
// The wait cursor for the span of one scope, restored on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

constexpr Qt::MatchFlags exactText = Qt::MatchExactly | Qt::MatchCaseSensitive;
} // namespace

void Pivotta::fillFolderComboBox() {
    const QStringList items = recentFolderItems(Settings::recentFolderList(), recentFolderMax);
    if (items.isEmpty())
        return;
    ui->directoryComboBox->addItem(QString());
    ui->directoryComboBox->addItems(items);
}

void Pivotta::addToRecentFolders(QString folder) {
    Settings::setValue(
        SettingsKey::recentFolderList,
        recentFoldersAfterUse(Settings::recentFolderList(), folder, recentFolderMax));
}

void Pivotta::openFolder(QString folder) {
    const WaitCursor waitCursor;
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        ui->leftDockHelp->show();
        ui->tree->hide();
        return;
    }
    const QString nativeFolder = QDir::toNativeSeparators(folder);
    ui->directoryComboBox->setToolTip(nativeFolder);
    addToRecentFolders(folder);

    ui->leftDockHelp->hide();
    ui->tree->setEnabled(true);
    ui->tree->show();
    ui->actionRotate_folder_now->setEnabled(true);
    ui->rotateNowButton->setEnabled(true);
    ui->actionFolderTree->setEnabled(true);

    makeFolderCurrentInComboBox(nativeFolder);

    if (!watcher->systemWatchedPaths().isEmpty())
        watcher->removeAllWatchPaths();
    watcher->watchFolder(folder);

    showFolderInTree(folder);
    setWatchFolderSetting(ui->horizontalSlider->value() == ui->horizontalSlider->maximum(), false);
}

// Once the change signal is connected, making another item current runs openFolder again for the
// same folder from in here; that nested run finds the item current and goes no deeper.
void Pivotta::makeFolderCurrentInComboBox(const QString &nativeFolder) {
    QComboBox *comboBox = ui->directoryComboBox;
    if (comboBox->findText(nativeFolder, exactText) < 0)
        comboBox->addItem(nativeFolder);
    comboBox->setCurrentIndex(comboBox->findText(nativeFolder, exactText));
}

void Pivotta::showFolderInTree(const QString &folder) {
    if (!folderModel->setRootPath(folder).isValid())
        appendOutput(tr("Could not open folder %1").arg(escapeHtml(folder)));
    folderModel->setNameFilters(photoNameFilters());
    folderModel->setNameFilterDisables(true);

    QTreeView *tree = ui->tree;
    tree->setModel(folderModel);
    for (int column = 1; column <= 3; ++column)
        tree->hideColumn(column);
    const QModelIndex rootIndex = folderModel->index(QDir::cleanPath(folder));
    if (rootIndex.isValid())
        tree->setRootIndex(rootIndex);
    tree->setAnimated(false);
    tree->setSortingEnabled(true);
    // The hidden header's initial indicator is descending, which would list the photos Z to A.
    tree->sortByColumn(0, Qt::AscendingOrder);
    tree->setColumnWidth(0, tree->width() / 3);
}

// The caption names the dialog's accept button, so the button is given that name everywhere, not
// only where the system's own folder dialog happens to use it.
void Pivotta::on_browse_clicked() {
    const QString currentFolder = ui->directoryComboBox->currentText();
    const QString startFolder = currentFolder.isEmpty() ? QDir::currentPath() : currentFolder;
    QFileDialog dialog(
        this,
        tr("Select directory to rotate photos in (Note: JPEG files do not show here, "
           "they will show in the app after clicking 'Select Folder'.)"),
        startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, tr("Select Folder"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    openChosenFolder(dialog.selectedFiles().constFirst());
}

void Pivotta::openChosenFolder(const QString &chosen) {
    const QString nativeChoice = QDir::toNativeSeparators(chosen);
    if (nativeChoice.isEmpty() || nativeChoice == ui->directoryComboBox->currentText())
        return;
    openFolder(nativeChoice);
}

void Pivotta::directoryComboBox_currentIndexChanged(QString arg1) {
    openFolder(arg1);
    if (ui->directoryComboBox->currentText().isEmpty())
        ui->rotateNowButton->setEnabled(false);
}

void Pivotta::on_actionFolderTree_triggered(bool checked) {
    ui->leftdock->setVisible(checked);
}

void Pivotta::on_showTreeButton_clicked(bool checked) {
    ui->actionFolderTree->setChecked(checked);
    ui->leftdock->setVisible(checked);
}

void Pivotta::on_leftdock_visibilityChanged(bool visible) {
    ui->actionFolderTree->setChecked(visible);
    ui->showTreeButton->setChecked(visible);
}
