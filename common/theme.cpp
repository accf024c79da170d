// The light and dark theme: the style sheets from one set of rules, the dark palette, and the dark
// partners of the forms' light colours.
#include "common/theme.h"

#include <QLabel>
#include <QRegularExpression>
#include <QWidget>

#include <utility>

namespace {
// The rules of both application style sheets, written once; ${name} stands for a colour that
// differs between the themes.
const char *const themeRules = R"(QFrame[frameShape="4"], QFrame[frameShape="5"] {
    color: ${frameLine};
}
#topDockWidgetContents > #watchFolderFrame {
    background-color: ${watchFrameBackground};
    padding-left: 10px;
    padding-right: 10px;
    border-radius: 0.5em;
    border: 1px solid ${watchFrameBorder};
}
#cmdLineOutput {
    color: ${mainOutputText};
}
#cmdLineOutput_2 {
    background-color: ${detailedOutputBackground};
}
QMainWindow::separator {
    width: 3px;
}
QDockWidget {
    color: ${dockText};
}
#closeAppAfterRotatingFinishesFrame {
    background-color: ${closeFrameBackground};
}
QDockWidget::title {
    background-color: ${dockTitleBackground};
}
QDockWidget#topdock {
    border: 0 none;
    border-bottom: 3px solid ${topDockBorder};
    background-color: ${topDockBackground};
}
QDockWidget > #dockWidgetContents_2 {
    background-color: ${dockContentsBackground};
}
QDockWidget QPushButton {
    border-radius: 10px;
    border: 0px solid ${buttonBorder};
    height: 30px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${buttonTop}, stop:1 ${buttonBottom});
    margin: 2px 0;
    padding: 0.3em;
    padding-left: 0.5em;
    padding-right: 0.5em;
}
QStatusBar QPushButton {
    border-radius: 10px;
    border: 0px solid ${buttonBorder};
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${buttonTop}, stop:1 ${buttonBottom});
    margin: 2px 0;
    padding-left: 0.5em;
    padding-right: 0.5em;
}
QPushButton:pressed, QPushButton:checked {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${pressedTop}, stop:1 ${pressedBottom});
}
#horizontalSlider::groove:horizontal, #closeAppAfterRotatingFinishes::groove:horizontal {
    border-radius: 24px;
    border: 0px solid ${grooveBorder};
    height: 50px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${grooveTop}, stop:1 ${grooveBottom});
    margin: 0px 0;
}
#horizontalSlider::groove:horizontal:focus, #closeAppAfterRotatingFinishes::groove:horizontal:focus {
    border: 2px solid palette(highlight);
}
#horizontalSlider::handle:horizontal, #closeAppAfterRotatingFinishes::handle:horizontal {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 ${handleFrom}, stop:1 ${handleTo});
    border: 1px solid ${handleBorder};
    width: 38px;
    margin: 5px 4px;
    border-radius: 20px;
}
QMenuBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${menuBarTop}, stop:1 ${menuBarBottom});
    padding: 0.3em;
    padding-top: 0.1em;
    padding-bottom: 0.1em;
}
#closeAppAfterRotatingFinishesFrameProgressBar:vertical {
    background-color: ${closeFrameBackground};
    border: 0 none;
}
#closeAppAfterRotatingFinishesFrameProgressBar::chunk:vertical {
    background: ${countdownChunk};
}
)";

// Rules of the dark sheet alone: both panes dark, with light text. The messages take colours that
// read on them from the presentation's dark colour set. The light sheet leaves the panes' palette
// colours alone, as any rule here would change how the panes draw their padding and rules.
const char *const darkOnlyRules = R"(#cmdLineOutput {
    background-color: #2b2b2b;
}
#cmdLineOutput_2 {
    color: #ddd;
}
)";

struct ThemeColor {
    const char *name;
    const char *light;
    const char *dark;
};

