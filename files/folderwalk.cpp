// The walk over a held tree, folder by folder.
#include "files/folderwalk.h"

#include "files/foldertree.h"
#include "files/heldtempfile.h"

PhotoNamePatterns::PhotoNamePatterns(const QStringList &patterns) {
    static const QRegularExpression suffixPattern("\\A\\*\\.[^*?\\[\\]]+\\z");
    for (const QString &pattern : patterns) {
        if (suffixPattern.match(pattern).hasMatch()) {
            suffixes << pattern.mid(1);
            continue;
        }
        expressions << QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    }
}

bool PhotoNamePatterns::matches(const QString &displayName) const {
    for (const QString &suffix : suffixes) {
        if (displayName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    for (const QRegularExpression &expression : expressions) {
        if (expression.match(displayName).hasMatch())
            return true;
    }
    return false;
}

FolderWalk::FolderWalk(FolderTree &folderTree, const QStringList &photoPatterns,
                       std::shared_ptr<HeldFolder> start)
    : tree(folderTree)
    , patterns(photoPatterns)
    , startFolder(start ? std::move(start) : folderTree.root()) {}

WalkedFolder FolderWalk::next() {
    if (!rootListed) {
        rootListed = true;
        return listFolder(*startFolder);
    }
    if (pending.empty())
        return {};
    const Pending subfolder = pending.back();
    pending.pop_back();
    FileProblem problem;
    const std::shared_ptr<HeldFolder> folder =
        tree.enter(subfolder.parent, subfolder.name, &problem);
    if (!folder) {
        WalkedFolder notEntered;
        notEntered.problems << problem;
        return notEntered;
    }
    return listFolder(*folder);
}

WalkedFolder FolderWalk::listFolder(const HeldFolder &folder) {
    WalkedFolder walked;
    walked.place = folder.place();
    QList<FolderEntry> entries;
    folder.list(&entries, &walked.problems);
    std::vector<Pending> subfolders;
    for (const FolderEntry &entry : std::as_const(entries)) {
        if (entry.name.startsWith('.')) {
            walked.holdsTempFiles = walked.holdsTempFiles || isTempName(entry.name);
            continue;
        }
        if (entry.type == FileStatus::Type::Folder) {
            subfolders.push_back({walked.place, entry.name});
        } else if (patterns.matches(entry.displayName)) {
            if (entry.type == FileStatus::Type::RegularFile)
                walked.photos << entry;
            else
                walked.notPhotos << entry;
        }
    }
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
    return walked;
}
