// Installation: `cmake --install` into a temporary prefix, the installed desktop entry, icons,
// AppStream data and context-menu entries, the per-user command for Nautilus and Thunar run in
// a temporary home, and the Debian package that cpack makes from the same build.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString entriesCommand = QStringLiteral("pivotta-install-file-manager-entries");

struct CommandResult {
    bool finished = false;
    int exitCode = -1;
    QString output;
};

CommandResult
runCommand(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
           const QString &workingDirectory = QString()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    CommandResult result;
    result.finished =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The raw value of `key` in `[group]` of a desktop-entry-style file; no unescaping, so that
// the test sees what the file manager reads.
QString keyFileValue(const QString &path, const QString &group, const QString &key) {
    const QStringList lines = QString::fromUtf8(fileBytes(path)).split('\n');
    QString currentGroup;
    for (const QString &line : lines) {
        if (line.startsWith('[')) {
            currentGroup = line.mid(1, line.indexOf(']') - 1);
        } else if (currentGroup == group && line.section('=', 0, 0).trimmed() == key) {
            return line.section('=', 1);
        }
    }
    return QString();
}

// The fields of a Debian control file; continuation lines are kept with their leading blank.
QMap<QString, QString> controlFields(const QString &control) {
    QMap<QString, QString> fields;
    QString current;
    for (const QString &line : control.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(' ') && !current.isEmpty()) {
            fields[current] += '\n' + line;
        } else {
            current = line.section(':', 0, 0);
            fields.insert(current, line.section(':', 1).trimmed());
        }
    }
    return fields;
}

// The package names in a Depends field, without versions or alternatives' separators.
QStringList dependedPackages(const QString &depends) {
    QStringList names;
    for (const QString &entry : depends.split(QRegularExpression("[,|]"), Qt::SkipEmptyParts))
        names << entry.trimmed().section(' ', 0, 0);
    return names;
}

int countOf(const QByteArray &haystack, const QByteArray &needle) {
    return int(haystack.count(needle));
}

const QByteArray userThunarActions = R"(<?xml version="1.0" encoding="UTF-8"?>
<actions>
<action>
	<icon>utilities-terminal</icon>
	<name>Open Terminal Here</name>
	<unique-id>1612345678901234-1</unique-id>
	<command>exo-open --working-directory %f --launch TerminalEmulator</command>
	<description>The user's own action</description>
	<patterns>*</patterns>
	<startup-notify/>
	<directories/>
</action>
</actions>
)";
} // namespace

class PackagingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installsFiles_data();
    void installsFiles();
    void debianPackageHoldsInstalledFiles();
    void debianPackageEntriesStartProgramInUsr();
    void debianPackageControl_data();
    void debianPackageControl();
    void debianPackageDepends();
    void iconsAreReadable();
    void validatorsAccept();
    void entriesStartInstalledProgram_data();
    void entriesStartInstalledProgram();
    void prefixWithBlanksIsQuoted();
    void watchUnitStartsInstalledProgram();
    void perUserEntriesKeepUserActions();
    void perUserEntriesStartOneProgramPerItem();
    void perUserEntriesStartFromSystemThunarActions();
    void perUserEntriesRefuseBrokenThunarFile();

private:
    bool install(const QString &prefix);
    void buildDebianPackage();
    QProcessEnvironment homeEnvironment(const QString &home) const;
    QString installed(const QString &relativePath) const { return prefix + "/" + relativePath; }

    QTemporaryDir sandbox;
    QString prefix;
    QString program;
    QString stubLog;
    // The Debian package built once in initTestCase, or why it is skipped or failed.
    QString debianPackage;
    QMap<QString, QString> debianControl;
    QString debianPackageSkipped;
    QString debianPackageError;
};

// Every test of the Debian package starts with this: skipped where the tools are missing, failed
// where cpack failed.
#define REQUIRE_DEBIAN_PACKAGE()                                                                   \
    do {                                                                                           \
        if (!debianPackageSkipped.isEmpty())                                                       \
            QSKIP(qPrintable(debianPackageSkipped));                                               \
        QVERIFY2(!debianPackage.isEmpty(), qPrintable(debianPackageError));                        \
    } while (false)

