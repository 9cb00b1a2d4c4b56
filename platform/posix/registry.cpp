// Parsing of regedit export files and the registry operations of the
// emulated host. Format accepted (what regedit writes, plus a few leniencies
// documented in docs/platform.md):
//
//   Windows Registry Editor Version 5.00      (or REGEDIT4)
//   ; comment
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Key]          (HKLM also accepted)
//   "Name"="text with \\ and \" escapes"        REG_SZ
//   @="default value"
//   "Count"=dword:0000002a
//   "Data"=hex(7):61,00,00,00,00,00            any type number, continued
//   "Bin"=hex:01,02,\                            with a trailing '\'
//     03
//   "Gone"=-                                     deletes the value
//   [-HKEY_LOCAL_MACHINE\SOFTWARE\Old]           deletes the key and its subkeys
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/posix/posix_platform.h"
#include "platform/posix/text.h"

// The handle of an open key: the tree it was opened in keeps the node alive.
struct hv::RegKey {
  std::shared_ptr<const hv::posix::RegNode> root;
  const hv::posix::RegNode* node = nullptr;
};

namespace hv::posix {

namespace {

// KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE, WRITE_DAC,
// WRITE_OWNER, GENERIC_ALL and GENERIC_WRITE: an open asking for any of them
// needs write access to the hive (KEY_ALL_ACCESS includes several).
constexpr uint32_t kWriteAccessBits =
    0x0002 | 0x0004 | 0x0020 | 0x00010000 | 0x00040000 | 0x00080000 | 0x10000000 | 0x40000000;

// Windows' own limits; they also bound the parser's recursion.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxReportedProblems = 20;
// A file changed less than this long before it was read may be rewritten
// within the same timestamp tick with the same size; its content is compared
// again at the next open.
constexpr int64_t kRacyWindowNs = 2'000'000'000;

bool IsBlank(char32_t c) {
  return c == U' ' || c == U'\t';
}

std::u32string_view Trim(std::u32string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char32_t LowerAscii(char32_t c) {
  return (c >= U'A' && c <= U'Z') ? c + 32 : c;
}

bool StartsWithNoCase(std::u32string_view s, std::u32string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

int HexDigit(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
  return -1;
}

std::string Utf16LeOf(std::u32string_view text) {
  std::string out;
  out.reserve(text.size() * 2 + 2);
  for (char32_t c : text) AppendUtf16Le(&out, c);
  return out;
}

bool IsStringType(uint32_t type) {
  return type == 1 || type == 2 || type == 7;
}

// Splits the decoded file into physical lines (CR LF, LF or CR).
std::vector<std::u32string> SplitLines(const std::u32string& text) {
  std::vector<std::u32string> lines;
  std::u32string current;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c == U'\r' || c == U'\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

std::u32string DecodeFile(std::string_view bytes, std::vector<RegProblem>* problems) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) {
      problems->push_back({0, "UTF-16 text ends in half a character; the last byte is ignored"});
    }
    return DecodeUtf16Le(bytes);
  }
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
      static_cast<unsigned char>(bytes[1]) == 0xBB &&
      static_cast<unsigned char>(bytes[2]) == 0xBF) {
    return DecodeUtf8Lenient(bytes.substr(3));
  }
  // UTF-16LE without a byte-order mark: the header's first letter followed by 0.
  if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) return DecodeUtf16Le(bytes);
  return DecodeUtf8Lenient(bytes);
}

class RegParser {
 public:
  explicit RegParser(std::vector<std::u32string> lines) : lines_(std::move(lines)) {
    root_ = std::make_unique<RegNode>();
  }

  RegParseResult Run(std::vector<RegProblem> problems) {
    problems_ = std::move(problems);
    size_t index = 0;
    while (index < lines_.size() && Trim(lines_[index]).empty()) ++index;
    std::u32string_view header =
        index < lines_.size() ? Trim(lines_[index]) : std::u32string_view{};
    if (header == U"Windows Registry Editor Version 5.00") {
      version_ = 5;
    } else if (header == U"REGEDIT4") {
      version_ = 4;
    } else {
      Problem(index + 1,
              "not a registry file: the first line must be \"Windows Registry Editor Version "
              "5.00\" or \"REGEDIT4\"; nothing was loaded");
      return Finish(std::make_unique<RegNode>());
    }
    for (++index; index < lines_.size(); ++index) ParseLine(&index);
    return Finish(std::move(root_));
  }

