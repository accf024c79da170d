// The two output panes: the main pane in the middle of the window and the detailed pane in its
// dock. Appends with a duplicate check per pane, one text limit shared by both, the view kept at
// the bottom while the user has not scrolled up, font size, the links in the main pane, and how
// to start, in the empty main pane while no folder is open.
#pragma once

#include <QObject>
#include <QString>

class QTextBrowser;
class QTextEdit;
class QUrl;
struct OutputMessage;

class OutputPanes : public QObject {
    Q_OBJECT

public:
    OutputPanes(QTextBrowser *mainPane, QTextEdit *detailedPane, QObject *parent);

public slots:
    // A message from the engine, the watcher or another part, into the pane it names.
    void write(const OutputMessage &message);
    // The window's own rich text, as a new line of the main pane.
    void append(const QString &message, bool checkDuplicate = false);
    void zoomIn();
    void zoomOut();
    // Whether the empty main pane says how to start: it does while no folder is open.
    void showStartHint(bool noFolderOpen);

signals:
    // A link to a photo was clicked; web links open in the browser.
    void photoLinkClicked(const QString &path);

private:
    void appendToMain(const QString &message, bool checkDuplicate, bool plainTextNoNewline);
    void appendToDetailed(const QString &message, bool checkDuplicate);
    void insertLine(const QString &html, QTextEdit *pane);
    void appendParagraph(const QString &text, QTextEdit *pane);
    void appendToLastLine(const QString &text, QTextEdit *pane);
    void applyTextLimit(QTextEdit *pane);
    void openLink(const QUrl &link);

    QTextBrowser *mainPane = nullptr;
    QTextEdit *detailedPane = nullptr;
    QString lastMainMessage;
    QString lastDetailedMessage;
    int countedMessages = 0; // both panes together, against the text limit
};
