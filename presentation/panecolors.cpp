// The two colour sets of the messages.
#include "presentation/panecolors.h"

PaneColors PaneColors::light() {
    return {"#333", "#393", "#666", "#000", "#333"};
}

PaneColors PaneColors::dark() {
    return {"#eee", "#6c6", "#aaa", "#fff", "#ccc"};
}
