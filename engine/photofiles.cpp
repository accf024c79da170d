// The photo name patterns.
#include "engine/photofiles.h"

const QStringList &photoNameFilters() {
    static const QStringList filters{"*.jpg", "*.jpeg", "*.jfif", "*.jpe"};
    return filters;
}
