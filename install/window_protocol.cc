#include "install/window_protocol.h"

namespace ostrel {

WindowMessages WindowMessages::Register() {
  WindowMessages messages;
  messages.set_install_progress = ::RegisterWindowMessageW(kSetInstallProgressMessageName);
  messages.set_import_progress = ::RegisterWindowMessageW(kSetImportProgressMessageName);
  messages.close_window = ::RegisterWindowMessageW(kCloseWindowMessageName);
  messages.higher_version_exist = ::RegisterWindowMessageW(kHigherVersionExistMessageName);
  messages.move_window = ::RegisterWindowMessageW(kMoveWindowMessageName);
  messages.corp_user_higher_version_exist = ::RegisterWindowMessageW(kCorpUserHigherVersionExistMessageName);
  messages.corp_user_browser_exists = ::RegisterWindowMessageW(kCorpUserBrowserExistsMessageName);
  return messages;
}

}  // namespace ostrel
