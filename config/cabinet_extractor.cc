#include "config/cabinet_extractor.h"

#include <windows.h>
#include <fdi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

#include "base/string_number_conversions.h"

namespace ostrel {
namespace {

// Handles given to FDI are pointers to one of two small records that start
// with their kind, so a callback can tell the package reader from the
// output of the file being extracted.
enum class HandleKind : uint32_t { kSource = 0x53524331, kOutput = 0x4f555431 };

struct ExtractionContext;

struct SourceHandle {
  HandleKind kind = HandleKind::kSource;
  ExtractionContext* context = nullptr;
  size_t position = 0;
};

struct OutputHandle {
  HandleKind kind = HandleKind::kOutput;
  ExtractionContext* context = nullptr;
};

// A cabinet's entry may announce any size up to 4 GiB; the buffer grows as
// bytes really arrive, so only a small reservation is trusted.
constexpr size_t kMaxReservation = 1 << 20;
// Packages are a few kilobytes; a file that inflates past this is refused
// rather than allowed to exhaust memory.
constexpr size_t kMaxFileBytes = 32u << 20;

struct ExtractionContext {
  const unsigned char* data = nullptr;
  size_t size = 0;
  std::string wanted_name;
  std::string output;
  size_t announced_size = 0;
  CabinetFiles* files = nullptr;
  OutputHandle output_handle;
  unsigned id = 0;
};

// The open callback receives a name, not a pointer: FDI is handed the
// decimal id of a live context and only ids registered here resolve, so no
// name from cabinet data can be turned into a pointer.
class ContextRegistry {
 public:
  unsigned Add(ExtractionContext* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned id = ++last_id_;
    if (id == 0) id = ++last_id_;
    contexts_[id] = context;
    return id;
  }
  void Remove(unsigned id) {
    std::lock_guard<std::mutex> lock(mutex_);
    contexts_.erase(id);
  }
  ExtractionContext* Find(unsigned id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = contexts_.find(id);
    return found == contexts_.end() ? nullptr : found->second;
  }

 private:
  std::mutex mutex_;
  unsigned last_id_ = 0;
  std::map<unsigned, ExtractionContext*> contexts_;
};

ContextRegistry& Registry() {
  static ContextRegistry* registry = new ContextRegistry();
  return *registry;
}

class ScopedContextRegistration {
 public:
  explicit ScopedContextRegistration(ExtractionContext* context) : id_(Registry().Add(context)) {
    context->id = id_;
  }
  ScopedContextRegistration(const ScopedContextRegistration&) = delete;
  ScopedContextRegistration& operator=(const ScopedContextRegistration&) = delete;
  ~ScopedContextRegistration() { Registry().Remove(id_); }

 private:
  unsigned id_;
};

bool ParseDecimal(const char* text, unsigned* value) {
  uint32_t result = 0;
  if (!text || !StringToUint32(text, &result)) return false;
  *value = result;
  return true;
}

SourceHandle* AsSource(INT_PTR handle) {
  auto* source = reinterpret_cast<SourceHandle*>(handle);
  return source && source->kind == HandleKind::kSource ? source : nullptr;
}

OutputHandle* AsOutput(INT_PTR handle) {
  auto* output = reinterpret_cast<OutputHandle*>(handle);
  return output && output->kind == HandleKind::kOutput ? output : nullptr;
}

void* DIAMONDAPI Allocate(ULONG size) { return ::HeapAlloc(::GetProcessHeap(), 0, size); }

void DIAMONDAPI Free(void* memory) { ::HeapFree(::GetProcessHeap(), 0, memory); }

INT_PTR DIAMONDAPI Open(char* name, int, int) {
  unsigned id = 0;
  ExtractionContext* context = ParseDecimal(name, &id) ? Registry().Find(id) : nullptr;
  if (!context) return -1;
  auto* source = new SourceHandle();
  source->context = context;
  return reinterpret_cast<INT_PTR>(source);
}

UINT DIAMONDAPI Read(INT_PTR handle, void* buffer, UINT count) {
  SourceHandle* source = AsSource(handle);
  if (!source) return static_cast<UINT>(-1);
  const ExtractionContext& context = *source->context;
  size_t available = context.size - std::min(source->position, context.size);
  size_t copied = std::min<size_t>(count, available);
  if (copied) std::memcpy(buffer, context.data + source->position, copied);
  source->position += copied;
  return static_cast<UINT>(copied);
}

UINT DIAMONDAPI Write(INT_PTR handle, void* data, UINT count) {
  OutputHandle* output = AsOutput(handle);
  if (!output) return static_cast<UINT>(-1);
  std::string& buffer = output->context->output;
  if (count > kMaxFileBytes - std::min(buffer.size(), kMaxFileBytes)) return static_cast<UINT>(-1);
  buffer.append(static_cast<const char*>(data), count);
  return count;
}

int DIAMONDAPI Close(INT_PTR handle) {
  delete AsSource(handle);
  return 0;
}

__LONG32 DIAMONDAPI Seek(INT_PTR handle, __LONG32 offset, int origin) {
  SourceHandle* source = AsSource(handle);
  if (!source) return -1;
  // 0 is from the start, 1 from the position, 2 from the end; anything else
  // counts as from the start.
  int64_t base = 0;
  if (origin == 1) base = static_cast<int64_t>(source->position);
  if (origin == 2) base = static_cast<int64_t>(source->context->size);
  int64_t target = base + offset;
  if (target < 0 || target > static_cast<int64_t>(source->context->size)) return -1;
  source->position = static_cast<size_t>(target);
  return static_cast<__LONG32>(target);
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  auto* context = static_cast<ExtractionContext*>(notification->pv);
  switch (type) {
    case fdintCABINET_INFO:
    case fdintENUMERATE:
      return 0;
    case fdintCOPY_FILE:
      if (!notification->psz1) return -1;
      if (!context->wanted_name.empty() && context->wanted_name != notification->psz1) return 0;
      context->output.clear();
      context->announced_size = notification->cb;
      context->output.reserve(std::min<size_t>(notification->cb, kMaxReservation));
      return reinterpret_cast<INT_PTR>(&context->output_handle);
    case fdintCLOSE_FILE_INFO:
      // Some cabinet libraries close a file whose data ran out early; only
      // a file that arrived whole counts as extracted.
      if (!notification->psz1 || context->output.size() != context->announced_size) return -1;
      (*context->files)[notification->psz1] = std::move(context->output);
      context->output.clear();
      return 1;
    default:
      // A file continued from or into another volume: multi-volume
      // packages are not supported, so the copy stops here.
      return -1;
  }
}

// Loaded once and kept for the life of the process.
HMODULE CabinetLibrary() {
  static std::mutex mutex;
  static HMODULE library = nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (library) return library;
  static constexpr const wchar_t* kCandidates[] = {
      L"%WINDIR%\\system32\\cabinet.dll",
      L"%SYSTEMROOT%\\system32\\cabinet.dll",
      L"C:\\Windows\\system32\\cabinet.dll",
  };
  for (const wchar_t* candidate : kCandidates) {
    wchar_t path[MAX_PATH];
    DWORD length = ::ExpandEnvironmentStringsW(candidate, path, MAX_PATH);
    if (length == 0 || length > MAX_PATH) continue;
    library = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library) break;
  }
  return library;
}

template <typename Function>
Function Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

using FdiCreateFunction = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int,
                                            PERF);
