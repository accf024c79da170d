// Threads for a scan's file work (listing folders, opening photos and reading their
// orientation), so that the event loop never waits on the disk. They are plain threads of the
// standard library without an event loop of their own: starting one takes no file descriptor,
// so they start even when the descriptors have run out. A thread is started only when a task
// finds none idle, up to the limit. A task hands what it found to functions that run on the
// receiver's event loop, in the order it hands them over.
//
// Destroying the workers waits for nothing: tasks not yet begun are dropped, a task under way
// finishes on its own thread and its results are dropped, and each thread then ends by itself.
#pragma once

#include <functional>
#include <memory>

class QObject;

class ScanWorkers {
public:
    // Hands a function to the receiver's event loop, where it runs unless the workers are gone.
    using Post = std::function<void(std::function<void()>)>;

    // `receiver` outlives the workers.
    ScanWorkers(QObject *receiver, int maxThreads);
    ~ScanWorkers();
    ScanWorkers(const ScanWorkers &) = delete;
    ScanWorkers &operator=(const ScanWorkers &) = delete;

    // Runs `task` on a worker thread; it hands over what it has through `post`.
    void start(std::function<void(const Post &post)> task);

private:
    struct Shared;
    static void work(const std::shared_ptr<Shared> &shared);

    std::shared_ptr<Shared> shared;
    int maxThreads;
};
