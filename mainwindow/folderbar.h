// The current folder and how the user picks it: the folder combo box with the recently used
// folders, the Browse dialog, and the folder tree in the left dock with its switches. The current
// folder is kept here as a value, follows the combo box, and is what the watcher watches.
#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

class FolderWatcher;
class QAbstractButton;
class QAction;
class QComboBox;
class QDockWidget;
class QFileSystemModel;
class QLabel;
class QTreeView;
class QWidget;

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

    // `window` is the parent of the Browse dialog.
    FolderBar(const Widgets &widgets, FolderWatcher *folderWatcher, QWidget *window);

    QString currentFolder() const { return folder; }
    QFileSystemModel *folderModel() const { return model; }
    // The tree entry last clicked, activated or stepped to.
    QPersistentModelIndex chosenEntry() const { return chosen; }

    // From now on a folder picked in the combo box is opened. Start-up opens its folder before.
    void openFoldersPickedInComboBox();

public slots:
    // Makes `folder` current: recorded among the recent folders, shown in the combo box and the
    // tree, and watched. An empty or missing folder only shows the help in place of the tree.
    void openFolder(const QString &folder);
    // The Browse dialog's answer: a new folder is opened; the current one or none changes nothing.
    void openChosenFolder(const QString &chosen);
    void browse();
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

private:
    void followComboBox(const QString &text);
    void fillComboBox();
    void addToRecentFolders(const QString &folder);
    void makeFolderCurrentInComboBox(const QString &nativeFolder);
    void showFolderInTree(const QString &folder);
    void chooseEntry(const QModelIndex &index);
    void connectTreeSwitches();

    Widgets widgets;
    QWidget *dialogParent = nullptr;
    FolderWatcher *watcher = nullptr;
    QFileSystemModel *model = nullptr;
    QString folder;
    QPersistentModelIndex chosen;
};
