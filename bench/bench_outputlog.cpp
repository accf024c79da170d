// The cost of one append to the main output pane as the pane fills up with "Keep all".
// Usage: bench_outputlog [--messages N] [--window N] [--hidden]
// Appends N report lines like those of a rotating batch and times every window of appends; the
// ratio of the last window to the first tells whether an append gets dearer as the text grows.
#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <vector>

#include "bench/benchsupport.h"
#include "mainwindow/outputpanes.h"
#include "mainwindow/pivotta.h"
#include "settings/settings.h"

namespace {
struct Options {
    int messages = 30000;
    int window = 1000;
    bool hidden = false;
};

bool parseOptions(const QStringList &arguments, Options *options) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == "--messages" && i + 1 < arguments.size())
            options->messages = qMax(1, arguments.at(++i).toInt());
        else if (argument == "--window" && i + 1 < arguments.size())
            options->window = qMax(1, arguments.at(++i).toInt());
        else if (argument == "--hidden")
            options->hidden = true;
        else
            return false;
    }
    options->window = qMin(options->window, options->messages);
    return true;
}

// A line like the batch's report for one turned photo, with a link to it.
QString reportLine(int number) {
    const QString name = QString("2024/holiday/IMG_%1.jpg").arg(number, 5, 10, QChar('0'));
    return QString("<br><span style='color:#393'>Rotating 90° <span style='font-size:4em;'>⤾ "
                   "CW</span><br><a style='color:#333' href='file:///photos/%1'>%1</a> </span>")
        .arg(name);
}
} // namespace

int main(int argc, char **argv) {
    BenchApplication benchApp(argc, argv);
    Options options;
    if (!parseOptions(QCoreApplication::arguments(), &options)) {
        std::fputs("usage: bench_outputlog [--messages N] [--window N] [--hidden]\n", stderr);
        return 2;
    }
    Settings::setValue(SettingsKey::textLimit, 0); // "Keep all"

    Pivotta window;
    if (!options.hidden) {
        window.setGeometry(100, 100, 1024, 600);
        window.show();
    }
    auto *panes = window.findChild<OutputPanes *>();

    // The appends start once the event loop runs, when the shown window has been laid out.
    std::vector<double> windowMicros; // mean cost of one append, per window
    double totalSeconds = 0;
    QTimer::singleShot(0, [&] {
        QElapsedTimer timer;
        timer.start();
        qint64 windowStart = timer.nsecsElapsed();
        for (int i = 1; i <= options.messages; ++i) {
            panes->append(reportLine(i));
            if (i % options.window == 0) {
                const qint64 now = timer.nsecsElapsed();
                windowMicros.push_back((now - windowStart) / 1e3 / options.window);
                windowStart = now;
            }
        }
        totalSeconds = timer.nsecsElapsed() / 1e9;
        QCoreApplication::quit();
    });
    QApplication::exec();

    const double first = windowMicros.front();
    const double last = windowMicros.back();
    QStringList each;
    for (double micros : windowMicros)
        each << decimals(micros, 0);
    printFigure("messages", QString("%1 appends in %2 s, window shown: %3")
                                .arg(options.messages)
                                .arg(decimals(totalSeconds, 2))
                                .arg(options.hidden ? "no" : "yes"));
    printFigure("append cost per window (us)", each.join(' '));
    printFigure("first window", decimals(first, 1) + " us per append");
    printFigure("last window", decimals(last, 1) + " us per append");
    printFigure("last/first", decimals(last / first, 2));
    return 0;
}
