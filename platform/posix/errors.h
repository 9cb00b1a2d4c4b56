// How the emulated Windows host turns POSIX failures into Windows error codes.
//
// Windows tells a missing file (2) from a missing folder on the way to it (3);
// errno says ENOENT for both, so path errors look at the parent folder.
#ifndef HV_PLATFORM_POSIX_ERRORS_H
#define HV_PLATFORM_POSIX_ERRORS_H

#include <cstdint>
#include <string>

namespace hv::posix {

// Windows error code for `err` (an errno value) from an operation on `path`.
int32_t WindowsErrorFromErrno(int err, const std::string& path);
// Same, for failures that do not concern a path.
int32_t WindowsErrorFromErrno(int err);
// True when the folder that would hold `path` exists.
bool ParentFolderExists(const std::string& path);
// The folder part of `path` ("." when it has none, "/" for the root).
std::string ParentFolder(const std::string& path);

}  // namespace hv::posix

#endif  // HV_PLATFORM_POSIX_ERRORS_H