const ThemeColor themeColors[] = {
    {"frameLine", "#999", "#eee"},
    {"watchFrameBackground", "#fdfdfd", "#3a3a3a"},
    {"watchFrameBorder", "black", "#aaa"},
    // The main pane's text, and the detailed pane's paper; the messages' own colours read on both.
    {"mainOutputText", "#444", "#ddd"},
    {"detailedOutputBackground", "#e9e9e9", "#232323"},
    {"dockText", "#888", "#aaa"},
    {"closeFrameBackground", "#e9e9e9", "#444"},
    {"dockTitleBackground", "#f9f9f9", "#555"},
    {"topDockBorder", "#666", "#888"},
    {"topDockBackground", "green", "#006600"},
    {"dockContentsBackground", "#f1f1f1", "#444"},
    {"buttonBorder", "#ccc", "#555"},
    {"buttonTop", "#d3d3d3", "#555555"},
    {"buttonBottom", "#e9e9e9", "#666666"},
    // Checked buttons of a group must stand out from the others: blue in the dark theme.
    {"pressedTop", "#b3b3b3", "#1d5b94"},
    {"pressedBottom", "#d9d9d9", "#2a6fb0"},
    {"grooveBorder", "#999999", "#666"},
    {"grooveTop", "#d4d4d4", "#444444"},
    {"grooveBottom", "#dadada", "#555555"},
    {"handleFrom", "#eee", "#666666"},
    {"handleTo", "#fff", "#777777"},
    {"handleBorder", "#aaa", "#888"},
    {"menuBarTop", "#f9f9f9", "#333333"},
    {"menuBarBottom", "#f1f1f1", "#444444"},
    {"countdownChunk", "#ccc", "#888"},
};

// The light colours that the forms put in widgets' own style sheets and rich texts, and what the
// dark theme shows instead.
const std::pair<const char *, const char *> darkPartners[] = {
    // Button gradients and borders: those of the window's buttons.
    {"#ccc", "#555"},
    {"#d3d3d3", "#555555"},
    {"#e9e9e9", "#666666"},
    {"#b3b3b3", "#1d5b94"},
    {"#d9d9d9", "#2a6fb0"},
    // Page backgrounds: the dark window colour.
    {"white", "#353535"},
    // The paper behind the preview's photos and notes.
    {"#f9f9f9", "#2b2b2b"},
    // Dark text on the light panels.
    {"#333", "#ddd"},
    // Links.
    {"#0000ff", "#6ab0f3"},
};

const char *const lightStyleSheetProperty = "pivottaLightStyleSheet";
const char *const lightTextProperty = "pivottaLightText";

bool hasDarkPartner(const QString &lightText) {
    return darkVariant(lightText) != lightText;
}

// The light form of a widget's property, recorded at the first call.
QString lightForm(QWidget *widget, const char *propertyName, const QString &current) {
    const QVariant recorded = widget->property(propertyName);
    if (recorded.isValid())
        return recorded.toString();
    widget->setProperty(propertyName, current);
    return current;
}

void followThemeInOwnStyleSheet(QWidget *widget, Theme theme) {
    const QString light = lightForm(widget, lightStyleSheetProperty, widget->styleSheet());
    if (!hasDarkPartner(light))
        return;
    const QString wanted = theme == Theme::Light ? light : darkVariant(light);
    if (widget->styleSheet() != wanted)
        widget->setStyleSheet(wanted);
}

// Only rich text carries colours; a plain-text label shows whatever it is given (the preview's
// notes, a file name), which must never be replaced.
void followThemeInLabelText(QLabel *label, Theme theme) {
    if (label->textFormat() == Qt::PlainText)
        return;
    const QString light = lightForm(label, lightTextProperty, label->text());
    if (!hasDarkPartner(light))
        return;
    const QString wanted = theme == Theme::Light ? light : darkVariant(light);
    if (label->text() != wanted)
        label->setText(wanted);
}

