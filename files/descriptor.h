// An open file descriptor that closes itself: folders, photos and temporary files of this layer
// are held through one each. Move-only.
#pragma once

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int descriptor)
        : fd(descriptor) {}
    ~Descriptor() { close(); }
    Descriptor(Descriptor &&other) noexcept
        : fd(other.take()) {}
    Descriptor &operator=(Descriptor &&other) noexcept;
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    bool isValid() const { return fd >= 0; }
    int get() const { return fd; }
    // Gives the descriptor up without closing it.
    int take();
    void close();

private:
    int fd = -1;
};
