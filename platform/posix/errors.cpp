#include "platform/posix/errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"

namespace hv::posix {

std::string ParentFolder(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;  // "a/b/" names b, whose parent is a
  size_t cut = path.rfind('/', end - 1);
  if (end == 0 || cut == std::string::npos) return ".";
  while (cut > 0 && path[cut - 1] == '/') --cut;
  return cut == 0 ? "/" : path.substr(0, cut);
}

bool ParentFolderExists(const std::string& path) {
  struct stat st {};
  return stat(ParentFolder(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int32_t WindowsErrorFromErrno(int err, const std::string& path) {
  if (err == ENOENT) return ParentFolderExists(path) ? kErrorFileNotFound : kErrorPathNotFound;
  return WindowsErrorFromErrno(err);
}

int32_t WindowsErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EMFILE:
    case ENFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBADF:
      return kErrorInvalidHandle;
    case EBUSY:
    case ETXTBSY:
      return 32;  // ERROR_SHARING_VIOLATION
    case EEXIST:
      return 80;  // ERROR_FILE_EXISTS
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return 112;  // ERROR_DISK_FULL
    case ENOEXEC:
      return 193;  // ERROR_BAD_EXE_FORMAT
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    case E2BIG:
      return 206;
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

}  // namespace hv::posix
