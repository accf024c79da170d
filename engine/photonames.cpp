// The photo name patterns.
#include "engine/photonames.h"

const QStringList &photoNameFilters() {
    static const QStringList filters{"*.jpg", "*.jpeg", "*.jfif", "*.jpe"};
    return filters;
}
