/*
 * Thread creation and the thread slots of a client's thread pool.
 *
 * The client's dispatcher owns an array of ThreadSlot records and decides what
 * work each thread runs; this module only creates threads and keeps the
 * slots' states:
 *
 *   0 free  --(dispatcher places a new thread)-->  2 busy
 *   2 busy  --(the thread calls SuspendPoolThread)--> 1 idle, thread parked
 *   1 idle  --(dispatcher calls ResumePoolThread)-->  2 busy, thread running
 *   any     --(FreeThreadSlots)-->                    0 free
 *
 * A dispatcher calls CheckThreadPool: on THREAD_POOL_IDLE_FOUND it hands the
 * work to that slot and calls ResumePoolThread; on THREAD_POOL_CAN_GROW it
 * sets a new slot's state to 2 and places a thread made with CreateNewThread
 * in it; on THREAD_POOL_FULL it has to wait.
 *
 * Threads: a ThreadHandle is an opaque pointer to this module's record of a
 * thread started with the C++ runtime (std::thread). Each record carries the
 * thread's own parking semaphore: a pool thread that suspends itself blocks on
 * that semaphore, and ResumePoolThread releases it. A resume that arrives
 * between the thread marking itself idle and blocking is kept, so a wake-up is
 * never lost; and because ResumePoolThread moves the slot from 1 to 2 itself
 * (the woken thread then writes 2 as well), a slot that was just resumed is
 * never reported idle again before its thread parks anew.
 *
 * Concurrency: a slot's state is written by the dispatcher (while placing a
 * thread) and by the slot's own thread (while parking and waking); this
 * module reads and writes it atomically. The slot array belongs to the
 * dispatcher, which serialises its own calls. A pool thread must call
 * SuspendPoolThread only on its own slot.
 */
#ifndef HV_LOGGING_THREAD_POOL_H
#define HV_LOGGING_THREAD_POOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

enum { THREAD_SLOT_FREE = 0, THREAD_SLOT_IDLE = 1, THREAD_SLOT_BUSY = 2 };

/* Results of CheckThreadPool. */
enum { THREAD_POOL_IDLE_FOUND = 1, THREAD_POOL_CAN_GROW = 4, THREAD_POOL_FULL = 5 };

typedef struct PoolThread* ThreadHandle;
/* A thread's start routine: one pointer argument, a 32-bit result. */
typedef uint32_t (*ThreadStartRoutine)(void* argument);

#pragma pack(push, 1)
typedef struct ThreadSlot {
  int8_t state; /* THREAD_SLOT_FREE, _IDLE or _BUSY */
  ThreadHandle thread;
} ThreadSlot;
#pragma pack(pop)

/* Logs its entry at TRACE; nothing else. */
void InitThreadInfo(void);
/* Sets the state of the first count slots to 0 (handles are left alone). */
void ResetThreadSlots(ThreadSlot* slots, uint16_t count);
/* For each of the first count slots that is not free: state 0 and its thread
 * handle closed (the thread itself is not stopped). */
void FreeThreadSlots(ThreadSlot* slots, uint16_t count);
/* Starts routine(argument) on a new thread at once. The handle, or NULL (after
 * a DEBUG line) when no thread can be started. */
ThreadHandle CreateNewThread(ThreadStartRoutine routine, void* argument);
/* Scans the first count slots: THREAD_POOL_IDLE_FOUND with *index set at the
 * first idle one; otherwise THREAD_POOL_CAN_GROW when count < maximum, else
 * THREAD_POOL_FULL. */
int32_t CheckThreadPool(ThreadSlot* slots, uint16_t count, uint16_t* index, uint16_t maximum);
/* Called by a pool thread on its own slot when it has no work: the slot
 * becomes idle and the calling thread parks until ResumePoolThread; the slot
 * is then busy. A thread not made by CreateNewThread is refused (ERROR). */
void SuspendPoolThread(ThreadSlot* slot);
/* Wakes the idle slot's thread and marks the slot busy. A slot that is not
 * idle is left alone. */
void ResumePoolThread(ThreadSlot* slot);

/* Waits until the thread has ended and stores its routine's result in
 * *exitCode (may be NULL). False for a NULL handle or a second wait. */
bool WaitForThreadExit(ThreadHandle thread, uint32_t* exitCode);
/* Releases the handle; a running thread goes on and releases its record when
 * it ends. */
void CloseThreadHandle(ThreadHandle thread);

#ifdef __cplusplus
}
#endif

#endif /* HV_LOGGING_THREAD_POOL_H */
