// The application object: a QApplication whose event delivery survives standard exceptions.
#pragma once

#include <QApplication>

class CatchExceptionApplication : public QApplication {
    Q_OBJECT

public:
    CatchExceptionApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

signals:
    void thrown(QString error);
};
