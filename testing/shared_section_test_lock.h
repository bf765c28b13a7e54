// The `Shared` section is common to every process of one executable file,
// and CTest runs test processes side by side: a test that writes or reads the
// section (directly, through setup runs, or through test_helper processes)
// holds this lock for its whole run, and starts from a cleared section.
#ifndef TESTING_SHARED_SECTION_TEST_LOCK_H_
#define TESTING_SHARED_SECTION_TEST_LOCK_H_

#include <windows.h>

#include "base/scoped_handle.h"
#include "install/delayed_params.h"

namespace ostrel::testing {

inline constexpr wchar_t kSharedSectionTestLockName[] = L"Local\\TarvikSharedSectionTestLock";

class ScopedSharedSectionTestLock {
 public:
  ScopedSharedSectionTestLock() : mutex_(::CreateMutexW(nullptr, FALSE, kSharedSectionTestLockName)) {
    // An abandoned lock (a test process that crashed) is taken over.
    DWORD wait = mutex_.IsValid() ? ::WaitForSingleObject(mutex_.Get(), 120000) : WAIT_FAILED;
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    WriteDelayedParams(DelayedParams());
    SetSharedFailureKind(0);
  }
  ScopedSharedSectionTestLock(const ScopedSharedSectionTestLock&) = delete;
  ScopedSharedSectionTestLock& operator=(const ScopedSharedSectionTestLock&) = delete;
  ~ScopedSharedSectionTestLock() {
    if (owned_) ::ReleaseMutex(mutex_.Get());
  }

  bool owned() const { return owned_; }

 private:
  ScopedKernelHandle mutex_;
  bool owned_ = false;
};

}  // namespace ostrel::testing

#endif  // TESTING_SHARED_SECTION_TEST_LOCK_H_
