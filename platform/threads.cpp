// Thread priority, sleeping and the counting semaphore.

#include "platform/system.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <ctime>

bool SetCurrentThreadBelowNormal() {
    errno = 0;
    int process_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (process_nice == -1 && errno != 0) return false;
    const int nice = process_nice + 5 > 19 ? 19 : process_nice + 5;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0;
}

void SleepMs(int ms) {
    if (ms <= 0) {
        sched_yield();
        return;
    }
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

Semaphore::Semaphore(int32_t initial) {
    [[maybe_unused]] int result = sem_init(&Handle, 0, static_cast<unsigned>(initial < 0 ? 0 : initial));
    assert(result == 0 && "sem_init cannot fail for a count within SEM_VALUE_MAX");
}

Semaphore::~Semaphore() {
    sem_destroy(&Handle);
}

bool Semaphore::Release(int32_t n) {
    if (n < 1) return false;
    int value = 0;
    if (sem_getvalue(&Handle, &value) != 0 || value > MaxCount - n) return false;
    for (int32_t i = 0; i < n; ++i)
        if (sem_post(&Handle) != 0) return false;
    return true;
}

void Semaphore::Wait() {
    while (sem_wait(&Handle) != 0 && errno == EINTR) {
    }
}

bool Semaphore::TryWait() {
    while (sem_trywait(&Handle) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool Semaphore::WaitFor(int ms) {
    if (ms <= 0) return TryWait();
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    // Against the steady clock, so that a change of the wall clock neither cuts nor stretches it.
    while (sem_clockwait(&Handle, CLOCK_MONOTONIC, &deadline) != 0)
        if (errno != EINTR) return false;
    return true;
}
