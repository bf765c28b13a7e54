#include "app/entry_point.h"

#include <memory>

#include "app/file_logger.h"
#include "base/logging.h"

namespace ostrel {

int InstallerMain(HINSTANCE) {
  SetFileLogger(std::make_unique<FileLogger>(GetLogFilePath(), kLogFileMaxSize));
  LOG_TAG(INFO, "wWinMain") << "-------------------------------------- Start install.";
  int exit_code = 0;
  LOG_TAG(INFO, "wWinMain") << "Installer exit with code: " << exit_code;
  return exit_code;
}

}  // namespace ostrel