 private:
  enum class Section { kNone, kKey, kSkipped };

  void Problem(size_t line, std::string text) { problems_.push_back({line, std::move(text)}); }

  static void Finalize(RegNode* node) {
    node->ordered.clear();
    for (auto& [folded, child] : node->children) {
      Finalize(child.get());
      node->ordered.push_back(child.get());
    }
  }

  RegParseResult Finish(std::unique_ptr<RegNode> root) {
    Finalize(root.get());
    RegParseResult result;
    result.root = std::shared_ptr<const RegNode>(std::move(root));
    result.problems = std::move(problems_);
    return result;
  }

  void ParseLine(size_t* index) {
    std::u32string_view line = Trim(lines_[*index]);
    size_t number = *index + 1;
    if (line.empty() || line.front() == U';' || line.front() == U'#') return;
    if (line.front() == U'[') {
      ParseSection(line, number);
      return;
    }
    if (line.front() == U'"' || line.front() == U'@') {
      ParseValue(line, index);
      return;
    }
    Problem(number, "unexpected text: \"" + ToUtf8(line) +
                        "\" (expected a [key] line, a \"name\"=value line or a comment)");
  }

  void ParseSection(std::u32string_view line, size_t number) {
    section_ = Section::kSkipped;
    current_ = nullptr;
    if (line.back() != U']') {
      Problem(number, "key line does not end with ']'");
      return;
    }
    std::u32string_view inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner.front() == U'-';
    if (remove) inner.remove_prefix(1);
    std::vector<std::string> parts;
    std::u32string part;
    for (char32_t c : inner) {
      if (c == U'\\') {
        if (!part.empty()) parts.push_back(ToUtf8(part));
        part.clear();
      } else {
        part.push_back(c);
      }
    }
    if (!part.empty()) parts.push_back(ToUtf8(part));
    if (parts.empty()) {
      Problem(number, "key line names no key");
      return;
    }
    std::string rootName = AsciiUpper(parts.front());
    if (rootName != "HKEY_LOCAL_MACHINE" && rootName != "HKLM") {
      static const char* const kOtherRoots[] = {"HKEY_CURRENT_USER",
                                                "HKEY_CLASSES_ROOT",
                                                "HKEY_USERS",
                                                "HKEY_CURRENT_CONFIG",
                                                "HKEY_PERFORMANCE_DATA",
                                                "HKEY_DYN_DATA",
                                                "HKCU",
                                                "HKCR",
                                                "HKU",
                                                "HKCC"};
      for (const char* other : kOtherRoots) {
        if (rootName == other) return;  // not emulated: its lines are skipped quietly
      }
      Problem(number, "unknown root key \"" + parts.front() + "\"");
      return;
    }
    parts.erase(parts.begin());
    if (parts.size() > kMaxKeyDepth) {
      Problem(number, "key path is nested deeper than 512 levels");
      return;
    }
    for (const auto& name : parts) {
      if (DecodeUtf8Lenient(name).size() > kMaxKeyNameLength) {
        Problem(number, "key name longer than 255 characters: \"" + name + "\"");
        return;
      }
    }
    if (remove) {
      if (parts.empty()) {
        Problem(number, "the root key cannot be deleted");
        return;
      }
      RegNode* parent = root_.get();
      for (size_t i = 0; i + 1 < parts.size() && parent != nullptr; ++i) {
        auto it = parent->children.find(AsciiUpper(parts[i]));
        parent = it == parent->children.end() ? nullptr : it->second.get();
      }
      if (parent != nullptr) parent->children.erase(AsciiUpper(parts.back()));
      return;
    }
    RegNode* node = root_.get();
    for (const auto& name : parts) {
      auto& slot = node->children[AsciiUpper(name)];
      if (!slot) {
        slot = std::make_unique<RegNode>();
        slot->name = name;
      }
      node = slot.get();
    }
    current_ = node;
    section_ = Section::kKey;
  }