using FdiDestroyFunction = BOOL(DIAMONDAPI*)(HFDI);
using FdiCopyFunction = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);

uint32_t ReadLe16(const unsigned char* at) { return at[0] | at[1] << 8; }
uint32_t ReadLe32(const unsigned char* at) { return ReadLe16(at) | ReadLe16(at + 2) << 16; }

// Checks what not every cabinet library checks before trusting it. The
// header's own size field: a block shorter than the cabinet it announces is
// truncated. The file table: each entry must lie inside the block and name
// one of the cabinet's folders (or a continuation across volumes, which the
// copy refuses later); a library that follows an index past its folder list
// reads through a null pointer.
bool IsWholeCabinet(const unsigned char* data, size_t size) {
  constexpr size_t kHeaderSize = 36;
  constexpr size_t kFileEntrySize = 16;
  constexpr uint32_t kFirstContinuationIndex = 0xfffd;
  if (!data || size < kHeaderSize || std::memcmp(data, "MSCF", 4) != 0) return false;
  if (ReadLe32(data + 8) > size) return false;
  const uint32_t folders = ReadLe16(data + 26);
  const uint32_t file_count = ReadLe16(data + 28);
  size_t position = ReadLe32(data + 16);
  for (uint32_t i = 0; i < file_count; ++i) {
    if (position > size || size - position < kFileEntrySize) return false;
    const uint32_t folder = ReadLe16(data + position + 8);
    if (folder < kFirstContinuationIndex && folder >= folders) return false;
    const void* name_end = std::memchr(data + position + kFileEntrySize, '\0', size - position - kFileEntrySize);
    if (!name_end) return false;
    position = static_cast<size_t>(static_cast<const unsigned char*>(name_end) - data) + 1;
  }
  return true;
}

}  // namespace

bool ExtractFilesFromCabinet(const void* data, size_t size, CabinetFiles* files, const std::string& wanted_name) {
  files->clear();
  HMODULE library = CabinetLibrary();
  if (!library) return false;
  auto fdi_create = Resolve<FdiCreateFunction>(library, "FDICreate");
  auto fdi_destroy = Resolve<FdiDestroyFunction>(library, "FDIDestroy");
  auto fdi_copy = Resolve<FdiCopyFunction>(library, "FDICopy");
  if (!fdi_create || !fdi_destroy || !fdi_copy) return false;
  // Offsets inside a cabinet are 32-bit; a larger block cannot be one.
  if (size > static_cast<size_t>(INT32_MAX)) return false;
  if (!IsWholeCabinet(static_cast<const unsigned char*>(data), size)) return false;

  ExtractionContext context;
  context.data = static_cast<const unsigned char*>(data);
  context.size = data ? size : 0;
  context.wanted_name = wanted_name;
  context.files = files;
  context.output_handle.context = &context;
  ScopedContextRegistration registration(&context);

  ERF error = {};
  HFDI fdi = fdi_create(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &error);
  if (!fdi) return false;
  std::string cabinet_name = std::to_string(context.id);
  char cabinet_path[1] = {'\0'};
  BOOL copied = fdi_copy(fdi, cabinet_name.data(), cabinet_path, 0, Notify, nullptr, &context);
  fdi_destroy(fdi);
  return copied != FALSE;
}

}  // namespace ostrel