bool PackagingTest::install(const QString &installPrefix) {
    const CommandResult result = runCommand(
        PIVOTTA_CMAKE_COMMAND, {"--install", PIVOTTA_BUILD_DIR, "--prefix", installPrefix});
    if (!result.finished || result.exitCode != 0)
        qWarning().noquote() << result.output;
    return result.finished && result.exitCode == 0;
}

// A clean home for the per-user command: no XDG folders of the real user, the stand-in program
// logging its arguments.
QProcessEnvironment PackagingTest::homeEnvironment(const QString &home) const {
    QProcessEnvironment environment;
    environment.insert("PATH", QProcessEnvironment::systemEnvironment().value("PATH"));
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_DIRS", sandbox.filePath("no-system-config"));
    environment.insert("PIVOTTA_STUB_LOG", stubLog);
    return environment;
}

void PackagingTest::initTestCase() {
    QVERIFY(sandbox.isValid());
    prefix = sandbox.filePath("usr");
    program = installed("bin/pivotta");
    stubLog = sandbox.filePath("stub-arguments.txt");
    QVERIFY(install(prefix));
    buildDebianPackage();
}

// cpack runs on this build's own tree with the prefix /usr, into a temporary folder: no second
// compile, nothing written beside the sources.
void PackagingTest::buildDebianPackage() {
    const QStringList needed = {"dpkg-deb", "dpkg-shlibdeps", "file"};
    for (const QString &tool : needed) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            debianPackageSkipped = tool + " is not installed (packages dpkg, dpkg-dev and file): "
                                          "the Debian package cannot be built and checked";
            return;
        }
    }
    if (!QFileInfo(PIVOTTA_CPACK_COMMAND).isExecutable()) {
        debianPackageSkipped = "cpack is not installed: the Debian package cannot be built";
        return;
    }
    const QString output = sandbox.filePath("deb");
    const CommandResult result =
        runCommand(PIVOTTA_CPACK_COMMAND,
                   {"-G", "DEB", "--config", PIVOTTA_BUILD_DIR "/CPackConfig.cmake", "-B", output,
                    "-D", "CPACK_INSTALL_PREFIX=/usr", "-D", "CPACK_PACKAGING_INSTALL_PREFIX=/usr"},
                   QProcessEnvironment::systemEnvironment(), sandbox.path());
    const QStringList packages = QDir(output).entryList({"*.deb"}, QDir::Files);
    if (!result.finished || result.exitCode != 0 || packages.size() != 1) {
        debianPackageError = "cpack failed:\n" + result.output;
        return;
    }
    debianPackage = output + "/" + packages.first();
    const CommandResult control = runCommand("dpkg-deb", {"-f", debianPackage});
    if (!control.finished || control.exitCode != 0) {
        debianPackageError = "dpkg-deb cannot read the package:\n" + control.output;
        debianPackage.clear();
        return;
    }
    debianControl = controlFields(control.output);
}

void PackagingTest::installsFiles_data() {
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("executable");

    const QList<QPair<QString, bool>> files = {
        {"bin/pivotta", true},
        {"bin/" + entriesCommand, true},
        {"share/applications/org.example.pivotta.desktop", false},
        {"share/icons/hicolor/scalable/apps/org.example.pivotta.svg", false},
        {"share/icons/hicolor/256x256/apps/org.example.pivotta.png", false},
        {"share/metainfo/org.example.pivotta.metainfo.xml", false},
        // Dolphin ignores service menus that are not executable.
        {"share/kio/servicemenus/pivotta-folder.desktop", true},
        {"share/kio/servicemenus/pivotta-photo.desktop", true},
        {"share/nemo/actions/pivotta-rotate-folder.nemo_action", false},
        {"share/nemo/actions/pivotta-rotate-and-watch-folder.nemo_action", false},
        {"share/nemo/actions/pivotta-preview-folder.nemo_action", false},
        {"share/nemo/actions/pivotta-rotate-photo.nemo_action", false},
        {"share/nemo/actions/pivotta-preview-photo.nemo_action", false},
        {"lib/systemd/user/pivotta-watch@.service", false},
    };
    for (const auto &[path, executable] : files)
        QTest::newRow(qPrintable(path)) << path << executable;
}