  // Reads a double-quoted text starting at line[*pos] == '"'; \\ and \" are
  // escapes, any other backslash is kept as written.
  static bool ReadQuoted(std::u32string_view line, size_t* pos, std::u32string* out) {
    size_t i = *pos + 1;
    while (i < line.size()) {
      char32_t c = line[i];
      if (c == U'\\' && i + 1 < line.size() && (line[i + 1] == U'\\' || line[i + 1] == U'"')) {
        out->push_back(line[i + 1]);
        i += 2;
        continue;
      }
      if (c == U'"') {
        *pos = i + 1;
        return true;
      }
      out->push_back(c);
      ++i;
    }
    return false;
  }

  static bool RestIsEmpty(std::u32string_view line, size_t pos) {
    std::u32string_view rest = Trim(line.substr(std::min(pos, line.size())));
    return rest.empty() || rest.front() == U';';
  }

  void ParseValue(std::u32string_view line, size_t* index) {
    size_t number = *index + 1;
    std::u32string name;
    size_t pos = 0;
    if (line.front() == U'@') {
      pos = 1;
    } else if (!ReadQuoted(line, &pos, &name)) {
      Problem(number, "value name has no closing '\"'");
      return;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != U'=') {
      Problem(number, "expected '=' after the value name");
      return;
    }
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    std::u32string_view data = line.substr(pos);

    RegValue value;
    value.name = ToUtf8(name);
    bool remove = false;
    if (!data.empty() && data.front() == U'"') {
      std::u32string text;
      size_t end = 0;
      if (!ReadQuoted(data, &end, &text)) {
        Problem(number, "string value has no closing '\"'");
        return;
      }
      if (!RestIsEmpty(data, end)) {
        Problem(number, "unexpected text after the closing '\"'");
        return;
      }
      value.type = 1;
      value.data = Utf16LeOf(text);
      value.data.append(2, '\0');
    } else if (!data.empty() && data.front() == U'-') {
      if (!RestIsEmpty(data, 1)) {
        Problem(number, "unexpected text after '-'");
        return;
      }
      remove = true;
    } else if (StartsWithNoCase(data, U"dword:")) {
      size_t i = 6;
      uint32_t v = 0;
      size_t digits = 0;
      for (; i < data.size() && HexDigit(data[i]) >= 0; ++i, ++digits) {
        v = (v << 4) | static_cast<uint32_t>(HexDigit(data[i]));
      }
      if (digits == 0 || digits > 8 || !RestIsEmpty(data, i)) {
        Problem(number, "dword value must be 1 to 8 hexadecimal digits");
        return;
      }
      value.type = 4;
      for (int k = 0; k < 4; ++k) value.data.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    } else if (StartsWithNoCase(data, U"hex")) {
      size_t i = 3;
      uint32_t type = 3;
      if (i < data.size() && data[i] == U'(') {
        ++i;
        uint32_t t = 0;
        size_t digits = 0;
        for (; i < data.size() && HexDigit(data[i]) >= 0; ++i, ++digits) {
          t = (t << 4) | static_cast<uint32_t>(HexDigit(data[i]));
        }
        if (digits == 0 || digits > 8 || i >= data.size() || data[i] != U')') {
          Problem(number, "hex(N) needs a type number of 1 to 8 hexadecimal digits");
          return;
        }
        ++i;
        type = t;
      }
      if (i >= data.size() || data[i] != U':') {
        Problem(number, "expected ':' after hex");
        return;
      }
      ++i;
      std::string bytes;
      if (!ReadHexBytes(data.substr(i), index, &bytes)) return;
      value.type = type;
      // regedit 4 writes the string types in the ANSI code page; Windows keeps
      // them as UTF-16.
      if (version_ == 4 && IsStringType(type)) {
        value.data = Utf16LeOf(DecodeUtf8Lenient(bytes));
      } else {
        value.data = std::move(bytes);
      }
    } else {
      Problem(number, "unknown value form (expected \"text\", dword:, hex: or hex(N):)");
      return;
    }

    if (section_ == Section::kSkipped) return;
    if (section_ == Section::kNone || current_ == nullptr) {
      Problem(number, "value before any [key] line");
      return;
    }
    auto& values = current_->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (EqualsNoCase(it->name, value.name)) {
        if (remove) {
          values.erase(it);
        } else {
          it->type = value.type;
          it->data = std::move(value.data);
        }
        return;
      }
    }
    if (!remove) values.push_back(std::move(value));
  }

  // Comma-separated bytes of two hexadecimal digits; a '\' at the end of a
  // line continues the list on the next line.
  bool ReadHexBytes(std::u32string_view text, size_t* index, std::string* out) {
    size_t number = *index + 1;
    std::u32string_view rest = text;
    for (;;) {
      while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
      if (rest.empty() || rest.front() == U';') return true;
      if (rest.front() == U'\\' && Trim(rest.substr(1)).empty()) {
        if (*index + 1 >= lines_.size()) {
          Problem(number, "line continues past the end of the file");
          return false;
        }
        ++*index;
        rest = lines_[*index];
        continue;
      }
      int high = HexDigit(rest.front());
      if (high < 0) {
        Problem(number, "bad byte in hex data: \"" + ToUtf8(rest.substr(0, 8)) + "\"");
        return false;
      }
      rest.remove_prefix(1);
      int byte = high;
      if (!rest.empty() && HexDigit(rest.front()) >= 0) {
        byte = high * 16 + HexDigit(rest.front());
        rest.remove_prefix(1);
      }
      out->push_back(static_cast<char>(byte));
      while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
      if (rest.empty() || rest.front() == U';') return true;
      if (rest.front() == U',') {
        rest.remove_prefix(1);
        continue;
      }
      if (rest.front() == U'\\' && Trim(rest.substr(1)).empty()) continue;
      Problem(number, "bytes in hex data must be separated by ','");
      return false;
    }
  }

  std::vector<std::u32string> lines_;
  std::unique_ptr<RegNode> root_;
  std::vector<RegProblem> problems_;
  int version_ = 5;
  Section section_ = Section::kNone;
  RegNode* current_ = nullptr;
};

