// Extraction of files from a cabinet held in memory, through the system's
// cabinet library (FDI). Packages are tiny, so nothing touches the disk.
#ifndef CONFIG_CABINET_EXTRACTOR_H_
#define CONFIG_CABINET_EXTRACTOR_H_

#include <cstddef>
#include <map>
#include <string>

namespace ostrel {

// File name in the cabinet -> content, ordered by name.
using CabinetFiles = std::map<std::string, std::string>;

// Extracts the file `wanted_name` (every file when empty) from the cabinet
// `data`/`size` into `files`, which is cleared first. Returns the result of
// the library's copy: false for a missing library, a corrupt, truncated or
// multi-volume cabinet. `files` keeps whatever files were completed even
// when the copy failed part way.
bool ExtractFilesFromCabinet(const void* data, size_t size, CabinetFiles* files,
                             const std::string& wanted_name = std::string());

}  // namespace ostrel

#endif  // CONFIG_CABINET_EXTRACTOR_H_
