// The elevated copy of the installer that runs setup for a per-machine
// installation. The window starts it and hands it to the Installer; the
// Installer lets it run setup once the archive is verified.
#ifndef INSTALL_ELEVATED_PROCESS_H_
#define INSTALL_ELEVATED_PROCESS_H_

#include <windows.h>

#include <memory>

#include "base/scoped_handle.h"

namespace ostrel {

// The hand-over events, created by the first copy before it starts the
// elevated copy, which opens them: the go-ahead (setup may run now, the
// delayed parameters are in place) and the cancel (the first copy gave up
// before the go-ahead). Auto-reset: each signal releases one wait.
inline constexpr char kElevatedGoAheadEventName[] = "0c0f0f0d-6434-4cfd-a5e9-23e9ca4d94b6";
inline constexpr char kElevatedCancelEventName[] = "fef32d6d-67e9-4654-b314-6c72098ff5d1";

// How long the first copy lets a copy that already had the go-ahead finish
// before it ends it by force.
inline constexpr DWORD kElevatedFinishWaitMs = 30000;
// Exit code of an elevated copy that did not run setup successfully; a copy
// ended by force gets it too.
inline constexpr int kElevatedCopyFailedExitCode = -1;

// The invisible, topmost owner of the elevation prompt, centred on its
// monitor so the prompt comes up in front. Null when it cannot be created.
HWND CreateElevationPromptOwner();
// Destroys the owner window, also from a thread other than its own (the
// install thread ends the copy; the window's thread made the owner).
void DestroyElevationPromptOwner(HWND window);

struct ElevationPromptOwnerTraits {
  using Handle = HWND;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) {
    DestroyElevationPromptOwner(h);
    return true;
  }
};
using ScopedElevationPromptOwner = ScopedGeneric<ElevationPromptOwnerTraits>;

class ElevatedProcess {
 public:
  // Cancels the copy when it has not run setup yet, else lets it finish.
  virtual ~ElevatedProcess() = default;

  // Gives the copy the go-ahead (the delayed parameters are written) and
  // waits until it ends or `stop_event` is signalled. True when setup ran
  // successfully there; a failure kind of setup is left in the Shared section.
  virtual bool RunModule(HANDLE stop_event) = 0;
};

// The elevated copy as a real process.
class ElevatedCopy final : public ElevatedProcess {
 public:
  // Creates both hand-over events. Null when either cannot be created or
  // already exists: another program made it and could signal it, so the
  // installer does not elevate (logged).
  static std::unique_ptr<ElevatedCopy> Create(DWORD finish_wait_ms = kElevatedFinishWaitMs);

  ElevatedCopy(const ElevatedCopy&) = delete;
  ElevatedCopy& operator=(const ElevatedCopy&) = delete;
  // Before the go-ahead: sets the cancel event (the copy then exits -1).
  // Then waits for the copy (at most the finish wait, then ends it by force)
  // and closes everything.
  ~ElevatedCopy() override;

  // Takes ownership of the copy's process and of the invisible window that
  // owned its elevation prompt.
  void Attach(HANDLE process, HWND owner_window);

  bool RunModule(HANDLE stop_event) override;

  HANDLE process() const { return process_.Get(); }
  HWND owner_window() const { return owner_window_.Get(); }
  bool started() const { return started_; }
  bool terminated() const { return terminated_; }
  // The copy's exit code once RunModule saw it end; all bits set before.
  DWORD exit_code() const { return exit_code_; }

 private:
  ElevatedCopy(ScopedKernelHandle go_ahead_event, ScopedKernelHandle cancel_event, DWORD finish_wait_ms);

  void EnsureProcessFinished();
  void CloseAll();

  ScopedKernelHandle process_;
  ScopedElevationPromptOwner owner_window_;
  ScopedKernelHandle go_ahead_event_;
  ScopedKernelHandle cancel_event_;
  bool started_ = false;
  bool terminated_ = false;
  DWORD exit_code_ = 0xFFFFFFFF;
  DWORD finish_wait_ms_;
};


}  // namespace ostrel

#endif  // INSTALL_ELEVATED_PROCESS_H_
