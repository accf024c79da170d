// Releasing held emissions in slot order.
#include "engine/orderedrelease.h"

int OrderedRelease::open() {
    const int slot = nextSlot++;
    openSlots[slot] = Slot();
    return slot;
}

void OrderedRelease::add(int slot, Emission emission) {
    const auto found = openSlots.find(slot);
    if (found == openSlots.end())
        return;
    if (found == openSlots.begin())
        emission();
    else
        found->second.held << std::move(emission);
}

void OrderedRelease::close(int slot) {
    const auto found = openSlots.find(slot);
    if (found == openSlots.end())
        return;
    found->second.closed = true;
    if (found == openSlots.begin())
        releaseFromHead();
}

// The head slot's emissions have gone out as they came; the slots behind it release theirs once
// they become the head, and those already closed leave at once.
void OrderedRelease::releaseFromHead() {
    while (!openSlots.empty() && openSlots.begin()->second.closed) {
        openSlots.erase(openSlots.begin());
        if (openSlots.empty())
            break;
        // Emissions may open or close slots, so the held list is taken out first.
        const QList<Emission> held = std::move(openSlots.begin()->second.held);
        openSlots.begin()->second.held.clear();
        for (const Emission &emission : held)
            emission();
    }
}

void OrderedRelease::clear() {
    openSlots.clear();
}
