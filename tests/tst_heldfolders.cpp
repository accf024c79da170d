// Folders held by descriptor and the walk over a tree: the order and choice of photos, names that
// are no valid text, folders swapped for links while the walk goes on, folders opened again and
// recognised, unreadable folders, paths longer than the system's limit, and running out of
// descriptors.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "engine/photonames.h"
#include "files/fileproblem.h"
#include "files/foldertree.h"
#include "files/folderwalk.h"
#include "files/heldfolder.h"
#include "files/heldphoto.h"
#include "otheruser.h"
#include "rawfiles.h"

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool makeFolders(const QString &root, const QStringList &folders) {
    for (const QString &folder : folders) {
        if (!QDir(root).mkpath(folder))
            return false;
    }
    return true;
}

QString kindName(FileProblem::Kind kind) {
    switch (kind) {
    case FileProblem::Kind::NotFound:
        return "not found";
    case FileProblem::Kind::NoPermission:
        return "no permission";
    case FileProblem::Kind::SymbolicLink:
        return "symbolic link";
    case FileProblem::Kind::NotFolder:
        return "not a folder";
    case FileProblem::Kind::Replaced:
        return "replaced";
    case FileProblem::Kind::OutOfDescriptors:
        return "out of descriptors";
    default:
        return "other";
    }
}

QString names(const QList<FolderEntry> &entries) {
    QStringList shown;
    for (const FolderEntry &entry : entries)
        shown << entry.displayName;
    return shown.join(' ');
}

// Each folder the walk gives, as "path relative to the root: photos | not photos | problems".
QStringList walkAll(FolderTree &tree) {
    FolderWalk walk(tree, photoNameFilters());
    const QString root = tree.root()->displayPath();
    QStringList lines;
    while (!walk.atEnd()) {
        const WalkedFolder folder = walk.next();
        QString line = folder.place ? folder.place->displayPath.mid(root.size() + 1) + ":" : "-:";
        if (!folder.photos.isEmpty())
            line += " " + names(folder.photos);
        if (!folder.notPhotos.isEmpty())
            line += " | not " + names(folder.notPhotos);
        for (const FileProblem &problem : folder.problems)
            line += " | " + problem.path.mid(root.size() + 1) + " " + kindName(problem.kind);
        lines << line;
    }
    return lines;
}

} // namespace

class HeldFoldersTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void walkGivesPhotosFolderByFolder();
    void nameThatIsNoTextIsOpenedByItsBytes();
    void folderSwappedDuringTheWalkIsNotEntered_data();
    void folderSwappedDuringTheWalkIsNotEntered();
    void folderOpenedAgainMustBeTheSame_data();
    void folderOpenedAgainMustBeTheSame();
    void unreadableFolderIsReported();
    void pathLongerThanTheSystemLimitWorks();
    void runningOutOfDescriptorsIsReported();

private:
    std::unique_ptr<QTemporaryDir> sandbox;
    QString root;
};

void HeldFoldersTest::init() {
    sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(sandbox->isValid());
    // Checks run as another user must be able to reach it.
    QVERIFY(QFile::setPermissions(
        sandbox->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                             QFileDevice::ReadOther | QFileDevice::ExeOther));
    root = sandbox->filePath("root");
    QVERIFY(QDir().mkpath(root));
}

// Through descriptors: names that are no valid text and trees deeper than a path can say defeat
// QTemporaryDir's own removal.
void HeldFoldersTest::cleanup() {
    RawFiles::removeTree(sandbox->path());
    sandbox.reset();
}

void HeldFoldersTest::walkGivesPhotosFolderByFolder() {
    QVERIFY(makeFolders(root, {"folder.jpg", "sub/deeper", ".hidden", "empty"}));
    for (const char *file :
         {"B.JPG", "a.jpg", "c.png", ".hidden.jpg", "folder.jpg/x.JfIf", "sub/z.jpg",
          "sub/deeper/y.jpe", ".hidden/h.jpg", "sub/deeper/note.txt"})
        QVERIFY(writeFile(root + "/" + QString(file), "photo"));
    const int rootFolder = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(RawFiles::writeAt(rootFolder, "caf\xe9.jpg", "photo"));
    QCOMPARE(::mkfifoat(rootFolder, "fifo.jpeg", 0644), 0);
    ::close(rootFolder);
    QVERIFY(QFile::link("a.jpg", root + "/link.jpg"));
    QVERIFY(QFile::link("sub", root + "/linked"));

    FileProblem problem;
    const std::unique_ptr<FolderTree> tree = FolderTree::open(root, &problem);
    QVERIFY2(tree, qPrintable(problem.text()));
    const QStringList expected{
        QString(": B.JPG a.jpg caf") + QChar(0xFFFD) + ".jpg | not fifo.jpeg link.jpg",
        "empty:",
        "folder.jpg: x.JfIf",
        "sub: z.jpg",
        "sub/deeper: y.jpe",
    };
    QCOMPARE(walkAll(*tree), expected);
}

