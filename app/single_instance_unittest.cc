#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "base/file_util.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// The section header named `name` in the PE file `path`.
bool ReadSectionHeader(const std::wstring& path, const char* name, IMAGE_SECTION_HEADER* header,
                       std::string* file) {
  if (!ReadFileToBytes(path, file) || file->size() < sizeof(IMAGE_DOS_HEADER)) return false;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file->data());
  size_t nt_offset = static_cast<size_t>(dos->e_lfanew);
  if (nt_offset + sizeof(IMAGE_NT_HEADERS) > file->size()) return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(file->data() + nt_offset);
  size_t sections = nt_offset + offsetof(IMAGE_NT_HEADERS, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    size_t offset = sections + i * sizeof(IMAGE_SECTION_HEADER);
    if (offset + sizeof(IMAGE_SECTION_HEADER) > file->size()) return false;
    std::memcpy(header, file->data() + offset, sizeof(*header));
    if (std::strncmp(reinterpret_cast<const char*>(header->Name), name, IMAGE_SIZEOF_SHORT_NAME) == 0) return true;
  }
  return false;
}

TEST(MasterProcessIdSectionTest, InstallerHasASharedInitialisedSection) {
  IMAGE_SECTION_HEADER header;
  std::string file;
  ASSERT_TRUE(ReadSectionHeader(testing::InstallerExecutablePath(), kMasterProcessIdSectionName, &header, &file));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.Name), 6), "SHARED");
  constexpr DWORD kFlags = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE |
                           IMAGE_SCN_MEM_SHARED;
  EXPECT_EQ(header.Characteristics & kFlags, kFlags) << std::hex << header.Characteristics;
  EXPECT_FALSE(header.Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE));
  // The process id starts as 0 in the file.
  ASSERT_GE(header.SizeOfRawData, sizeof(uint32_t));
  ASSERT_LE(header.PointerToRawData + sizeof(uint32_t), file.size());
  uint32_t initial = 1;
  std::memcpy(&initial, file.data() + header.PointerToRawData, sizeof(initial));
  EXPECT_EQ(initial, 0u);
}

class SingleInstanceLockTest : public ::testing::Test {
 protected:
  // Whether another thread (so not the owner, for whom a mutex is recursive)
  // acquires the lock.
  bool AcquiredOnOtherThread() {
    bool acquired = false;
    std::thread([&] { acquired = SingleInstanceLock(name_.c_str()).acquired(); }).join();
    return acquired;
  }

  std::wstring name_ = L"Local\\TarvikFrameTestLock-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                       std::to_wstring(::GetTickCount());
  // Keeps the named mutex alive between the locks of a test.
  ScopedKernelHandle keep_alive_{::CreateMutexW(nullptr, FALSE, name_.c_str())};
};

TEST_F(SingleInstanceLockTest, OneHolderAtATime) {
  {
    SingleInstanceLock first(name_.c_str());
    EXPECT_TRUE(first.acquired());
    EXPECT_FALSE(AcquiredOnOtherThread());
  }
  EXPECT_TRUE(AcquiredOnOtherThread());
}

TEST_F(SingleInstanceLockTest, AnAbandonedLockCountsAsHeldOnceThenIsFree) {
  std::thread([&] {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name_.c_str());
    ::WaitForSingleObject(mutex, 0);
    ::CloseHandle(mutex);  // the thread ends owning it
  }).join();
  {
    SingleInstanceLock after_crash(name_.c_str());
    EXPECT_FALSE(after_crash.acquired());
  }
  // Giving the abandoned mutex back leaves it free for the next instance.
  EXPECT_TRUE(AcquiredOnOtherThread());
}

TEST(BringProcessWindowToTopTest, ProcessIdZeroIsNotSearched) {
  testing::ScopedLogCapture log;
  BringProcessWindowToTop(0);
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log.records()[0].function, "BringProcessWindowToTop");
  EXPECT_EQ(log.texts()[0].rfind("Failed to bring process window to top: wrong process id - ", 0), 0u);
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

// A pop-up of this process; `owner` makes it an owned window, which lies
// above its owner.
HWND MakePopup(HWND owner) {
  HWND window = ::CreateWindowExW(0, L"Static", L"bring-to-top", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, owner,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

TEST(BringProcessWindowToTopTest, TheUnownedWindowRisesNotTheOneItOwns) {
  HWND main_window = MakePopup(nullptr);
  HWND shadow = MakePopup(main_window);
  HWND other = MakePopup(nullptr);  // then the foreground
  ::SetForegroundWindow(other);
  ::BringWindowToTop(shadow);
  BringProcessWindowToTop(::GetCurrentProcessId());
  HWND foreground = ::GetForegroundWindow();
  EXPECT_NE(foreground, shadow);
  EXPECT_TRUE(foreground == main_window || foreground == other) << foreground;
  for (HWND window : {shadow, main_window, other}) ::DestroyWindow(window);
}

}  // namespace
}  // namespace ostrel
