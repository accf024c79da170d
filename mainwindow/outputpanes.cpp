// The two output panes: appends with duplicate check, the shared text limit, link clicks.
#include "mainwindow/outputpanes.h"

#include <QDesktopServices>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include "common/debuglog.h"
#include "mainwindow/outputtext.h"
#include "presentation/outputmessage.h"
#include "settings/settings.h"

namespace {
bool isScrolledToBottom(QTextEdit *pane) {
    const QScrollBar *bar = pane->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void followBottomIf(bool wasAtBottom, QTextEdit *pane) {
    if (wasAtBottom)
        pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}

void removeFirstParagraph(QTextDocument *document) {
    const QTextBlock first = document->findBlockByLineNumber(0);
    if (!first.isValid())
        return;
    QTextCursor cursor(first);
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.select(QTextCursor::BlockUnderCursor);
    if (cursor.selectedText().isEmpty())
        qCDebug(lcPivotta) << "no";
    cursor.removeSelectedText();
    cursor.deleteChar();
}
} // namespace

OutputPanes::OutputPanes(QTextBrowser *main, QTextEdit *detailed, QObject *parent)
    : QObject(parent)
    , mainPane(main)
    , detailedPane(detailed) {
    mainPane->setBackgroundRole(QPalette::Button);
    detailedPane->setBackgroundRole(QPalette::Button);
    // Tab leaves the pane in one step rather than visiting each of its links.
    mainPane->setTextInteractionFlags(mainPane->textInteractionFlags() &
                                      ~Qt::LinksAccessibleByKeyboard);
    connect(mainPane, &QTextBrowser::anchorClicked, this, &OutputPanes::openLink);
    showStartHint(true);
}

void OutputPanes::showStartHint(bool noFolderOpen) {
    mainPane->setPlaceholderText(
        noFolderOpen ? tr("To start, choose a folder (Ctrl+O) or drop one here.") : QString());
}

void OutputPanes::write(const OutputMessage &message) {
    switch (message.pane) {
    case OutputMessage::Main:
        appendToMain(message.text, message.checkDuplicate, message.plainTextNoNewline);
        break;
    case OutputMessage::Detailed:
        appendToDetailed(message.text, message.checkDuplicate);
        break;
    case OutputMessage::DetailedRaw:
        detailedPane->append(message.text);
        break;
    }
}

void OutputPanes::append(const QString &message, bool checkDuplicate) {
    appendToMain(message, checkDuplicate, false);
}

void OutputPanes::zoomIn() {
    mainPane->zoomIn(1);
    detailedPane->zoomIn(1);
}

void OutputPanes::zoomOut() {
    mainPane->zoomOut(1);
    detailedPane->zoomOut(1);
}

// Every message that passes the check becomes the pane's reference, checked or not.
void OutputPanes::appendToMain(const QString &message, bool checkDuplicate,
                               bool plainTextNoNewline) {
    if (checkDuplicate && message == lastMainMessage)
        return;
    if (plainTextNoNewline)
        appendToLastLine(message, mainPane);
    else
        insertLine(message, mainPane);
    lastMainMessage = message;
}

void OutputPanes::appendToDetailed(const QString &message, bool checkDuplicate) {
    if (checkDuplicate && message == lastDetailedMessage)
        return;
    appendParagraph(message, detailedPane);
    lastDetailedMessage = message;
}

void OutputPanes::insertLine(const QString &html, QTextEdit *pane) {
    const bool wasAtBottom = isScrolledToBottom(pane);
    if (QTextDocument *document = pane->document()) {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        cursor.insertBlock();
        cursor.insertHtml(html);
        cursor.endEditBlock();
        applyTextLimit(pane);
    } else {
        qCDebug(lcPivotta) << "failed writing to main output";
    }
    followBottomIf(wasAtBottom, pane);
}

void OutputPanes::appendParagraph(const QString &text, QTextEdit *pane) {
    const bool wasAtBottom = isScrolledToBottom(pane);
    pane->append(text);
    applyTextLimit(pane);
    followBottomIf(wasAtBottom, pane);
}

// Progress marks join the last line and are not counted against the limit.
void OutputPanes::appendToLastLine(const QString &text, QTextEdit *pane) {
    const bool wasAtBottom = isScrolledToBottom(pane);
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    followBottomIf(wasAtBottom, pane);
}

void OutputPanes::applyTextLimit(QTextEdit *pane) {
    ++countedMessages;
    if (exceedsTextLimit(countedMessages, Settings::textLimit())) {
        removeFirstParagraph(pane->document());
        --countedMessages;
    }
}

void OutputPanes::openLink(const QUrl &link) {
    if (link.scheme().startsWith("http"))
        QDesktopServices::openUrl(link);
    else
        emit photoLinkClicked(link.toLocalFile());
}