void HeldFoldersTest::nameThatIsNoTextIsOpenedByItsBytes() {
    const QByteArray name("caf\xe9.jpg");
    const int rootFolder = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(RawFiles::writeAt(rootFolder, name, "the photo's bytes"));
    ::close(rootFolder);

    FileProblem problem;
    const std::unique_ptr<FolderTree> tree = FolderTree::open(root, &problem);
    QVERIFY(tree);
    FolderWalk walk(*tree, photoNameFilters());
    const WalkedFolder listed = walk.next();
    QCOMPARE(listed.photos.size(), 1);
    QCOMPARE(listed.photos.first().name, name);
    const std::unique_ptr<HeldPhoto> photo =
        HeldPhoto::open(tree->root(), listed.photos.first().name, &problem);
    QVERIFY2(photo, qPrintable(problem.text()));
    QByteArray bytes;
    QVERIFY(photo->readAll(&bytes, &problem));
    QCOMPARE(bytes, QByteArray("the photo's bytes"));
    QVERIFY(photo->displayPath().endsWith(QString("caf") + QChar(0xFFFD) + ".jpg"));
}

void HeldFoldersTest::folderSwappedDuringTheWalkIsNotEntered_data() {
    QTest::addColumn<QString>("swap");
    QTest::addColumn<QString>("expected");
    QTest::newRow("link to a folder outside") << "link"
                                              << "sub symbolic link";
    QTest::newRow("a file now") << "file"
                                << "sub not a folder";
}

// The walk lists the root, the subfolder is swapped, and only then is it entered: nothing of the
// folder outside may appear.
void HeldFoldersTest::folderSwappedDuringTheWalkIsNotEntered() {
    QFETCH(QString, swap);
    QFETCH(QString, expected);
    QVERIFY(makeFolders(root, {"sub"}));
    QVERIFY(makeFolders(sandbox->path(), {"outside"}));
    QVERIFY(writeFile(root + "/sub/inside.jpg", "inside"));
    QVERIFY(writeFile(sandbox->filePath("outside/secret.jpg"), "secret"));

    const std::unique_ptr<FolderTree> tree = FolderTree::open(root, nullptr);
    QVERIFY(tree);
    FolderWalk walk(*tree, photoNameFilters());
    QVERIFY(walk.next().problems.isEmpty());

    QVERIFY(QDir(root).rename("sub", "moved"));
    if (swap == "link")
        QVERIFY(QFile::link(sandbox->filePath("outside"), root + "/sub"));
    else
        QVERIFY(writeFile(root + "/sub", "not a folder"));

    QVERIFY(!walk.atEnd());
    const WalkedFolder swapped = walk.next();
    QVERIFY(!swapped.place);
    QVERIFY(swapped.photos.isEmpty());
    QCOMPARE(swapped.problems.size(), 1);
    QCOMPARE(swapped.problems.first().path.mid(root.size() + 1) + " " +
                 kindName(swapped.problems.first().kind),
             expected);
    QVERIFY(!swapped.problems.first().reason.isEmpty());
    QVERIFY(walk.atEnd());
}

void HeldFoldersTest::folderOpenedAgainMustBeTheSame_data() {
    QTest::addColumn<QString>("swap");
    QTest::addColumn<QString>("expected"); // the problem's kind, or empty for the same folder
    QTest::newRow("unchanged") << "none"
                               << "";
    QTest::newRow("another folder under its parent's name") << "folder"
                                                            << "replaced";
    QTest::newRow("its parent swapped for a link") << "link"
                                                   << "symbolic link";
    QTest::newRow("its parent removed") << "remove"
                                        << "not found";
}

