// Guards for slim reader/writer locks: held for the guard's scope, released
// on every way out of it.
#ifndef BASE_SCOPED_LOCK_H_
#define BASE_SCOPED_LOCK_H_

#include <windows.h>

namespace ostrel {

class ScopedExclusiveLock {
 public:
  explicit ScopedExclusiveLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ScopedExclusiveLock(const ScopedExclusiveLock&) = delete;
  ScopedExclusiveLock& operator=(const ScopedExclusiveLock&) = delete;
  ~ScopedExclusiveLock() { ::ReleaseSRWLockExclusive(lock_); }

 private:
  SRWLOCK* lock_;
};

class ScopedSharedLock {
 public:
  explicit ScopedSharedLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockShared(lock_); }
  ScopedSharedLock(const ScopedSharedLock&) = delete;
  ScopedSharedLock& operator=(const ScopedSharedLock&) = delete;
  ~ScopedSharedLock() { ::ReleaseSRWLockShared(lock_); }

 private:
  SRWLOCK* lock_;
};

}  // namespace ostrel

#endif  // BASE_SCOPED_LOCK_H_
