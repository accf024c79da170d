// The main window's help, welcome and start-up texts.
#include "mainwindow/windowtexts.h"

#include <QCoreApplication>
#include <QTime>

#include "common/projectaddress.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

// The help's closing link to the page on lossless rotation, or word that there is none.
QString documentationParagraph(const QString &homepage) {
    const QString caption = "<span>About lossless rotation &amp; caveats...</span>";
    if (homepage.isEmpty())
        return "<p>" + caption + " (" + noProjectAddressText().toHtmlEscaped() + ")</p>";
    return "<p><a href=\"" + projectPage(homepage, "lossless-rotation").toHtmlEscaped() + "\">" +
           caption + "</a></p>";
}
} // namespace

QString helpText(const QString &homepage) {
    return tr("<hr /><h3>Help</h3><p><span>Pivotta aims to provide the best possible experience "
              "for "
              "getting your photos straightened up. </span></p><ul><li>&nbsp;Choose a folder by "
              "clicking <span>Browse...</span></li><li>&nbsp;Then try clicking <span>Autorotate "
              "all</span> to rotate all photos in that folder.</li><li>&nbsp;You can also "
              "<span>Select a single photo to preview or rotate</span>.</li></ul><p><span>To have "
              "all photos dropped in a folder rotated "
              "automatically:</span></p><ol><li><span>Select "
              "a folder in the </span><span>Folder: </span><span>menu, or by clicking "
              "</span><span>Browse...</span></li><li><span>Turn on the </span><span>Watch "
              "folder:</span><span> toggle</span></li></ol>") +
           documentationParagraph(homepage);
}

// Started after being installed, the program shows the welcome by itself before its window is
// shown; from the Help menu the last sentence would not be true.
QString welcomeText(bool atInstall) {
#ifdef Q_OS_WIN
    const QString fileManager = tr("Windows File Explorer");
    const QString menu = tr("the Start menu");
#else
    const QString fileManager = tr("the file manager");
    const QString menu = tr("the applications menu");
#endif
    QString text =
        tr("<h3>Welcome! :)</h3><p>This app helps you get your photos rotated the right way up. "
           "<b>Pivotta 3<br>has the features of previous versions, and more.</b> You can start "
           "this app from<br>%2 - or just right click folders and photos in %1.</p> ")
            .arg(fileManager, menu) +
        tr("<p><b>Please backup your photos before use. For further instructions, click "
           "the<br>Help button in the status bar.</b></p>");
    if (atInstall)
        text += tr("<p>(This message is only shown right after Pivotta is installed.)</p>");
    return text;
}

QString shellParameterText(const QString &request) {
#ifdef Q_OS_WIN
    return tr("Explorer/shell parameter: %1").arg(request);
#else
    return tr("File manager/shell parameter: %1").arg(request);
#endif
}

QString windowReadyText() {
    return QTime::currentTime().toString(Qt::TextDate) + " " +
           tr("Waiting for window to initialize... done.");
}
