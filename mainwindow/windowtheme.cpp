// Applying the theme to the main window: the application's palette and sheet, the window's own
// sheet, the light colours of its forms and its icons.
#include "mainwindow/windowtheme.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QStyle>
#include <QWidget>

#include <utility>

namespace {
// The icons of the forms are drawn in dark strokes; the dark theme shows their partners drawn in
// light strokes, under the same name in the resource folder "dark".
const std::pair<const char *, const char *> themedIcons[] = {
    {"showTreeButton", "List_Noun_project_11515_rtl.svg"},
    {"actionFolderTree", "List_Noun_project_11515_rtl.svg"},
    {"rotateNowButton", "magic-wand(1).svg"},
    {"autorotateSingleButton", "magic-wand(1).svg"},
    {"stopRotatingButton", "rectangle4.svg"},
    {"openSingle", "photo.svg"},
    {"openSingleFolder", "open-folder-black-and-white-variant.svg"},
};

void followThemeInIcons(QWidget *window, Theme theme) {
    for (const auto &[objectName, resource] : themedIcons) {
        const QIcon icon(QString(theme == Theme::Light ? ":/%1" : ":/dark/%1").arg(resource));
        if (auto *button = window->findChild<QAbstractButton *>(objectName))
            button->setIcon(icon);
        else if (auto *action = window->findChild<QAction *>(objectName))
            action->setIcon(icon);
    }
}

// The parts of the window whose forms give them light colours of their own: the dialogs' buttons
// and pages, the About link, the dark labels on the light panels, the preview's paper and the
// icons.
void followThemeInForms(QWidget *window, Theme theme) {
    for (const char *name : {"About", "Preferences", "rotatePhotosWhenAddedLabel", "leftDockHelp",
                             "rawImage", "transformedImage"}) {
        if (QWidget *widget = window->findChild<QWidget *>(name))
            followTheme(widget, theme);
    }
    followThemeInIcons(window, theme);
}

// Setting a palette or a style sheet causes further palette changes; applying only what differs
// lets those settle instead of looping.
void applyTheme(QWidget *window, const QPalette &palette, const QString &styleSheet) {
    if (QApplication::palette() != palette)
        QApplication::setPalette(palette);
    if (qApp->styleSheet() != styleSheet)
        qApp->setStyleSheet(styleSheet);
    // The window's own sheet outranks the application's for everything inside the window, so it
    // must carry the same theme.
    if (window->styleSheet() != styleSheet)
        window->setStyleSheet(styleSheet);
}
} // namespace

// The window starts light; each theme change gives it that theme's sheet as well, since its own
// sheet outranks the application's for every widget inside it.
WindowTheme::WindowTheme(QWidget *themedWindow)
    : QObject(themedWindow)
    , window(themedWindow) {
    window->setStyleSheet(themeStyleSheet(Theme::Light));
    window->installEventFilter(this);
    // A desktop that is dark already gets what a switch to dark gives.
    if (themeForWindowColor(window->palette().color(QPalette::Window)) == Theme::Dark)
        apply(Theme::Dark);
}

void WindowTheme::apply(Theme theme) {
    if (theme == Theme::Light)
        applyTheme(window, QApplication::style()->standardPalette(), themeStyleSheet(Theme::Light));
    else
        applyTheme(window, darkPalette(), themeStyleSheet(Theme::Dark));
    followThemeInForms(window, theme);
    if (theme != applied) {
        applied = theme;
        emit changed(theme);
    }
}

// Decided once the toolkit has handed the new palette to every widget: a palette set while it is
// still doing so is overwritten in the windows it has not reached yet.
bool WindowTheme::eventFilter(QObject *watched, QEvent *event) {
    if (watched == window && event->type() == QEvent::PaletteChange)
        QMetaObject::invokeMethod(this, &WindowTheme::followWindowPalette, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void WindowTheme::followWindowPalette() {
    apply(themeForWindowColor(window->palette().brush(QPalette::Window).color()));
}
