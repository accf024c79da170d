// The two output panes: appends with duplicate check, the shared text limit, link clicks.
#include "mainwindow/pivotta.h"
#include "ui_mainwindow.h"

#include <QDesktopServices>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "common/debuglog.h"
#include "mainwindow/outputtext.h"
#include "presentation/messagetext.h"
#include "presentation/outputmessage.h"
#include "settings/settings.h"

namespace {
bool isScrolledToBottom(QTextEdit *editWidget) {
    const QScrollBar *bar = editWidget->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void followBottomIf(bool wasAtBottom, QTextEdit *editWidget) {
    if (wasAtBottom)
        editWidget->verticalScrollBar()->setValue(editWidget->verticalScrollBar()->maximum());
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

void Pivotta::appendOutput(QString message, bool checkduplicate, bool plaintextNoNewline) {
    if (checkduplicate && message == lastOutputMessage)
        return;
    if (plaintextNoNewline)
        emit queueFastAppendPlainText(message, ui->cmdLineOutput);
    else
        emit queueFastLineAppend(message, ui->cmdLineOutput);
    lastOutputMessage = message;
}

void Pivotta::appendOutput(QString message, bool checkduplicate) {
    appendOutput(message, checkduplicate, false);
}

void Pivotta::appendOutput(QString message) {
    appendOutput(message, false, false);
}

void Pivotta::writeMessage(const OutputMessage &message) {
    switch (message.pane) {
    case OutputMessage::Main:
        appendOutput(message.text, message.checkDuplicate, message.plainTextNoNewline);
        break;
    case OutputMessage::Detailed:
        appendOutputDetailed(message.text, message.checkDuplicate);
        break;
    case OutputMessage::DetailedRaw:
        ui->cmdLineOutput_2->append(message.text);
        break;
    }
}

void Pivotta::appendOutputDetailed(QString message, bool checkduplicate) {
    if (checkduplicate && message == lastDetailedMessage)
        return;
    emit queueSlowLineAppend(message, ui->cmdLineOutput_2);
    lastDetailedMessage = message;
}

void Pivotta::fastLineAppend(QString message, QTextEdit *editWidget) {
    const bool wasAtBottom = isScrolledToBottom(editWidget);
    if (QTextDocument *document = editWidget->document()) {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        cursor.insertBlock();
        cursor.insertHtml(message);
        cursor.endEditBlock();
        applyTextLimit(editWidget);
    } else {
        qCDebug(lcPivotta) << "failed writing to main output";
    }
    followBottomIf(wasAtBottom, editWidget);
}

void Pivotta::slowLineAppend(QString message, QTextEdit *editWidget) {
    const bool wasAtBottom = isScrolledToBottom(editWidget);
    editWidget->append(message);
    applyTextLimit(editWidget);
    followBottomIf(wasAtBottom, editWidget);
}

void Pivotta::fastAppendPlainText(QString message, QTextEdit *editWidget) {
    const bool wasAtBottom = isScrolledToBottom(editWidget);
    QTextCursor cursor(editWidget->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(message);
    followBottomIf(wasAtBottom, editWidget);
}

void Pivotta::applyTextLimit(QTextEdit *editWidget) {
    ++outputLineCount;
    if (exceedsTextLimit(outputLineCount, Settings::textLimit())) {
        removeFirstParagraph(editWidget->document());
        --outputLineCount;
    }
}

void Pivotta::showFile(QUrl link) {
    if (link.scheme().startsWith("http"))
        QDesktopServices::openUrl(link);
    else
        previewFile(link.toLocalFile());
}

QString Pivotta::pathRelativeToFolder(QString path) {
    return ::pathRelativeToFolder(path, ui->directoryComboBox->currentText());
}
