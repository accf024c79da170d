// The Preferences dialog: every control writes its settings key at the moment it is used.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace Ui {
class Preferences;
}

class Preferences : public QDialog
{
    Q_OBJECT

public:
    enum FILETIMESTAMP { DONOTHING = 0, SETFILETOEXIFTIMESTAMP = 1, RESTORE = 2 };
    Q_ENUM(FILETIMESTAMP)

    explicit Preferences(QWidget *parent = nullptr);
    ~Preferences() override;

signals:
    void closeAppAfterContextMenuRotate_toggled(bool checked);

public slots:
    void setPerfectUILabel(QString perfectUILabel);
    void toggleCloseAppAfterContextMenuRotate(bool checked);

private:
    Ui::Preferences *ui = nullptr;
};