int64_t Nanoseconds(const timespec& ts) {
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, int* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  bytes->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno;
      close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

void Report(const std::string& text) {
  // One write, so the report is not interleaved with other output.
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::shared_ptr<const RegNode> EmptyTree() {
  static const std::shared_ptr<const RegNode> empty = std::make_shared<RegNode>();
  return empty;
}

}  // namespace

const RegNode* RegNode::FindChild(std::string_view childName) const {
  auto it = children.find(AsciiUpper(childName));
  return it == children.end() ? nullptr : it->second.get();
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
  for (const auto& v : values) {
    if (EqualsNoCase(v.name, valueName)) return &v;
  }
  return nullptr;
}

RegParseResult ParseRegFile(std::string_view bytes) {
  std::vector<RegProblem> problems;
  std::u32string text = DecodeFile(bytes, &problems);
  return RegParser(SplitLines(text)).Run(std::move(problems));
}

std::vector<std::string> RegistryPathForView(std::string_view path, bool view64) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  if (!view64 && !parts.empty() && EqualsNoCase(parts[0], "SOFTWARE") &&
      !(parts.size() > 1 && EqualsNoCase(parts[1], "WOW6432Node"))) {
    parts.insert(parts.begin() + 1, "WOW6432Node");
  }
  return parts;
}

void RegistryStore::ResetTo(const std::string& path) {
  path_ = path;
  loaded_ = false;
  identity_ = {};
  identityTrusted_ = false;
  bytes_.clear();
  root_ = EmptyTree();
  reportedMissing_ = false;
  reportedUnreadable_ = false;
}

