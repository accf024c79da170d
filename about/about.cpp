// The About dialog. Its texts come from the form, with the project's web addresses filled in
// when the program is built with them.
#include "about/about.h"
#include "ui_about.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QScrollArea>

#include "common/projectaddress.h"
#include "common/screenfit.h"

namespace {
QString link(const QString &address, const QString &text) {
    return QString("<a href=\"%1\"><span style=\" text-decoration: underline; "
                   "color:#0000ff;\">%2</span></a>")
        .arg(address.toHtmlEscaped(), text);
}
} // namespace

About::About(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::About) {
    ui->setupUi(this);
    ui->version->setText(QCoreApplication::applicationVersion());
    fillInAddresses(projectHomepage());
}

About::~About() {
    delete ui;
}

void About::fillInAddresses(const QString &homepage) {
    const QString standardSize = tr("standard size");
    const QString qtSource = projectPage(homepage, "source/qt");
    const QString exiv2Source = projectPage(homepage, "source/exiv2");
    // Without an address the dialog says so once, under its heading; the credits name none.
    if (homepage.isEmpty()) {
        ui->label_3->setText(
            ui->label_3->text().arg(noProjectAddressText().toHtmlEscaped(), standardSize));
        ui->label_2->setText(ui->label_2->text().arg(QString(), QString()));
        return;
    }
    ui->label_3->setText(
        ui->label_3->text().arg(link(projectPage(homepage, ""), homepage.toHtmlEscaped()),
                                link(projectPage(homepage, "lossless-rotation"), standardSize)));
    // The credits name the addresses as plain text.
    ui->label_2->setText(ui->label_2->text().arg(
        tr("Qt source code is available at %1").arg(qtSource.toHtmlEscaped()),
        tr("Exiv2 source code is available at %1").arg(exiv2Source.toHtmlEscaped())));
}

// The dialog is as tall as its texts need at the width it has; on a screen too small for that,
// the credits scroll.
void About::showEvent(QShowEvent *event) {
    shrinkIntoScreen(this);
    const QScrollArea *credits = ui->scrollArea;
    setHeightWithinScreen(this, height() - credits->height() +
                                    heightShowingAll(credits, credits->width()));
    QDialog::showEvent(event);
}

void About::on_pushButton_clicked() {
    QMessageBox::aboutQt(this, QString());
}
