// The Preferences dialog.
#include "settings/preferences.h"
#include "ui_preferences.h"

Preferences::Preferences(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Preferences)
{
    ui->setupUi(this);
}

Preferences::~Preferences()
{
    delete ui;
}

void Preferences::setPerfectUILabel(QString perfectUILabel)
{
    ui->perfect->setText(perfectUILabel);
}

void Preferences::toggleCloseAppAfterContextMenuRotate(bool checked)
{
    ui->closeAppAfterContextMenuRotate->setChecked(checked);
}
