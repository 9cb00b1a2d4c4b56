// The emulated HKEY_LOCAL_MACHINE: a tree loaded from a regedit export file.
//
// Structure. A RegNode holds a key's name as written in the file (UTF-8), its
// values and its subkeys. Subkeys are kept in a map keyed by the ASCII-upper
// name, so lookups ignore case and enumeration follows the order Windows uses
// (names compared in upper case). Values are stored as Windows stores them:
// UTF-16LE bytes for the string types, raw bytes otherwise.
//
// Invariants. A tree is immutable once parsed and is shared through a
// shared_ptr: an open key holds the tree it was opened in, so a reload (which
// builds a new tree) never invalidates an open handle; the handle simply goes
// on seeing the registry as it was when the key was opened.
//
// RegistryStore decides when to (re)load: at every open it looks at
// HV_REGISTRY_FILE and at the file's identity (device, inode, size, change
// times); when anything differs, or when the file changed so recently that a
// same-size rewrite within one timestamp tick could go unnoticed, it reads the
// bytes again and reparses only when they differ from the last load.
#ifndef HV_PLATFORM_POSIX_REGISTRY_H
#define HV_PLATFORM_POSIX_REGISTRY_H

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hv::posix {

struct RegValue {
  std::string name;  // UTF-8; empty for the default value
  uint32_t type = 0;
  std::string data;  // bytes as Windows stores them
};

struct RegNode {
  std::string name;
  std::map<std::string, std::unique_ptr<RegNode>> children;  // keyed by AsciiUpper(name)
  std::vector<const RegNode*> ordered;                       // children in enumeration order
  std::vector<RegValue> values;

  const RegNode* FindChild(std::string_view childName) const;
  const RegValue* FindValue(std::string_view valueName) const;
};

struct RegProblem {
  size_t line = 0;  // 1-based line of the file where the problem starts
  std::string text;
};

struct RegParseResult {
  std::shared_ptr<const RegNode> root;  // never null; empty when nothing loaded
  std::vector<RegProblem> problems;
};

// Parses the bytes of a .reg file (encoding detected from the BOM or the
// content). A file without a valid header loads nothing; any other bad line
// is skipped and reported, and everything else loads.
RegParseResult ParseRegFile(std::string_view bytes);

// The registry's key path split at '\' (empty components dropped) and, for the
// 32-bit view, redirected below SOFTWARE\WOW6432Node.
std::vector<std::string> RegistryPathForView(std::string_view path, bool view64);

class RegistryStore {
 public:
  struct Snapshot {
    std::shared_ptr<const RegNode> root;
    bool writable = false;
  };
  // The current tree, reloaded first when the file or the variable changed.
  Snapshot Current();

 private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const Identity&) const = default;
  };
  void ResetTo(const std::string& path);

  std::mutex mutex_;
  std::string path_;
  bool loaded_ = false;
  Identity identity_;
  bool identityTrusted_ = false;
  std::string bytes_;
  std::shared_ptr<const RegNode> root_;
  bool reportedMissing_ = false;
  bool reportedUnreadable_ = false;
};

}  // namespace hv::posix

#endif  // HV_PLATFORM_POSIX_REGISTRY_H
