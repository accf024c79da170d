// The text-limit rule of the output panes.
#include "mainwindow/outputtext.h"

bool exceedsTextLimit(int count, int limit) {
    return limit != 0 && count > limit;
}
