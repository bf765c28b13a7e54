// The elevated copy of the installer that runs setup for a per-machine
// installation. The window starts it and hands it to the Installer; the
// Installer lets it run setup once the archive is verified.
#ifndef INSTALL_ELEVATED_PROCESS_H_
#define INSTALL_ELEVATED_PROCESS_H_

#include <windows.h>

namespace ostrel {

class ElevatedProcess {
 public:
  // Cancels the copy when it has not run setup yet, else lets it finish.
  virtual ~ElevatedProcess() = default;

  // Gives the copy the go-ahead (the delayed parameters are written) and
  // waits until it ends or `stop_event` is signalled. True when setup ran
  // successfully there; a failure kind of setup is left in the Shared section.
  virtual bool RunSetup(HANDLE stop_event) = 0;
};

}  // namespace ostrel

#endif  // INSTALL_ELEVATED_PROCESS_H_
