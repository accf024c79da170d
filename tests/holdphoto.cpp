// Another program holding a photo, for the tests: `holdphoto lease PHOTO` takes a write lease on
// it, as a file server with kernel oplocks does; `holdphoto rotation PHOTO` holds it as another
// Pivotta turning it does (the rotation lock and a read lease). It prints "held" once it holds the
// photo and keeps it until its standard input ends. A lease break (someone else opening the
// photo) is ignored, so the photo stays held for the kernel's whole break time.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 3 ||
        (std::strcmp(argv[1], "lease") != 0 && std::strcmp(argv[1], "rotation") != 0)) {
        std::fprintf(stderr, "usage: holdphoto lease|rotation PHOTO\n");
        return 2;
    }
    const bool asPivotta = std::strcmp(argv[1], "rotation") == 0;
    std::signal(SIGIO, SIG_IGN);
    const int photo = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    if (photo < 0) {
        std::perror("open");
        return 1;
    }
    if (asPivotta && ::flock(photo, LOCK_EX | LOCK_NB) != 0) {
        std::perror("flock");
        return 1;
    }
    if (::fcntl(photo, F_SETLEASE, asPivotta ? F_RDLCK : F_WRLCK) != 0) {
        std::perror("F_SETLEASE");
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char ignored[64];
    while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    return 0;
}
