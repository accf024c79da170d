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

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_pushButton_clicked();

private:
    // Puts the project's addresses (none when `homepage` is empty) into the form's texts.
    void fillInAddresses(const QString &homepage);

    Ui::About *ui = nullptr;
};