RegistryStore::Snapshot RegistryStore::Current() {
  const char* variable = std::getenv("HV_REGISTRY_FILE");
  std::string path = variable != nullptr ? variable : "";
  std::lock_guard<std::mutex> lock(mutex_);
  if (!root_ || path != path_) ResetTo(path);
  if (path.empty()) return {root_, false};

  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      if (!reportedMissing_) {
        Report("hvplatform: registry file " + path +
               " (HV_REGISTRY_FILE) does not exist; the registry is empty\n");
      }
      reportedMissing_ = true;
      reportedUnreadable_ = false;
    } else if (!reportedUnreadable_) {
      Report("hvplatform: registry file " + path + " (HV_REGISTRY_FILE) cannot be read: " +
             std::strerror(err) + "; the registry is empty\n");
      reportedUnreadable_ = true;
    }
    loaded_ = false;
    bytes_.clear();
    root_ = EmptyTree();
    return {root_, false};
  }
  reportedMissing_ = false;
  // Root passes every access() check, so a file that nobody may write (no
  // write bit at all) also counts as read-only, as it would for a user
  // without administrator rights.
  bool writable = (st.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
  Identity id{st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
  if (loaded_ && identityTrusted_ && id == identity_) return {root_, writable};

  std::string bytes;
  int err = 0;
  if (!S_ISREG(st.st_mode) || !ReadWholeFile(path, &bytes, &err)) {
    if (!reportedUnreadable_) {
      Report("hvplatform: registry file " + path + " (HV_REGISTRY_FILE) cannot be read: " +
             (S_ISREG(st.st_mode) ? std::strerror(err) : "not a regular file") +
             "; the registry is empty\n");
      reportedUnreadable_ = true;
    }
    loaded_ = false;
    bytes_.clear();
    root_ = EmptyTree();
    return {root_, false};
  }
  reportedUnreadable_ = false;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  identity_ = id;
  identityTrusted_ = Nanoseconds(now) - std::max(id.mtimeNs, id.ctimeNs) > kRacyWindowNs;
  if (loaded_ && bytes == bytes_) return {root_, writable};

  RegParseResult result = ParseRegFile(bytes);
  if (!result.problems.empty()) {
    std::string report = "hvplatform: registry file " + path + " (HV_REGISTRY_FILE) has " +
                         std::to_string(result.problems.size()) +
                         " problem(s); the lines named were skipped:\n";
    size_t shown = 0;
    for (const auto& p : result.problems) {
      if (shown++ == kMaxReportedProblems) {
        report += "  ... and " + std::to_string(result.problems.size() - kMaxReportedProblems) +
                  " more\n";
        break;
      }
      report += "  " + path + ":" + std::to_string(p.line) + ": " + p.text + "\n";
    }
    Report(report);
  }
  root_ = std::move(result.root);
  bytes_ = std::move(bytes);
  loaded_ = true;
  return {root_, writable};
}

int32_t PosixPlatform::RegOpenKey(RootKey, const char* path, uint32_t access, RegKey** key) {
  if (key == nullptr) return kErrorInvalidParameter;
  *key = nullptr;
  RegistryStore::Snapshot snapshot = registry_.Current();
  const RegNode* node = snapshot.root.get();
  for (const auto& part :
       RegistryPathForView(path != nullptr ? path : "", (access & kKeyWow6464Key) != 0)) {
    node = node->FindChild(part);
    if (node == nullptr) return kErrorFileNotFound;
  }
  if ((access & kWriteAccessBits) != 0 && !snapshot.writable) return kErrorAccessDenied;
  *key = new RegKey{std::move(snapshot.root), node};
  return kErrorSuccess;
}

int32_t PosixPlatform::RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (nameSize == nullptr || name == nullptr) return kErrorInvalidParameter;
  const auto& children = key->node->ordered;
  if (index >= children.size()) return kErrorNoMoreItems;
  const std::string& child = children[index]->name;
  if (child.size() + 1 > *nameSize) return kErrorMoreData;
  std::memcpy(name, child.c_str(), child.size() + 1);
  *nameSize = static_cast<uint32_t>(child.size());
  return kErrorSuccess;
}

int32_t PosixPlatform::RegQueryValue(RegKey* key, const char* valueName, uint32_t* type,
                                     uint8_t* data, uint32_t* size) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
  const RegValue* value = key->node->FindValue(valueName != nullptr ? valueName : "");
  if (value == nullptr) return kErrorFileNotFound;
  // The ANSI query converts the string types from their stored UTF-16 form;
  // a string stored without terminator comes back without one.
  std::string converted;
  const std::string* bytes = &value->data;
  if (IsStringType(value->type)) {
    converted = Utf16LeToUtf8(value->data);
    bytes = &converted;
  }
  if (bytes->size() > UINT32_MAX) return kErrorNotEnoughMemory;
  uint32_t needed = static_cast<uint32_t>(bytes->size());
  if (type != nullptr) *type = value->type;
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kErrorSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (needed > 0) std::memcpy(data, bytes->data(), needed);
  // Like Windows, a string stored without its terminator gets one in the
  // buffer when there is room; the size reported stays the stored one.
  if (IsStringType(value->type) && needed > 0 && data[needed - 1] != 0 && *size > needed) {
    data[needed] = 0;
  }
  *size = needed;
  return kErrorSuccess;
}

void PosixPlatform::RegCloseKey(RegKey* key) {
  delete key;
}

}  // namespace hv::posix
