// Escaping, photo links, the short path form, the rotation report lines and tool output.
#include "presentation/messagetext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTime>
#include <QUrl>

#include "common/debuglog.h"
#include "presentation/panecolors.h"

namespace {
QString tr(const char *text) {
    return QCoreApplication::translate("Pivotta", text);
}

QString mirroringWords(Turn turn) {
    switch (turn) {
    case Turn::FlipHorizontal:
        return tr("Mirroring horizontally");
    case Turn::FlipVertical:
        return tr("Mirroring vertically");
    case Turn::Transpose:
        return tr("Mirroring across the diagonal (transpose)");
    case Turn::Transverse:
        return tr("Mirroring across the other diagonal (transverse)");
    default:
        return QString();
    }
}

QString mirroringArrow(Turn turn) {
    return turn == Turn::FlipVertical ? QString::fromUtf8("⇅") : QString::fromUtf8("⇆");
}

// A turn as the panes name it: 90° or 180° clockwise, and 270° as 90° counter-clockwise.
struct ShownTurn {
    int angle;
    bool clockwise;
};

ShownTurn shownTurn(Turn turn) {
    const int angle = clockwiseAngle(turn);
    const bool clockwise = angle == 90 || angle == 180;
    return {clockwise ? angle : 90, clockwise};
}
} // namespace

QString escapeHtml(const QString &text) {
    // Single quotes too: messages put links in single-quoted attributes.
    return text.toHtmlEscaped().replace('\'', QLatin1String("&#39;"));
}

namespace {
// Characters that make a terminal start a new line or show the text around them in another
// order: the line and paragraph separators and the directional formatting characters.
bool reordersOrBreaksLines(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

QString escapeOf(char16_t c) {
    switch (c) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    if (c < 0x80)
        return QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
}
} // namespace

QString escapeControlCharacters(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
#ifndef Q_OS_WIN
        if (c == '\\') {
            shown += QStringLiteral("\\\\");
            continue;
        }
#endif
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || reordersOrBreaksLines(c))
            shown += escapeOf(c);
        else
            shown += character;
    }
    return shown;
}

QString pathRelativeToFolder(const QString &path, const QString &folder) {
    const qsizetype n = path.size() - folder.size();
    qCDebug(lcPivotta) << "relative path of" << path << "in" << folder;
    qCDebug(lcPivotta) << "characters kept:" << n;
    QString result = (n < 0 || n >= path.size()) ? path : path.right(n);
    if (result.startsWith('\\') || result.startsWith('/'))
        result.remove(0, 1);
    return result;
}

QString fileLinkTarget(const QString &filePath) {
    QFileInfo info(filePath);
    info.makeAbsolute();
    // The panes' HTML reader takes an attribute's text as it stands, character references
    // included, so the target holds nothing that would need one: "&" and "'" stay literal in an
    // encoded URL and are encoded here too.
    QString target = QUrl::fromLocalFile(info.filePath()).toString(QUrl::FullyEncoded);
    return target.replace('&', QLatin1String("%26")).replace('\'', QLatin1String("%27"));
}

QString fileLink(const QString &filePath, bool showNativePath, bool showRelativePath,
                 const QString &folder, const QString &color) {
    const QString target = fileLinkTarget(filePath);
    QString text;
    if (showNativePath)
        text = QDir::toNativeSeparators(filePath);
    else if (!showRelativePath)
        text = QFileInfo(filePath).fileName();
    else
        text = QDir::toNativeSeparators(pathRelativeToFolder(filePath, folder));
    return QString("<a style='color:%1' href='%2'>%3</a>")
        .arg(color, escapeHtml(target), escapeHtml(text));
}

QString rotationReportLine(const QString &filePath, Turn turn, bool dryRun, const QString &folder,
                           const PaneColors &colors) {
    const QString link = fileLink(filePath, false, true, folder, colors.link);
    const QString dryRunMark = dryRun ? tr(" (dry run)") : QString();
    if (isMirroring(turn)) {
        return QString::fromUtf8("<br><span style='color:%1'>%2 <span "
                                 "style='font-size:4em;'>%3</span><br>%4 %5</span>")
            .arg(colors.turn, mirroringWords(turn), mirroringArrow(turn), link, dryRunMark);
    }
    const ShownTurn shown = shownTurn(turn);
    const QString arrow = shown.clockwise ? QString::fromUtf8("⤾ CW") : QString::fromUtf8("⤿ CCW");
    return QString::fromUtf8("<br><span style='color:%1'>Rotating %2° <span "
                             "style='font-size:4em;'>%5</span><br>%3 %4</span>")
        .arg(colors.turn, QString::number(shown.angle), link, dryRunMark, arrow);
}

QString rotationDetailLine(const QString &filePath, Turn turn, const QString &folder,
                           const QTime &at) {
    const QString shortPath =
        escapeHtml(QDir::toNativeSeparators(pathRelativeToFolder(filePath, folder)));
    const QString time = at.toString();
    if (isMirroring(turn))
        return QString("<br>%1 %2 %3").arg(time, mirroringWords(turn), shortPath);
    const ShownTurn shown = shownTurn(turn);
    return QString::fromUtf8("<br>%1 Rotating %2° %3 %4")
        .arg(time, QString::number(shown.angle), shown.clockwise ? "CW" : "CCW", shortPath);
}

QString turnDescription(Turn turn) {
    switch (turn) {
    case Turn::Rotate90:
        return tr("90° clockwise");
    case Turn::Rotate180:
        return tr("180°");
    case Turn::Rotate270:
        return tr("90° counter-clockwise");
    case Turn::None:
        return tr("not turned");
    default:
        return mirroringWords(turn).toLower();
    }
}

namespace {
QString asHtmlLines(QString text) {
    text.replace("\r\n", "\n").replace('\r', '\n');
    return escapeHtml(text).replace("\n", "<br>");
}
} // namespace

QString toolOutputHtml(const QString &standardOutput, const QString &standardError,
                       const QString &errorColor) {
    // The standard error starts a line of its own, even after output without a final line break.
    const QString breakBetween =
        !standardOutput.isEmpty() && !standardError.isEmpty() && !standardOutput.endsWith('\n')
            ? QStringLiteral("<br>")
            : QString();
    // The outer span makes the panes take the text as rich text even when it has no other tag.
    return "<span>" + asHtmlLines(standardOutput) + breakBetween +
           "<span style='color:" + errorColor + "'>" + asHtmlLines(standardError) +
           "</span></span>";
}

QString plainTextAsHtml(const QString &text) {
    return "<span>" + asHtmlLines(text) + "</span>";
}
