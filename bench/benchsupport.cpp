// Helpers shared by the benchmark programs.
#include "bench/benchsupport.h"

#include <QApplication>
#include <QSettings>

#include <algorithm>
#include <cstdio>

BenchApplication::BenchApplication(int &argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Before the application object, so that nothing reads the user's settings file.
    qputenv("XDG_CONFIG_HOME", settingsFolder.path().toLocal8Bit());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    app = std::make_unique<QApplication>(argc, argv);
    Q_INIT_RESOURCE(resources);
    QCoreApplication::setApplicationName("Pivotta");
    QCoreApplication::setOrganizationName("Tavlund");
}

BenchApplication::~BenchApplication() = default;

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

void printFigure(const QString &name, const QString &text) {
    std::printf("%s: %s\n", qPrintable(name), qPrintable(text));
    std::fflush(stdout);
}

QString decimals(double value, int count) {
    return QString::number(value, 'f', count);
}
