// Folder selection: the current folder and the combo box, typed and pasted paths, the
// recent-folders list, the Browse dialog and the folder tree of the left dock.
#include "mainwindow/folderbar.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>

#include "engine/photonames.h"
#include "mainwindow/pathinput.h"
#include "mainwindow/recentfolders.h"
#include "mainwindow/treeicons.h"
#include "presentation/messagetext.h"
#include "settings/settings.h"
#include "watcher/folderwatcher.h"

namespace {
constexpr int recentFolderMax = 20;
constexpr Qt::MatchFlags exactText = Qt::MatchExactly | Qt::MatchCaseSensitive;

// The wait cursor for the span of one scope, restored on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

bool isUnder(QModelIndex index, const QModelIndex &root) {
    while (index.isValid()) {
        index = index.parent();
        if (index == root)
            return true;
    }
    return false;
}
} // namespace

FolderBar::FolderBar(const Widgets &barWidgets, FolderWatcher *folderWatcher, QWidget *window)
    : QObject(window)
    , widgets(barWidgets)
    , dialogParent(window)
    , watcher(folderWatcher)
    , icons(std::make_unique<TreeIconProvider>())
    , model(new QFileSystemModel(this)) {
    model->setIconProvider(icons.get());
    widgets.tree->setBackgroundRole(QPalette::Button);
    connect(widgets.folders, &QComboBox::currentIndexChanged, this, &FolderBar::followComboBox);
    acceptTypedPaths();
    connect(widgets.browse, &QAbstractButton::clicked, this, &FolderBar::browse);
    connect(widgets.browseAction, &QAction::triggered, this, &FolderBar::browse);
    connect(widgets.tree, &QTreeView::clicked, this, &FolderBar::chooseEntry);
    connect(widgets.tree, &QTreeView::activated, this, &FolderBar::chooseEntry);
    connectTreeSwitches();
    fillComboBox();
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

FolderBar::~FolderBar() {
    delete model; // before the icon provider it asks
}

void FolderBar::openFoldersPickedInComboBox() {
    connect(widgets.folders, &QComboBox::currentIndexChanged, this,
            [this](int index) { openFolder(widgets.folders->itemText(index)); });
}

void FolderBar::setFolderChoiceEnabled(bool enabled) {
    choiceEnabled = enabled;
    if (!enabled)
        showCurrentFolderInBox();
    widgets.folders->setEnabled(enabled);
    widgets.browse->setEnabled(enabled);
    widgets.browseAction->setEnabled(enabled);
}

// The combo box's current item is the current folder; watcher runs rotate it. Its text may be
// edited meanwhile: that is a path being typed, not yet a folder.
void FolderBar::followComboBox(int index) {
    folder = widgets.folders->itemText(index);
    watcher->setCurrentFolder(folder);
    emit currentFolderChanged(folder);
}

// A path typed or pasted into the combo box is opened with Return, with the folders on the disk
// offered as completions. Whatever is dropped on it goes to the window, which opens it.
void FolderBar::acceptTypedPaths() {
    QComboBox *box = widgets.folders;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    QLineEdit *edit = box->lineEdit();
    edit->setPlaceholderText(tr("Type or paste a folder's path"));
    edit->setAcceptDrops(false);

    auto *completer = new QCompleter(box);
    auto *diskFolders = new QFileSystemModel(completer);
    diskFolders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    diskFolders->setRootPath(QString());
    completer->setModel(diskFolders);
    box->setCompleter(completer);
    // The model reads a folder when asked for it: the folder being typed in is asked for, and the
    // completer offers its subfolders once they are read.
    connect(edit, &QLineEdit::textEdited, diskFolders, [diskFolders](const QString &text) {
        const QModelIndex typedIn =
            diskFolders->index(QFileInfo(QDir::fromNativeSeparators(text)).path());
        if (diskFolders->canFetchMore(typedIn))
            diskFolders->fetchMore(typedIn);
    });

    connect(edit, &QLineEdit::returnPressed, this, &FolderBar::openTypedFolder);
    // Leaving the box with a path typed but not opened: the box shows the current folder again.
    connect(edit, &QLineEdit::editingFinished, this, [this] {
        if (!widgets.folders->lineEdit()->hasFocus())
            showCurrentFolderInBox();
    });
}

// A path that names no folder changes nothing, and the user is told why.
void FolderBar::openTypedFolder() {
    const QString path = typedFolderPath(widgets.folders->lineEdit()->text(), folder);
    if (path.isEmpty() || path == QDir::toNativeSeparators(folder)) {
        showCurrentFolderInBox();
        return;
    }
    if (!QFileInfo(path).isDir()) {
        emit message(tr("Cannot open %1: there is no folder at this path.").arg(escapeHtml(path)));
        showCurrentFolderInBox();
        return;
    }
    openFolder(path);
}

void FolderBar::showCurrentFolderInBox() {
    QComboBox *box = widgets.folders;
    if (box->lineEdit()->text() != box->itemText(box->currentIndex()))
        box->setEditText(box->itemText(box->currentIndex()));
}

void FolderBar::fillComboBox() {
    const QStringList items = recentFolderItems(Settings::recentFolderList(), recentFolderMax);
    if (items.isEmpty())
        return;
    widgets.folders->addItem(QString());
    widgets.folders->addItems(items);
}

void FolderBar::addToRecentFolders(const QString &folderPath) {
    Settings::setValue(
        SettingsKey::recentFolderList,
        recentFoldersAfterUse(Settings::recentFolderList(), folderPath, recentFolderMax));
}

void FolderBar::openFolder(const QString &folderPath) {
    const WaitCursor waitCursor;
    if (folderPath.isEmpty() || !QFileInfo(folderPath).isDir()) {
        widgets.treeHelp->show();
        widgets.tree->hide();
        return;
    }
    const QString nativeFolder = QDir::toNativeSeparators(folderPath);
    widgets.folders->setToolTip(nativeFolder);
    addToRecentFolders(folderPath);

    widgets.treeHelp->hide();
    widgets.tree->setEnabled(true);
    widgets.tree->show();
    widgets.treeAction->setEnabled(true);
    emit folderOpened(folderPath);

    makeFolderCurrentInComboBox(nativeFolder);

    if (!watcher->systemWatchedPaths().isEmpty())
        watcher->removeAllWatchPaths();
    watcher->watchFolder(folderPath);

    showFolderInTree(folderPath);
    // The watcher says again what it does, now for this folder.
    watcher->setWatching(watcher->isWatching(), false);
}

// Once folders picked in the combo box are opened, making another item current runs openFolder
// again for the same folder from in here; that nested run finds the item current and goes no
// deeper.
void FolderBar::makeFolderCurrentInComboBox(const QString &nativeFolder) {
    QComboBox *comboBox = widgets.folders;
    if (comboBox->findText(nativeFolder, exactText) < 0)
        comboBox->addItem(nativeFolder);
    comboBox->setCurrentIndex(comboBox->findText(nativeFolder, exactText));
}

void FolderBar::showFolderInTree(const QString &folderPath) {
    if (!model->setRootPath(folderPath).isValid())
        emit message(tr("Could not open folder %1").arg(escapeHtml(folderPath)));
    model->setNameFilters(photoNameFilters());
    model->setNameFilterDisables(true);

    QTreeView *tree = widgets.tree;
    if (tree->model() != model) {
        tree->setModel(model);
        followCurrentEntry();
    }
    for (int column = 1; column <= 3; ++column)
        tree->hideColumn(column);
    const QModelIndex rootIndex = model->index(QDir::cleanPath(folderPath));
    if (rootIndex.isValid())
        tree->setRootIndex(rootIndex);
    // An entry of the folder shown before is no longer the one the keys move from.
    if (!isUnder(tree->currentIndex(), tree->rootIndex())) {
        tree->setCurrentIndex(QModelIndex());
        chosen = QPersistentModelIndex();
    }
    tree->setAnimated(false);
    tree->setSortingEnabled(true);
    // The hidden header's initial indicator is descending, which would list the photos Z to A.
    tree->sortByColumn(0, Qt::AscendingOrder);
    tree->setColumnWidth(0, tree->width() / 3);
}

// The caption names the dialog's accept button, so the button is given that name everywhere, not
// only where the system's own folder dialog happens to use it.
void FolderBar::browse() {
    const QString startFolder = folder.isEmpty() ? QDir::currentPath() : folder;
    auto *dialog = new QFileDialog(
        dialogParent,
        tr("Select directory to rotate photos in (Note: JPEG files do not show here, "
           "they will show in the app after clicking 'Select Folder'.)"),
        startFolder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, tr("Select Folder"));
    connect(dialog, &QFileDialog::fileSelected, this, &FolderBar::openChosenFolder);
    dialog->open();
}

void FolderBar::openChosenFolder(const QString &chosenFolder) {
    const QString nativeChoice = QDir::toNativeSeparators(chosenFolder);
    if (nativeChoice.isEmpty() || nativeChoice == folder)
        return;
    openFolder(nativeChoice);
}

void FolderBar::openPhotoInTree(const QString &photoPath) {
    const QFileInfo photo(photoPath);
    openFolder(photo.absolutePath());
    showTree();
    const QModelIndex entry = model->index(photo.absoluteFilePath());
    if (!entry.isValid() || widgets.tree->model() != model) {
        emit entryChosen(photo.absoluteFilePath());
        return;
    }
    if (widgets.tree->currentIndex() != entry)
        widgets.tree->setCurrentIndex(entry);
    else
        chooseEntry(entry);
}

void FolderBar::chooseEntry(const QModelIndex &index) {
    chosen = index;
    emit entryChosen(model->filePath(index));
}

// The entry the keys or the mouse make current is the one previewed and acted on.
void FolderBar::followCurrentEntry() {
    connect(widgets.tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    chooseEntry(current);
            });
}