// The dark palette's colour of a role in the active and inactive groups.
QColor darkColor(QPalette::ColorRole role) {
    const QColor blue(42, 130, 218);
    switch (role) {
    case QPalette::Window:
    case QPalette::Button:
    case QPalette::AlternateBase:
        return QColor(53, 53, 53);
    case QPalette::Base:
        return QColor(25, 25, 25);
    case QPalette::ToolTipBase:
        return QColor(32, 32, 32);
    case QPalette::BrightText:
        return QColor(Qt::red);
    case QPalette::Link:
    case QPalette::Highlight:
        return blue;
    case QPalette::LinkVisited:
        return QColor(160, 130, 230);
    case QPalette::HighlightedText:
    case QPalette::NoRole:
        return QColor(Qt::black);
    // The shades that styles draw bevels, frames and grooves with, around the button colour.
    case QPalette::Light:
        return QColor(90, 90, 90);
    case QPalette::Midlight:
        return QColor(70, 70, 70);
    case QPalette::Mid:
        return QColor(42, 42, 42);
    case QPalette::Dark:
        return QColor(35, 35, 35);
    case QPalette::Shadow:
        return QColor(20, 20, 20);
    case QPalette::PlaceholderText:
        return QColor(140, 140, 140);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QPalette::Accent:
        return blue;
#endif
    default: // WindowText, Text, ButtonText, ToolTipText
        return QColor(Qt::white);
    }
}

// What disabled controls show instead: grey text and a grey selection.
QColor disabledDarkColor(QPalette::ColorRole role) {
    switch (role) {
    case QPalette::WindowText:
    case QPalette::Text:
    case QPalette::ButtonText:
    case QPalette::HighlightedText:
    case QPalette::Link:
    case QPalette::LinkVisited:
        return QColor(128, 128, 128);
    case QPalette::Highlight:
        return QColor(80, 80, 80);
    default:
        return darkColor(role);
    }
}
} // namespace

Theme themeForWindowColor(const QColor &windowColor) {
    return windowColor.lightness() >= 128 ? Theme::Light : Theme::Dark;
}

// Every role of every group is set, so the palette is the same whatever palette was in force
// before it.
QPalette darkPalette() {
    QPalette palette;
    for (int index = 0; index < QPalette::NColorRoles; ++index) {
        const auto role = QPalette::ColorRole(index);
        palette.setBrush(QPalette::Active, role, darkColor(role));
        palette.setBrush(QPalette::Inactive, role, darkColor(role));
        palette.setBrush(QPalette::Disabled, role, disabledDarkColor(role));
    }
    return palette;
}

QString themeStyleSheet(Theme theme) {
    QString sheet = QString::fromLatin1(themeRules);
    for (const ThemeColor &color : themeColors) {
        sheet.replace(QString("${%1}").arg(color.name),
                      QString::fromLatin1(theme == Theme::Light ? color.light : color.dark));
    }
    if (theme == Theme::Dark)
        sheet += QString::fromLatin1(darkOnlyRules);
    return sheet;
}

QString darkVariant(const QString &lightText) {
    static const QRegularExpression colorPattern("#[0-9a-f]{3,8}\\b|\\bwhite\\b",
                                                 QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype copiedUpTo = 0;
    QRegularExpressionMatchIterator matches = colorPattern.globalMatch(lightText);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        for (const auto &[light, dark] : darkPartners) {
            if (match.captured().compare(QLatin1String(light), Qt::CaseInsensitive) == 0) {
                result += lightText.mid(copiedUpTo, match.capturedStart() - copiedUpTo);
                result += QLatin1String(dark);
                copiedUpTo = match.capturedEnd();
                break;
            }
        }
    }
    return result + lightText.mid(copiedUpTo);
}

void followTheme(QWidget *root, Theme theme) {
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *widget : widgets) {
        followThemeInOwnStyleSheet(widget, theme);
        if (auto *label = qobject_cast<QLabel *>(widget))
            followThemeInLabelText(label, theme);
    }
}
