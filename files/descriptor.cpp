// Closing descriptors.
#include "files/descriptor.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

Descriptor &Descriptor::operator=(Descriptor &&other) noexcept {
    if (this != &other) {
        close();
        fd = other.take();
    }
    return *this;
}

int Descriptor::take() {
    const int descriptor = fd;
    fd = -1;
    return descriptor;
}

void Descriptor::close() {
    if (fd < 0)
        return;
#ifdef Q_OS_WIN
    ::_close(fd);
#else
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    ::close(fd);
#endif
    fd = -1;
}
