// Lease breaks as they happen. When another process opens a photo on which Pivotta holds a read
// lease for writing, or truncates it, the kernel sends a signal (SIGIO unless told otherwise,
// which would end the program) and holds the other process's open until the lease is released or
// a time-out passes (45 s by default). Leases here are told to send a signal whose handler only
// writes the descriptor into a pipe; a LeaseBreakNotifier turns that into a Qt signal on its
// thread, so that the owner of the photo can release the lease at once. Without a notifier a break
// is still seen by asking the photo (HeldPhoto::leaseBroken).
#pragma once

#include <QObject>

class QSocketNotifier;

// Installs the handler once and gives the signal to set with F_SETSIG (0 where there are no
// leases).
int prepareLeaseBreakSignal();

// One per program: it reads what the handler writes.
class LeaseBreakNotifier : public QObject {
    Q_OBJECT

public:
    explicit LeaseBreakNotifier(QObject *parent = nullptr);
    ~LeaseBreakNotifier() override;

signals:
    // The lease on `descriptor` is being broken: release it now (or let it go by closing).
    void leaseBreaking(int descriptor);

private:
    void readBreaks();

    QSocketNotifier *notifier = nullptr;
};
