// The light and dark themes: the dark palette, the two application style sheets built from one
// set of rules, and the choice between them from a window colour.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

enum class Theme { Light, Dark };

// Light for a window colour of lightness 128 or more, dark below.
Theme themeForWindowColor(const QColor &windowColor);

// The fixed palette of the dark theme.
QPalette darkPalette();

// The style sheet of a theme; both themes share the rules and differ only in colours.
QString themeStyleSheet(Theme theme);
