// Worker threads without event loops, whose results go back to an event loop.
#include "engine/scanworkers.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

struct ScanWorkers::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void(const Post &)>> tasks;
    QObject *receiver = nullptr;
    bool closing = false;
    int threads = 0;
    int idle = 0;
    Post post;
};

ScanWorkers::ScanWorkers(QObject *receiver, int maxThreadCount)
    : shared(std::make_shared<Shared>())
    , maxThreads(qMax(1, maxThreadCount)) {
    shared->receiver = receiver;
    // Posting under the lock: once the workers are closing, nothing more reaches the receiver.
    Shared *state = shared.get();
    shared->post = [state](std::function<void()> function) {
        const std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->closing)
            QMetaObject::invokeMethod(state->receiver, std::move(function), Qt::QueuedConnection);
    };
}

ScanWorkers::~ScanWorkers() {
    {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->closing = true;
        shared->tasks.clear();
    }
    shared->wake.notify_all();
}

void ScanWorkers::start(std::function<void(const Post &post)> task) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->tasks.push_back(std::move(task));
    if (shared->idle > 0 || shared->threads >= maxThreads) {
        shared->wake.notify_one();
        return;
    }
    ++shared->threads;
    try {
        std::thread(&ScanWorkers::work, shared).detach();
        return;
    } catch (const std::system_error &) {
        --shared->threads; // the system gives no more threads
    }
    if (shared->threads > 0) {
        shared->wake.notify_one();
        return;
    }
    // Not even one thread: the task runs here, and its results still arrive through the event
    // loop.
    std::function<void(const Post &)> here = std::move(shared->tasks.back());
    shared->tasks.pop_back();
    lock.unlock();
    here(shared->post);
}

void ScanWorkers::work(const std::shared_ptr<Shared> &shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        ++shared->idle;
        shared->wake.wait(lock, [&] { return shared->closing || !shared->tasks.empty(); });
        --shared->idle;
        if (shared->closing) {
            --shared->threads;
            return;
        }
        std::function<void(const Post &)> task = std::move(shared->tasks.front());
        shared->tasks.pop_front();
        lock.unlock();
        task(shared->post);
        task = nullptr; // what it holds (photos, folders) goes here, off the event loop
        lock.lock();
    }
}
