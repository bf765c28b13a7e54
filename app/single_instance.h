// One installation at a time: the single-instance mutex, the first
// instance's ("master's") process id in the image section `SHARED` that every
// process started from the same executable file sees, and bringing the
// master's window to the top when a second instance starts.
#ifndef APP_SINGLE_INSTANCE_H_
#define APP_SINGLE_INSTANCE_H_

#include <windows.h>

#include <cstdint>

#include "base/scoped_handle.h"

namespace ostrel {

inline constexpr wchar_t kSingleInstanceMutexName[] =
    L"Local\\TarvikBrowserLiteInstallerMutex-E523E369-4A72-4B13-AD57-5B956174172A";

// Name of the image section that holds the master process id (and nothing
// else: tests and helpers find the value at the start of the section).
inline constexpr char kMasterProcessIdSectionName[] = "SHARED";

// Exit code of a second instance.
inline constexpr int kAnotherInstanceExitCode = 600;

uint32_t ReadMasterProcessId();
void WriteMasterProcessId(uint32_t process_id);

// The single-instance mutex, taken with a zero wait. Only WAIT_OBJECT_0
// counts as acquired: a failed creation or an abandoned mutex counts as held
// by another instance. Released (if owned) and closed on destruction.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const wchar_t* name = kSingleInstanceMutexName);
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
  ~SingleInstanceLock();

  bool acquired() const { return acquired_; }

 private:
  ScopedKernelHandle mutex_;
  bool acquired_ = false;
  bool owned_ = false;
};

// Brings the first top-level window of `process_id` to the foreground.
void BringProcessWindowToTop(uint32_t process_id);

}  // namespace ostrel

#endif  // APP_SINGLE_INSTANCE_H_