// Steps among the entries of the same folder, in the order the tree shows them; there is no
// wrap-around at either end.
void FolderBar::stepInTree(int step) {
    if (!chosen.isValid() || chosen.model() != model)
        return;
    const QModelIndex parent = chosen.parent();
    const int row = chosen.row() + step;
    if (row < 0 || row >= model->rowCount(parent))
        return;
    const QModelIndex neighbour = model->index(row, chosen.column(), parent);
    if (widgets.tree->model() == model)
        widgets.tree->setCurrentIndex(neighbour);
    if (chosen != neighbour)
        chooseEntry(neighbour);
}

void FolderBar::showTree() {
    widgets.treeButton->setChecked(true);
    widgets.treeAction->setChecked(true);
    widgets.treeDock->show();
}

// The button, the View menu's action and the dock's own close button agree on whether the tree
// is shown.
void FolderBar::connectTreeSwitches() {
    connect(widgets.treeAction, &QAction::triggered, widgets.treeDock, &QWidget::setVisible);
    connect(widgets.treeButton, &QAbstractButton::clicked, this, [this](bool checked) {
        widgets.treeAction->setChecked(checked);
        widgets.treeDock->setVisible(checked);
    });
    connect(widgets.treeDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        widgets.treeAction->setChecked(visible);
        widgets.treeButton->setChecked(visible);
    });
}

// A dropped folder opens as Browse opens it; a dropped photo opens its folder and is previewed.
bool FolderBar::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        const bool wanted =
            choiceEnabled && droppedItem(drag->mimeData()->urls()).kind != DroppedItem::Nothing;
        if (wanted)
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const DroppedItem item = droppedItem(drop->mimeData()->urls());
        if (!choiceEnabled || item.kind == DroppedItem::Nothing) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (item.kind == DroppedItem::Folder)
            openChosenFolder(item.path);
        else
            openPhotoInTree(item.path);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
