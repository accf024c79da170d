// Keeps what several photos in work have to say in the order the scan found them: each photo
// gets a slot; what is said in the earliest open slot goes out at once, what is said in a later
// slot is held until every slot before it has closed. With one photo at a time nothing is ever
// held, so a run reads the same whatever the number of photos in work.
#pragma once

#include <QList>

#include <functional>
#include <map>

class OrderedRelease {
public:
    using Emission = std::function<void()>;

    // A new slot after all others.
    int open();
    // Emits now when `slot` is the earliest open slot, else holds the emission.
    void add(int slot, Emission emission);
    // No more emissions for `slot`; releases what later slots held as they come first.
    void close(int slot);
    void clear();

private:
    void releaseFromHead();

    struct Slot {
        QList<Emission> held;
        bool closed = false;
    };
    std::map<int, Slot> openSlots; // the open slots and the closed ones still waiting
    int nextSlot = 0;
};
