// The current folder and how the user picks it: the folder combo box with the recently used
// folders, where a path can also be typed or pasted, the Browse dialog, and the folder tree in the
// left dock with its switches, and folders or photos dropped on the window. The current folder is
// kept here as a value, follows the combo box, and is what the watcher watches. The tree's current
// entry, however reached (mouse, keys, the previous and next steps), is the entry chosen for the
// preview.
#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <memory>

class FolderWatcher;
class QAbstractButton;
class QAction;
class QComboBox;
class QDockWidget;
class QFileSystemModel;
class QLabel;
class QTreeView;
class QWidget;
class TreeIconProvider;

class FolderBar : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QComboBox *folders;
        QAbstractButton *browse;
        QAction *browseAction;
        QTreeView *tree;
        QLabel *treeHelp; // shown in place of the tree while no folder is open
        QDockWidget *treeDock;
        QAbstractButton *treeButton;
        QAction *treeAction;
    };

    // `window` is the parent of the Browse dialog, and takes the drops.
    FolderBar(const Widgets &widgets, FolderWatcher *folderWatcher, QWidget *window);
    ~FolderBar() override;

    QString currentFolder() const { return folder; }
    QFileSystemModel *folderModel() const { return model; }
    // The tree entry last chosen: made current, clicked, activated or stepped to.
    QPersistentModelIndex chosenEntry() const { return chosen; }

    // From now on a folder picked in the combo box is opened. Start-up opens its folder before.
    void openFoldersPickedInComboBox();
    // While a batch runs, the folder cannot be changed: the combo box with its recent folders and
    // Browse are disabled, and drops are refused.
    void setFolderChoiceEnabled(bool enabled);
    bool isFolderChoiceEnabled() const { return choiceEnabled; }

public slots:
    // Makes `folder` current: recorded among the recent folders, shown in the combo box and the
    // tree, and watched. An empty or missing folder only shows the help in place of the tree.
    void openFolder(const QString &folder);
    // The Browse dialog's answer: a new folder is opened; the current one or none changes nothing.
    void openChosenFolder(const QString &chosen);
    void browse();
    // Opens the photo's folder and makes the photo the tree's current entry.
    void openPhotoInTree(const QString &photoPath);
    void showTree();
    // The entry above (-1) or below (+1) the chosen one, in the order the tree shows them.
    void stepInTree(int step);

signals:
    void currentFolderChanged(const QString &folder);
    void folderOpened(const QString &folder);
    // A file or folder picked in the tree.
    void entryChosen(const QString &path);
    // Rich text for the main pane.
    void message(const QString &text);

protected:
    // Drags over the window: a folder or a photo is taken, anything else refused.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followComboBox(int index);
    void acceptTypedPaths();
    void openTypedFolder();
    void showCurrentFolderInBox();
    void fillComboBox();
    void addToRecentFolders(const QString &folder);
    void makeFolderCurrentInComboBox(const QString &nativeFolder);
    void showFolderInTree(const QString &folder);
    void chooseEntry(const QModelIndex &index);
    void followCurrentEntry();
    void connectTreeSwitches();

    Widgets widgets;
    QWidget *dialogParent = nullptr;
    FolderWatcher *watcher = nullptr;
    std::unique_ptr<TreeIconProvider> icons; // outlives the model, which asks it
    QFileSystemModel *model = nullptr;
    QString folder;
    QPersistentModelIndex chosen;
    bool choiceEnabled = true;
};
