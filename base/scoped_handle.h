// Scoped owners for Windows handles: one owner per object, closed on
// destruction. Each handle kind has its own type so that an invalid value of
// one kind (null for kernel objects, INVALID_HANDLE_VALUE for files) is never
// mistaken for the other.
#ifndef BASE_SCOPED_HANDLE_H_
#define BASE_SCOPED_HANDLE_H_

#include <windows.h>

#include <utility>

namespace ostrel {

template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() : handle_(Traits::InvalidValue()) {}
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ~ScopedGeneric() { Close(); }

  bool IsValid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return handle_; }

  // Takes ownership of `handle`, closing the one held. The last-error value
  // survives, so callers may still report why `handle` is invalid.
  void Reset(Handle handle = Traits::InvalidValue()) {
    if (handle == handle_) return;
    DWORD saved_error = ::GetLastError();
    Close();
    handle_ = handle;
    ::SetLastError(saved_error);
  }

  Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::InvalidValue();
    return handle;
  }

  // Closes now; false when closing failed.
  bool Close() {
    bool ok = true;
    if (Traits::IsValid(handle_)) ok = Traits::Close(handle_);
    handle_ = Traits::InvalidValue();
    return ok;
  }

 private:
  Handle handle_;
};

// Called by an owner whose close failed: an invalid handle there means it
// was closed before (or never open), and by then its number may name another
// object, whose close went wrong too. Logged as an error with `kind`; the
// log's own handles are not reported again.
void NoteFailedClose(const char* kind);

// Events, mutexes, processes, threads, mappings, tokens: null means none.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(Handle h) {
    if (::CloseHandle(h)) return true;
    NoteFailedClose("kernel");
    return false;
  }
};
using ScopedKernelHandle = ScopedGeneric<KernelHandleTraits>;

// Files opened with CreateFileW: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle InvalidValue() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static bool Close(Handle h) {
    if (::CloseHandle(h)) return true;
    NoteFailedClose("file");
    return false;
  }
};
using ScopedFileHandle = ScopedGeneric<FileHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle InvalidValue() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static bool Close(Handle h) { return ::FindClose(h) != FALSE; }
};
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::RegCloseKey(h) == ERROR_SUCCESS; }
};
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::FreeLibrary(h) != FALSE; }
};
using ScopedLibrary = ScopedGeneric<LibraryTraits>;

struct MappedViewTraits {
  using Handle = const void*;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::UnmapViewOfFile(h) != FALSE; }
};
using ScopedMappedView = ScopedGeneric<MappedViewTraits>;

struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::LocalFree(h) == nullptr; }
};
using ScopedLocalMemory = ScopedGeneric<LocalMemoryTraits>;

// Memory a system call allocated with GlobalAlloc for the caller to free
// (WinHTTP's proxy strings).
struct GlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::GlobalFree(h) == nullptr; }
};
using ScopedGlobalMemory = ScopedGeneric<GlobalMemoryTraits>;

struct WindowTraits {
  using Handle = HWND;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::DestroyWindow(h) != FALSE; }
};
using ScopedWindow = ScopedGeneric<WindowTraits>;

struct WindowsHookTraits {
  using Handle = HHOOK;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::UnhookWindowsHookEx(h) != FALSE; }
};
using ScopedWindowsHook = ScopedGeneric<WindowsHookTraits>;

template <typename GdiObject>
struct GdiObjectTraits {
  using Handle = GdiObject;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::DeleteObject(h) != FALSE; }
};
template <typename GdiObject>
using ScopedGdiObject = ScopedGeneric<GdiObjectTraits<GdiObject>>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedRegion = ScopedGdiObject<HRGN>;

// Holds a mutex acquired by a wait and releases it.
class ScopedMutexRelease {
 public:
  explicit ScopedMutexRelease(HANDLE mutex) : mutex_(mutex) {}
  ScopedMutexRelease(const ScopedMutexRelease&) = delete;
  ScopedMutexRelease& operator=(const ScopedMutexRelease&) = delete;
  ~ScopedMutexRelease() {
    if (mutex_) ::ReleaseMutex(mutex_);
  }

 private:
  HANDLE mutex_;
};

// COM interface pointer; released on destruction.
template <typename Interface>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  explicit ScopedComPtr(Interface* pointer) : pointer_(pointer) {}
  ScopedComPtr(ScopedComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ScopedComPtr& operator=(ScopedComPtr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.pointer_, nullptr));
    return *this;
  }
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
  ~ScopedComPtr() { Reset(); }

  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void Reset(Interface* pointer = nullptr) {
    if (pointer_) pointer_->Release();
    pointer_ = pointer;
  }
  // For out-parameters of creation functions.
  Interface** Receive() {
    Reset();
    return &pointer_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace ostrel

#endif  // BASE_SCOPED_HANDLE_H_