void PackagingTest::installsFiles() {
    QFETCH(QString, relativePath);
    QFETCH(bool, executable);
    const QFileInfo info(installed(relativePath));
    QVERIFY2(info.isFile(), qPrintable(relativePath));
    QVERIFY(info.size() > 0);
    if (executable)
        QVERIFY(info.isExecutable());
}

// The package holds exactly what `cmake --install` installs, with the same executable bits, plus
// the files that only a Debian package has.
void PackagingTest::debianPackageHoldsInstalledFiles() {
    REQUIRE_DEBIAN_PACKAGE();
    QMap<QString, bool> expected; // path below the prefix -> executable
    QDirIterator files(prefix, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        expected.insert(QDir(prefix).relativeFilePath(path), QFileInfo(path).isExecutable());
    }
    QVERIFY(expected.contains("bin/pivotta"));
    const QStringList debianOnly = {"share/doc/pivotta/changelog.Debian.gz",
                                    "share/lintian/overrides/pivotta"};
    for (const QString &path : debianOnly) {
        QVERIFY2(!expected.contains(path), qPrintable(path + " installed outside the package"));
        expected.insert(path, false);
    }

    const CommandResult listing = runCommand("dpkg-deb", {"-c", debianPackage});
    QVERIFY2(listing.finished && listing.exitCode == 0, qPrintable(listing.output));
    QMap<QString, bool> packaged;
    for (const QString &line : listing.output.split('\n', Qt::SkipEmptyParts)) {
        // -rwxr-xr-x root/root 412720 2026-12-10 13:18 ./usr/bin/pivotta
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        QVERIFY2(fields.size() == 6, qPrintable(line));
        QCOMPARE(fields[1], QString("root/root"));
        if (fields[0].startsWith('d'))
            continue;
        QVERIFY2(fields[5].startsWith("./usr/"), qPrintable(line));
        packaged.insert(fields[5].mid(int(strlen("./usr/"))), fields[0] == "-rwxr-xr-x");
        if (fields[0] != "-rwxr-xr-x")
            QVERIFY2(fields[0] == "-rw-r--r--", qPrintable(line));
    }
    QCOMPARE(packaged.keys(), expected.keys());
    QCOMPARE(packaged, expected);
}

// The entries are filled in with the program's path on the user's machine, not with cpack's
// staging folder.
void PackagingTest::debianPackageEntriesStartProgramInUsr() {
    REQUIRE_DEBIAN_PACKAGE();
    const QString root = sandbox.filePath("deb-contents");
    const CommandResult extract = runCommand("dpkg-deb", {"-x", debianPackage, root});
    QVERIFY2(extract.finished && extract.exitCode == 0, qPrintable(extract.output));
    const QStringList entries = {
        "applications/org.example.pivotta.desktop", "kio/servicemenus/pivotta-folder.desktop",
        "kio/servicemenus/pivotta-photo.desktop", "nemo/actions/pivotta-rotate-folder.nemo_action",
        "nemo/actions/pivotta-preview-photo.nemo_action"};
    QCOMPARE(
        keyFileValue(root + "/usr/lib/systemd/user/pivotta-watch@.service", "Service", "ExecStart"),
        "/usr/bin/pivotta --headless --watch %f");
    for (const QString &entry : entries) {
        const QString text = QString::fromUtf8(fileBytes(root + "/usr/share/" + entry));
        const QStringList execLines = text.split('\n').filter(QRegularExpression("^(Try)?Exec="));
        QVERIFY2(!execLines.isEmpty(), qPrintable(entry));
        for (const QString &line : execLines) {
            const QString started = line.section('=', 1).section(' ', 0, 0);
            QVERIFY2(started == "/usr/bin/pivotta", qPrintable(entry + ": " + line));
        }
    }
}

