// Every switch name the installer reads or writes, in one place.
#ifndef BASE_SWITCHES_H_
#define BASE_SWITCHES_H_

#include <array>

namespace ostrel::switches {

// Read from the installer's own command line.
inline constexpr char kCheckTheInterface[] = "check-the-interface";
inline constexpr char kRunAsAdmin[] = "run-as-admin";
inline constexpr char kSpawnedInProtectedDir[] = "spawned_in_protected_dir";
inline constexpr char kParentInstallerProcessId[] = "parent-installer-process-id";
inline constexpr char kSetupCmdLine[] = "setup-cmd-line";
inline constexpr char kProgressWindow[] = "progress-window";
inline constexpr char kSilent[] = "silent";
inline constexpr char kSemiSilent[] = "semi-silent";
inline constexpr char kUacEnabled[] = "uac-enabled";
inline constexpr char kSystemLevel[] = "system-level";
inline constexpr char kProgramFilesInstallation[] = "program-files-installation";
inline constexpr char kBrandName[] = "brand-name";
inline constexpr char kDistrInfoParams[] = "distr-info-params";
inline constexpr char kMakeBrowserDefaultAfterImport[] = "make-browser-default-after-import";
inline constexpr char kSendStatistics[] = "send-statistics";
inline constexpr char kDisableQopin[] = "disableqopin";
inline constexpr char kQopinState[] = "qopin-state";
inline constexpr char kDoNotLaunchBrowser[] = "do-not-launch-browser";
inline constexpr char kDownloadX32[] = "download-x32";
inline constexpr char kDownloadX64[] = "download-x64";
inline constexpr char kDisableErrorDialogDownloadButton[] = "disable-error-dialog-download-button";
inline constexpr char kForceDeviceScaleFactor[] = "force-device-scale-factor";

// Written for setup or carried by the delayed parameters.
inline constexpr char kVerboseLogging[] = "verbose-logging";
inline constexpr char kDistrInfoFile[] = "distr-info-file";
inline constexpr char kOkButtonPressedTime[] = "ok-button-pressed-time";
inline constexpr char kInstallStartTimeNoUac[] = "install-start-time-no-uac";
inline constexpr char kTheInterfaceAvailability[] = "the-interface-availability";
inline constexpr char kAbtConfigResourceFile[] = "abt-config-resource-file";
inline constexpr char kInstallerData[] = "installerdata";
inline constexpr char kClidsFile[] = "clids-file";
inline constexpr char kTarvikWebsiteIconFile[] = "tarvik-website-icon-file";
inline constexpr char kBrandPackage[] = "brand-package";
inline constexpr char kPartnerPackage[] = "partner-package";
inline constexpr char kShowUacAtBrowserStart[] = "show-uac-at-browser-start";
inline constexpr char kUseTaskScheduler2[] = "use-task-scheduler2";
inline constexpr char kBrowserPresent[] = "browser-present";
inline constexpr char kInstallerBrandId[] = "installer-brand-id";
inline constexpr char kInstallerPartnerId[] = "installer-partner-id";
inline constexpr char kTestIds[] = "testids";
inline constexpr char kVariationsUpdatePath[] = "variations-update-path";
inline constexpr char kAbtUpdatePath[] = "abt-update-path";
inline constexpr char kWebntpPath[] = "webntp-path";
inline constexpr char kServerConfigBundlePath[] = "server-config-bundle-path";
inline constexpr char kPreloadedWallpaperBundlePath[] = "preloaded-wallpaper-bundle-path";
inline constexpr char kDisableUac[] = "disable-uac";
inline constexpr char kHistogramDownloadTime[] = "histogram-download-time";
inline constexpr char kSource[] = "source";

// With any of these present the installer never restarts itself elevated;
// tested in this order.
inline constexpr std::array<const char*, 17> kNonInstallSwitches = {
    "update-setup-exe",
    "show-eula",
    "configure-user-settings",
    "register-dev-basalt",
    "register-browser-browser",
    "rename-browser-exe",
    "on-os-upgrade",
    "fake-rename-tarvik-internet",
    "patch",
    "reenable-autoupdates",
    "simulate-crash",
    "delete-old-versions",
    "set-as-default-browser",
    "set-as-default-browser-dll",
    "pttw1",
    "pwattw1",
    "pttw0",
};

}  // namespace ostrel::switches

#endif  // BASE_SWITCHES_H_
