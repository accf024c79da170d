// The main window's part of the light and dark theme: it follows the window's palette changes
// and gives the application, the window, the forms' own light colours and the icons the theme
// that the window colour asks for.
#pragma once

#include <QObject>

#include "common/theme.h"

class QWidget;

class WindowTheme : public QObject {
    Q_OBJECT

public:
    // Gives `window` the light theme's sheet, and the dark theme at once when the desktop is dark
    // already; from then on follows its palette changes.
    explicit WindowTheme(QWidget *window);

    void apply(Theme theme);
    Theme current() const { return applied; }

signals:
    // After each change of theme, for the parts that colour their own content.
    void changed(Theme theme);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followWindowPalette();

    QWidget *window = nullptr;
    Theme applied = Theme::Light;
};