void PackagingTest::debianPackageControl_data() {
    QTest::addColumn<QString>("field");
    // A regular expression for the whole value; a null string for a field that must be absent.
    QTest::addColumn<QString>("expected");

    QTest::newRow("name") << "Package"
                          << "pivotta";
    QTest::newRow("version") << "Version" << QRegularExpression::escape(PIVOTTA_VERSION) + "-\\d+";
    QTest::newRow("section") << "Section"
                             << "graphics";
    QTest::newRow("maintainer") << "Maintainer"
                                << ".+ <[^@ ]+@[^@ ]+>";
    // A summary line, then the long description, indented, with "." between paragraphs.
    QTest::newRow("description") << "Description"
                                 << "[^\\n]{10,79}(\\n [^\\n]+)+\\n \\.(\\n [^\\n]+)+";
    // The project's homepage setting; no empty field when there is none.
    const QString homepage = PIVOTTA_HOMEPAGE;
    QTest::newRow("homepage") << "Homepage"
                              << (homepage.isEmpty() ? QString()
                                                     : QRegularExpression::escape(homepage));
}

void PackagingTest::debianPackageControl() {
    REQUIRE_DEBIAN_PACKAGE();
    QFETCH(QString, field);
    QFETCH(QString, expected);
    if (expected.isNull()) {
        QVERIFY2(!debianControl.contains(field), qPrintable(field + ": " + debianControl[field]));
        return;
    }
    const QString value = debianControl.value(field);
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(value).hasMatch(),
        qPrintable(field + ": " + value));
}

// The libraries the program links, as dpkg-shlibdeps finds them, and the tools and plugins it
// runs.
void PackagingTest::debianPackageDepends() {
    REQUIRE_DEBIAN_PACKAGE();
    const QStringList depends = dependedPackages(debianControl.value("Depends"));
    const QStringList required = {"libjpeg-turbo-progs", "exiv2",      "libqt6svg6",
                                  "libqt6core6",         "libqt6gui6", "libqt6widgets6",
                                  "libstdc++6",          "libc6"};
    for (const QString &package : required)
        QVERIFY2(depends.contains(package),
                 qPrintable(package + " missing in " + depends.join(", ")));
}

void PackagingTest::iconsAreReadable() {
    const QImage png(installed("share/icons/hicolor/256x256/apps/org.example.pivotta.png"));
    QCOMPARE(png.size(), QSize(256, 256));
    QSvgRenderer svg(installed("share/icons/hicolor/scalable/apps/org.example.pivotta.svg"));
    QVERIFY(svg.isValid());
}

void PackagingTest::validatorsAccept() {
    const QString desktopValidator = QStandardPaths::findExecutable("desktop-file-validate");
    const QString appstreamValidator = QStandardPaths::findExecutable("appstreamcli");
    if (desktopValidator.isEmpty() || appstreamValidator.isEmpty())
        QSKIP("desktop-file-validate or appstreamcli is not installed");

    const CommandResult desktop =
        runCommand(desktopValidator, {installed("share/applications/org.example.pivotta.desktop")});
    QVERIFY2(desktop.finished && desktop.exitCode == 0 && desktop.output.isEmpty(),
             qPrintable(desktop.output));
    const CommandResult appstream = runCommand(
        appstreamValidator, {"validate", "--no-net", "--pedantic",
                             installed("share/metainfo/org.example.pivotta.metainfo.xml")});
    QVERIFY2(appstream.finished && appstream.exitCode == 0, qPrintable(appstream.output));
}