// A folder listed earlier and no longer open is opened again from the root, one name at a time;
// each folder on the way must be the one that was listed.
void HeldFoldersTest::folderOpenedAgainMustBeTheSame() {
    QFETCH(QString, swap);
    QFETCH(QString, expected);
    QVERIFY(makeFolders(root, {"a/b"}));
    QVERIFY(makeFolders(sandbox->path(), {"outside/b"}));

    const std::unique_ptr<FolderTree> tree = FolderTree::open(root, nullptr, 0);
    QVERIFY(tree);
    FileProblem problem;
    const std::shared_ptr<HeldFolder> a = tree->enter(tree->root()->place(), "a", &problem);
    QVERIFY(a);
    const std::shared_ptr<HeldFolder> b = tree->enter(a->place(), "b", &problem);
    QVERIFY(b);
    const std::shared_ptr<const FolderPlace> place = b->place();
    const FileKey key = b->key();
    QCOMPARE(tree->openFolderCount(), 1); // none kept besides the root

    if (swap == "folder") {
        QVERIFY(QDir(root).rename("a", "old"));
        QVERIFY(makeFolders(root, {"a/b"}));
    } else if (swap == "link") {
        QVERIFY(QDir(root).rename("a", "old"));
        QVERIFY(QFile::link(sandbox->filePath("outside"), root + "/a"));
    } else if (swap == "remove") {
        QVERIFY(QDir(root + "/a").removeRecursively());
    }

    problem = {};
    const std::shared_ptr<HeldFolder> again = tree->folder(place, &problem);
    if (expected.isEmpty()) {
        QVERIFY2(again, qPrintable(problem.text()));
        QCOMPARE(again->key(), key);
        return;
    }
    QVERIFY(!again);
    QCOMPARE(kindName(problem.kind), expected);
    QCOMPARE(problem.path, root + "/a");
}

void HeldFoldersTest::unreadableFolderIsReported() {
    QVERIFY(makeFolders(root, {"locked", "open"}));
    QVERIFY(writeFile(root + "/locked/hidden.jpg", "photo"));
    QVERIFY(writeFile(root + "/open/seen.jpg", "photo"));
    OTHER_USER_MUST_REACH(root);
    QVERIFY(QFile::setPermissions(root + "/locked", QFileDevice::Permissions()));

    // In the child no QTest macro can report; the number says which check failed.
    const int result = OtherUser::run([this] {
        FileProblem problem;
        const std::unique_ptr<FolderTree> tree = FolderTree::open(root, &problem);
        if (!tree)
            return 1;
        const QStringList lines = walkAll(*tree);
        const QStringList expected{":", "-: | locked no permission", "open: seen.jpg"};
        if (lines != expected)
            qWarning() << lines;
        return lines == expected ? 0 : 2;
    });
    QFile::setPermissions(root + "/locked",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(result, 0);
}

// Nothing opens a whole path, so a photo deeper than PATH_MAX is found, read and opened again.
void HeldFoldersTest::pathLongerThanTheSystemLimitWorks() {
    const QByteArray name(200, 'd');
    constexpr int depth = PATH_MAX / 200 + 5;
    int folder = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(folder >= 0);
    for (int level = 0; level < depth; ++level) {
        QCOMPARE(::mkdirat(folder, name.constData(), 0755), 0);
        const int deeper = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = deeper;
        QVERIFY(folder >= 0);
    }
    QVERIFY(RawFiles::writeAt(folder, "deep.jpg", "deep photo"));
    ::close(folder);

    const std::unique_ptr<FolderTree> tree = FolderTree::open(root, nullptr, 2);
    QVERIFY(tree);
    FolderWalk walk(*tree, photoNameFilters());
    WalkedFolder found;
    while (!walk.atEnd() && found.photos.isEmpty()) {
        found = walk.next();
        QVERIFY(found.problems.isEmpty());
    }
    QCOMPARE(found.photos.size(), 1);
    QVERIFY(found.place->displayPath.size() > PATH_MAX);
    QCOMPARE(found.place->depth, depth);

    FileProblem problem;
    const std::shared_ptr<HeldFolder> deepest = tree->folder(found.place, &problem);
    QVERIFY2(deepest, qPrintable(problem.text()));
    const std::unique_ptr<HeldPhoto> photo = HeldPhoto::open(deepest, "deep.jpg", &problem);
    QVERIFY2(photo, qPrintable(problem.text()));
    QByteArray bytes;
    QVERIFY(photo->readAll(&bytes, &problem));
    QCOMPARE(bytes, QByteArray("deep photo"));
}

void HeldFoldersTest::runningOutOfDescriptorsIsReported() {
    QVERIFY(makeFolders(root, {"a/b/c/d/e/f"}));
    for (const char *folder : {"a", "a/b", "a/b/c", "a/b/c/d", "a/b/c/d/e", "a/b/c/d/e/f"})
        QVERIFY(writeFile(root + "/" + QString(folder) + "/p.jpg", "photo"));

    QStringList lines;
    {
        const std::unique_ptr<FolderTree> tree = FolderTree::open(root, nullptr);
        QVERIFY(tree);
        // Room for a listing and two folders more.
        RawFiles::LoweredDescriptorLimit limit(RawFiles::lowestFreeDescriptor() + 3);
        lines = walkAll(*tree);
    }
    QVERIFY2(lines.join('\n').contains("out of descriptors"), qPrintable(lines.join('\n')));
    QCOMPARE(lines.first(), ":"); // the root was listed
}

QTEST_GUILESS_MAIN(HeldFoldersTest)
#include "tst_heldfolders.moc"
