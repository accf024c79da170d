// The light and dark themes: the dark palette, the two style sheets built from one set of rules,
// the choice between them from a window colour, and the dark partners of the light colours that
// the forms carry in widgets' own style sheets and rich texts. Applying a theme to the window is
// the window's own part (mainwindow/windowtheme).
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

class QWidget;

enum class Theme { Light, Dark };

// Light for a window colour of lightness 128 or more, dark below.
Theme themeForWindowColor(const QColor &windowColor);

// The fixed palette of the dark theme: every role of every colour group, with dark tool tips and
// grey text for disabled controls.
QPalette darkPalette();

// The style sheet of a theme; both themes share the rules and differ only in colours, except that
// the dark one adds rules that make the output panes dark.
QString themeStyleSheet(Theme theme);

// A light text (a style sheet or rich text) with each light colour of the forms replaced by its
// dark theme partner; colours without a partner stay as they are.
QString darkVariant(const QString &lightText);

// Gives a widget and its children the colours of a theme in their own style sheets and, for
// rich-text labels, in their text. What a widget carries at the first call is taken as its light
// form and given back for the light theme; widgets whose forms hold no light colour with a dark
// partner are left alone.
void followTheme(QWidget *root, Theme theme);