void PackagingTest::entriesStartInstalledProgram_data() {
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("targetKey");
    QTest::addColumn<QString>("targets");

    const QString app = "share/applications/org.example.pivotta.desktop";
    // Opening a photo or folder with Pivotta (or by default) only shows it: changing photos
    // takes an explicit action.
    QTest::newRow("app") << app << "Desktop Entry"
                         << "--preview %f"
                         << "MimeType"
                         << "image/jpeg;inode/directory;";
    QTest::newRow("app rotate") << app << "Desktop Action rotate"
                                << "%f"
                                << ""
                                << "";
    QTest::newRow("app watch") << app << "Desktop Action rotate-and-watch"
                               << "--watch %f"
                               << ""
                               << "";
    QTest::newRow("app preview") << app << "Desktop Action preview"
                                 << "--preview %f"
                                 << ""
                                 << "";

    const QString dolphinFolder = "share/kio/servicemenus/pivotta-folder.desktop";
    const QString dolphinPhoto = "share/kio/servicemenus/pivotta-photo.desktop";
    QTest::newRow("dolphin folder") << dolphinFolder << "Desktop Entry"
                                    << ""
                                    << "MimeType"
                                    << "inode/directory;";
    QTest::newRow("dolphin folder rotate") << dolphinFolder << "Desktop Action pivottaRotateFolder"
                                           << "%f"
                                           << ""
                                           << "";
    QTest::newRow("dolphin folder watch")
        << dolphinFolder << "Desktop Action pivottaRotateAndWatchFolder"
        << "--watch %f"
        << ""
        << "";
    QTest::newRow("dolphin folder preview")
        << dolphinFolder << "Desktop Action pivottaPreviewFolder"
        << "--preview %f"
        << ""
        << "";
    QTest::newRow("dolphin photo") << dolphinPhoto << "Desktop Entry"
                                   << ""
                                   << "MimeType"
                                   << "image/jpeg;";
    QTest::newRow("dolphin photo rotate") << dolphinPhoto << "Desktop Action pivottaRotatePhoto"
                                          << "%f"
                                          << ""
                                          << "";
    QTest::newRow("dolphin photo preview") << dolphinPhoto << "Desktop Action pivottaPreviewPhoto"
                                           << "--preview %f"
                                           << ""
                                           << "";

    const QString nemo = "share/nemo/actions/pivotta-%1.nemo_action";
    QTest::newRow("nemo folder rotate") << nemo.arg("rotate-folder") << "Nemo Action"
                                        << "%F"
                                        << "Extensions"
                                        << "dir;";
    QTest::newRow("nemo folder watch") << nemo.arg("rotate-and-watch-folder") << "Nemo Action"
                                       << "--watch %F"
                                       << "Extensions"
                                       << "dir;";
    QTest::newRow("nemo folder preview") << nemo.arg("preview-folder") << "Nemo Action"
                                         << "--preview %F"
                                         << "Extensions"
                                         << "dir;";
    QTest::newRow("nemo photo rotate") << nemo.arg("rotate-photo") << "Nemo Action"
                                       << "%F"
                                       << "Mimetypes"
                                       << "image/jpeg;";
    QTest::newRow("nemo photo preview") << nemo.arg("preview-photo") << "Nemo Action"
                                        << "--preview %F"
                                        << "Mimetypes"
                                        << "image/jpeg;";
}

// Every entry names the program where it was installed, and passes the one item it was
// started on (with --watch or --preview for those entries).
void PackagingTest::entriesStartInstalledProgram() {
    QFETCH(QString, relativePath);
    QFETCH(QString, group);
    QFETCH(QString, arguments);
    QFETCH(QString, targetKey);
    QFETCH(QString, targets);
    const QString path = installed(relativePath);
    if (!arguments.isEmpty())
        QCOMPARE(keyFileValue(path, group, "Exec"), program + " " + arguments);
    if (!targetKey.isEmpty())
        QCOMPARE(keyFileValue(path, group, targetKey), targets);
}

void PackagingTest::prefixWithBlanksIsQuoted() {
    const QString blankPrefix = sandbox.filePath("Program Files/usr");
    QVERIFY(install(blankPrefix));
    const QString entry = blankPrefix + "/share/applications/org.example.pivotta.desktop";
    QCOMPARE(keyFileValue(entry, "Desktop Action preview", "Exec"),
             "\"" + blankPrefix + "/bin/pivotta\" --preview %f");
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    const CommandResult result = runCommand(validator, {entry});
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.output));
}

