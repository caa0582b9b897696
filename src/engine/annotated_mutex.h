#pragma once

// A mutex and its lock with Clang's thread-safety attributes, so that a build with
// -Wthread-safety checks at compile time that every field marked SPURFIX_GUARDED_BY is
// touched only with its mutex held. The standard library's own types carry no such
// attributes; other compilers see plain std::mutex and std::unique_lock.

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define SPURFIX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define SPURFIX_THREAD_ATTRIBUTE(x)
#endif

#define SPURFIX_CAPABILITY(x) SPURFIX_THREAD_ATTRIBUTE(capability(x))
#define SPURFIX_SCOPED_CAPABILITY SPURFIX_THREAD_ATTRIBUTE(scoped_lockable)
#define SPURFIX_GUARDED_BY(x) SPURFIX_THREAD_ATTRIBUTE(guarded_by(x))
#define SPURFIX_PT_GUARDED_BY(x) SPURFIX_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define SPURFIX_REQUIRES(...) SPURFIX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define SPURFIX_EXCLUDES(...) SPURFIX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define SPURFIX_ACQUIRE(...) SPURFIX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define SPURFIX_RELEASE(...) SPURFIX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define SPURFIX_NO_THREAD_SAFETY_ANALYSIS SPURFIX_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace spurfix {

class SPURFIX_CAPABILITY("mutex") AnnotatedMutex {
  public:
    void lock() SPURFIX_ACQUIRE() { mutex_.lock(); }
    void unlock() SPURFIX_RELEASE() { mutex_.unlock(); }

  private:
    friend class AnnotatedLock;
    std::mutex mutex_;
};

// Holds the mutex for its scope; may give it up for a while (unlock, lock) and waits on
// condition variables with it. Waits take no predicate: a lambda is analysed on its own,
// without the lock, so callers loop over the condition themselves.
class SPURFIX_SCOPED_CAPABILITY AnnotatedLock {
  public:
    explicit AnnotatedLock(AnnotatedMutex& mutex) SPURFIX_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~AnnotatedLock() SPURFIX_RELEASE() = default;
    AnnotatedLock(const AnnotatedLock&) = delete;
    AnnotatedLock& operator=(const AnnotatedLock&) = delete;

    void unlock() SPURFIX_RELEASE() { lock_.unlock(); }
    void lock() SPURFIX_ACQUIRE() { lock_.lock(); }

    void wait(std::condition_variable& condition) { condition.wait(lock_); }
    // False when the time ran out.
    template <class Duration>
    bool waitFor(std::condition_variable& condition, Duration duration) {
        return condition.wait_for(lock_, duration) == std::cv_status::no_timeout;
    }

  private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace spurfix
