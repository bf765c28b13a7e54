#include "base/scoped_handle.h"

#include "base/logging.h"

namespace ostrel {

void NoteFailedClose(const char* kind) {
  DWORD error = ::GetLastError();
  if (error != ERROR_INVALID_HANDLE) return;
  // The logger closes handles of its own while it writes this.
  thread_local bool reporting = false;
  if (reporting) return;
  reporting = true;
  LOG(ERROR) << "Closed a " << kind << " handle that was not open";
  reporting = false;
  ::SetLastError(error);
}

}  // namespace ostrel
