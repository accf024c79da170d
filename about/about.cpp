// The About dialog.
#include "about/about.h"
#include "ui_about.h"

#include <QCoreApplication>
#include <QMessageBox>

About::About(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::About) {
    ui->setupUi(this);
    ui->version->setText(QCoreApplication::applicationVersion());
}

About::~About() {
    delete ui;
}

void About::on_pushButton_clicked() {
    QMessageBox::aboutQt(this, QString());
}
