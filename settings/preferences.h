// The Preferences dialog: every control writes its settings key at the moment it is used.
#pragma once

#include <QDialog>

class QButtonGroup;

namespace Ui {
class Preferences;
}

class Preferences : public QDialog {
    Q_OBJECT

public:
    explicit Preferences(QWidget *parent = nullptr);
    ~Preferences() override;

signals:
    void closeAppAfterContextMenuRotate_toggled(bool checked);

protected:
    void showEvent(QShowEvent *event) override;

public slots:
    void setPerfectUILabel(QString perfectUILabel);
    void toggleCloseAppAfterContextMenuRotate(bool checked);

private slots:
    void on_perfect_clicked(bool checked);
    void on_trim_clicked(bool checked);
    void on_fixMirroredOrientations_clicked(bool checked);
    void on_closeAppAfterContextMenuRotate_clicked(bool checked);
    void textLimitClicked(int id);
    void on_forceFontSize_clicked(bool checked);
    void on_forceFontSizeSlider_valueChanged(int position);

private:
    void useFileManagerTexts();
    void showStoredCheckBoxes();
    void showStoredParallelRotations();
    void showStoredFontSize();
    void buildButtonGroups();
    void showFontSize(int pixelSize);
    void fitHeightToPages();

    Ui::Preferences *ui = nullptr;
    QButtonGroup *textLimitGroup = nullptr;
    QButtonGroup *fileTimestampGroup = nullptr;
};
