// Helpers shared by the benchmark programs: a headless application with settings kept away from
// the user's, medians, and figures printed as "name: value" lines that bench/run.sh reads.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class QApplication;

// A QApplication on the offscreen platform (unless another one is asked for) whose settings
// live in a temporary folder for as long as the object lives.
class BenchApplication {
public:
    BenchApplication(int &argc, char **argv);
    ~BenchApplication();

private:
    QTemporaryDir settingsFolder;
    std::unique_ptr<QApplication> app;
};

double median(std::vector<double> values);

// One line "name: text" on standard output, flushed at once.
void printFigure(const QString &name, const QString &text);

// A number with the given count of decimals, without exponent.
QString decimals(double value, int count);