// The systemd user unit watches the folder its instance names (escaped by systemd-escape --path,
// unescaped by %f) with the installed program, from login on; systemd accepts it. A program path
// with blanks is quoted.
void PackagingTest::watchUnitStartsInstalledProgram() {
    const QString unit = installed("lib/systemd/user/pivotta-watch@.service");
    QCOMPARE(keyFileValue(unit, "Service", "ExecStart"), program + " --headless --watch %f");
    QCOMPARE(keyFileValue(unit, "Install", "WantedBy"), QString("default.target"));
    const QString blankPrefix = sandbox.filePath("Program Files/usr");
    QVERIFY(install(blankPrefix));
    const QString quotedUnit = blankPrefix + "/lib/systemd/user/pivotta-watch@.service";
    QCOMPARE(keyFileValue(quotedUnit, "Service", "ExecStart"),
             "\"" + blankPrefix + "/bin/pivotta\" --headless --watch %f");

    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is not installed: the unit is not verified");
    // The unit's manual page is looked up where it was installed.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &checked : {unit, quotedUnit}) {
        environment.insert("MANPATH", QFileInfo(checked).absolutePath() + "/../../../share/man");
        const CommandResult verified = runCommand(analyze, {"verify", checked}, environment);
        QVERIFY2(verified.finished && verified.exitCode == 0,
                 qPrintable(checked + ":\n" + verified.output));
    }
}

// Installing twice gives the same result, the user's own Thunar action survives both the
// install and the removal, and Pivotta's entries appear exactly once.
void PackagingTest::perUserEntriesKeepUserActions() {
    const QString home = sandbox.filePath("home-keep");
    const QString uca = home + "/.config/Thunar/uca.xml";
    const QString scripts = home + "/.local/share/nautilus/scripts";
    QVERIFY(writeFile(uca, userThunarActions));
    QVERIFY(writeFile(scripts + "/Rotate with Pivotta", "#!/bin/sh\necho the user's own\n"));
    const QProcessEnvironment environment = homeEnvironment(home);
    const QString command = installed("bin/" + entriesCommand);

    const CommandResult first = runCommand(command, {}, environment);
    QVERIFY2(first.finished && first.exitCode == 0, qPrintable(first.output));
    const QByteArray afterFirst = fileBytes(uca);
    QCOMPARE(countOf(afterFirst, "<unique-id>1612345678901234-1</unique-id>"), 1);
    QCOMPARE(countOf(afterFirst, "<unique-id>pivotta-"), 5);
    QCOMPARE(countOf(afterFirst, "</actions>"), 1);
    QVERIFY(afterFirst.contains("<command>'" + program.toUtf8() + "' --watch %f</command>"));
    QVERIFY(QFileInfo(scripts + "/Rotate and watch with Pivotta").isExecutable());
    QVERIFY(QFileInfo(scripts + "/Preview with Pivotta").isExecutable());
    QCOMPARE(fileBytes(scripts + "/Rotate with Pivotta"),
             QByteArray("#!/bin/sh\necho the user's own\n"));

    const CommandResult second = runCommand(command, {}, environment);
    QVERIFY2(second.finished && second.exitCode == 0, qPrintable(second.output));
    QCOMPARE(fileBytes(uca), afterFirst);

    const CommandResult removal = runCommand(command, {"--uninstall"}, environment);
    QVERIFY2(removal.finished && removal.exitCode == 0, qPrintable(removal.output));
    QCOMPARE(fileBytes(uca), userThunarActions);
    QVERIFY(!QFileInfo::exists(scripts + "/Preview with Pivotta"));
    QVERIFY(QFileInfo::exists(scripts + "/Rotate with Pivotta"));
}

