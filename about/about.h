// The About dialog: what Pivotta does, its version and the credits.
#pragma once

#include <QDialog>

namespace Ui {
class About;
}

class About : public QDialog {
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

private slots:
    void on_pushButton_clicked();

private:
    Ui::About *ui = nullptr;
};