// The Nautilus scripts and the Thunar command line hand exactly one item, as an absolute path,
// to the installed program, whatever characters its name holds.
void PackagingTest::perUserEntriesStartOneProgramPerItem() {
    const QString stubPrefix = sandbox.filePath("stub");
    QVERIFY(install(stubPrefix));
    const QString stubProgram = stubPrefix + "/bin/pivotta";
    QVERIFY(QFile::remove(stubProgram));
    QVERIFY(writeFile(stubProgram, "#!/bin/sh\nfor argument; do printf '[%s]\\n' "
                                   "\"$argument\"; done >>\"$PIVOTTA_STUB_LOG\"\n"));
    QVERIFY(
        QFile::setPermissions(stubProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const QString home = sandbox.filePath("home-start");
    const QProcessEnvironment environment = homeEnvironment(home);
    const CommandResult result = runCommand(stubPrefix + "/bin/" + entriesCommand, {}, environment);
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.output));

    const QString shown = sandbox.filePath("photos");
    const QString item = "it's a \"$HOME\" & -p folder";
    QVERIFY(QDir().mkpath(shown + "/" + item));
    QFile::remove(stubLog);
    const CommandResult script =
        runCommand(home + "/.local/share/nautilus/scripts/Rotate and watch with Pivotta", {item},
                   environment, shown);
    QVERIFY2(script.finished && script.exitCode == 0, qPrintable(script.output));
    const QByteArray expected = "[--watch]\n[" + (shown + "/" + item).toUtf8() + "]\n";
    QTRY_COMPARE(fileBytes(stubLog), expected);

    // Thunar puts the shell-quoted path in place of %f and splits the line like a shell.
    const QString uca = QString::fromUtf8(fileBytes(home + "/.config/Thunar/uca.xml"));
    const qsizetype action = uca.indexOf("<unique-id>pivotta-preview-photo</unique-id>");
    QVERIFY(action >= 0);
    const qsizetype commandStart = uca.indexOf("<command>", action) + int(strlen("<command>"));
    QString command = uca.mid(commandStart, uca.indexOf("</command>", action) - commandStart);
    QVERIFY2(command.endsWith(" %f"), qPrintable(command));
    QFile::remove(stubLog);
    const QString photo = shown + "/" + item + "/a'b.jpg";
    const QString quotedPhoto = "'" + QString(photo).replace("'", "'\\''") + "'";
    command.replace("%f", quotedPhoto);
    const CommandResult thunar = runCommand("sh", {"-c", command}, environment);
    QVERIFY2(thunar.finished && thunar.exitCode == 0, qPrintable(command + thunar.output));
    QCOMPARE(fileBytes(stubLog), "[--preview]\n[" + photo.toUtf8() + "]\n");
}

// Thunar reads the system's actions only while the user has no file of their own; the new
// user file must keep them.
void PackagingTest::perUserEntriesStartFromSystemThunarActions() {
    const QString home = sandbox.filePath("home-system");
    const QString systemConfig = sandbox.filePath("system-config");
    QVERIFY(writeFile(systemConfig + "/Thunar/uca.xml", userThunarActions));
    QProcessEnvironment environment = homeEnvironment(home);
    environment.insert("XDG_CONFIG_DIRS", sandbox.filePath("missing") + ":" + systemConfig);
    environment.insert("XDG_CONFIG_HOME", home + "/config");

    const CommandResult result = runCommand(installed("bin/" + entriesCommand), {}, environment);
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.output));
    const QByteArray uca = fileBytes(home + "/config/Thunar/uca.xml");
    QCOMPARE(countOf(uca, "<name>Open Terminal Here</name>"), 1);
    QCOMPARE(countOf(uca, "<unique-id>pivotta-"), 5);
    QCOMPARE(fileBytes(systemConfig + "/Thunar/uca.xml"), userThunarActions);
}

void PackagingTest::perUserEntriesRefuseBrokenThunarFile() {
    const QString home = sandbox.filePath("home-broken");
    const QString uca = home + "/.config/Thunar/uca.xml";
    const QByteArray broken = "<actions><action><name>half written";
    QVERIFY(writeFile(uca, broken));
    const CommandResult result =
        runCommand(installed("bin/" + entriesCommand), {}, homeEnvironment(home));
    QVERIFY(result.finished);
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.output.contains("left unchanged"), qPrintable(result.output));
    QCOMPARE(fileBytes(uca), broken);
    QCOMPARE(QDir(home + "/.config/Thunar").entryList(QDir::Files), QStringList{"uca.xml"});
}

QTEST_GUILESS_MAIN(PackagingTest)
#include "tst_packaging.moc"
