// What only the emulated Windows host has: its environment variables, the
// .reg file format and its reloading, the mode-bit rule for write access,
// program resolution and process naming on Linux, full exit codes through
// HV_EXIT_CODE_FILE, and its own table of message texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

hv::Platform& P() {
  return hv::HostPlatform();
}

using hv::test::TempDir;

// Sets (or with nullopt unsets) an environment variable for a scope.
class EnvScope {
 public:
  EnvScope(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvScope() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void WriteScript(const std::string& path, const std::string& body) {
  WriteText(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0755);
}

std::string Utf16Le(const std::string& utf8, bool bom) {
  std::string out = bom ? std::string("\xFF\xFE") : std::string();
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if (c < 0xE0) {
      cp = c & 0x1F;
      extra = 1;
    } else if (c < 0xF0) {
      cp = c & 0x0F;
      extra = 2;
    } else {
      cp = c & 0x07;
      extra = 3;
    }
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += 1 + extra;
    auto unit = [&out](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp >= 0x10000) {
      unit(0xD800 | ((cp - 0x10000) >> 10));
      unit(0xDC00 | ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

struct Query {
  int32_t open = -1;
  int32_t query = -1;
  uint32_t type = 0;
  std::string data;
  bool operator==(const Query&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Query& q) {
  os << "{open " << q.open << ", query " << q.query << ", type " << q.type << ", data \"";
  for (unsigned char c : q.data) {
    if (c >= 32 && c < 127) {
      os << c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      os << hex;
    }
  }
  return os << "\"}";
}

Query QueryValue(const char* path, const char* value, uint32_t access = hv::kKeyRead) {
  Query q;
  hv::RegKey* key = nullptr;
  q.open = P().RegOpenKey(hv::RootKey::kLocalMachine, path, access, &key);
  if (q.open != hv::kErrorSuccess) return q;
  uint32_t size = 0;
  q.query = P().RegQueryValue(key, value, &q.type, nullptr, &size);
  if (q.query == hv::kErrorSuccess) {
    std::vector<uint8_t> data(size + 1);
    q.query = P().RegQueryValue(key, value, &q.type, data.data(), &size);
    q.data.assign(data.begin(), data.begin() + size);
  }
  P().RegCloseKey(key);
  return q;
}

Query Value(uint32_t type, const std::string& data) {
  return {0, 0, type, data};
}
Query OpenError(int32_t error) {
  return {error, -1, 0, ""};
}
Query QueryError(int32_t error) {
  return {0, error, 0, ""};
}

std::string Z(const std::string& text) {
  return text + '\0';
}

// A registry file in a temporary folder, named by HV_REGISTRY_FILE for the
// fixture's lifetime.
class RegistryFile : public ::testing::Test {
 protected:
  RegistryFile() : path_(dir_ / "hklm.reg"), env_("HV_REGISTRY_FILE", path_) {}
  void Write(const std::string& bytes) {
    // Via a new file and rename, as an uninstaller rewriting the export does.
    std::string temp = path_ + ".new";
    WriteText(temp, bytes);
    fs::rename(temp, path_);
  }
  void WriteInPlace(const std::string& bytes) { WriteText(path_, bytes); }
  TempDir dir_;
  std::string path_;
  EnvScope env_;
};

// ---- .reg format -----------------------------------------------------------

TEST_F(RegistryFile, EveryEncodingRegeditWritesLoads) {
  const std::string text = kHeader +
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Enc\\Caf\u00e9]\n"
                           "\"Name\"=\"Caf\u00e9 \u20ac \U0001F600\"\n";
  struct Encoding {
    const char* name;
    std::string bytes;
  };
  const Encoding encodings[] = {
      {"UTF-8", text},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + text},
      {"UTF-8 with CR LF", WithCrLf(text)},
      {"UTF-16LE with BOM", Utf16Le(text, true)},
      {"UTF-16LE with BOM and CR LF", Utf16Le(WithCrLf(text), true)},
      {"UTF-16LE without BOM", Utf16Le(text, false)},
  };
  for (const auto& e : encodings) {
    SCOPED_TRACE(e.name);
    Write(e.bytes);
    EXPECT_EQ(QueryValue("SOFTWARE\\Enc\\Caf\u00e9", "Name"),
              Value(hv::kRegSz, Z("Caf\u00e9 \u20ac \U0001F600")));
    hv::RegKey* key = nullptr;
    ASSERT_EQ(P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\Enc", hv::kKeyRead, &key), 0);
    char name[64];
    uint32_t size = sizeof name;
    ASSERT_EQ(P().RegEnumKey(key, 0, name, &size), 0);
    EXPECT_EQ(std::string(name), "Caf\u00e9");
    EXPECT_EQ(size, std::string("Caf\u00e9").size()) << "ANSI sizes count UTF-8 bytes";
    P().RegCloseKey(key);
  }
}

struct FormCase {
  const char* what;
  std::string body;  // after the header (or the whole file when it has its own)
  const char* path;
  const char* value;
  Query expected;
};

TEST_F(RegistryFile, ValueAndKeyForms) {
  const std::string k = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\F]\n";
  const FormCase cases[] = {
      {"HKLM abbreviation", "[HKLM\\SOFTWARE\\WOW6432Node\\F]\n\"A\"=\"1\"\n", "SOFTWARE\\F", "A",
       Value(hv::kRegSz, Z("1"))},
      {"default value", k + "@=\"d\"\n", "SOFTWARE\\F", "", Value(hv::kRegSz, Z("d"))},
      {"quoted @ is an ordinary name", k + "\"@\"=\"n\"\n", "SOFTWARE\\F", "",
       QueryError(hv::kErrorFileNotFound)},
      {"escapes in names and data", k + "\"Q\\\"x\"=\"a\\\\b\\\"c\\d\"\n", "SOFTWARE\\F", "Q\"x",
       Value(hv::kRegSz, Z("a\\b\"c\\d"))},
      {"blanks around '=' and trailing comment", k + "\"S\" = \"v\" ; note\n", "SOFTWARE\\F", "S",
       Value(hv::kRegSz, Z("v"))},
      {"short dword", k + "\"D\"=dword:2a\n", "SOFTWARE\\F", "D",
       Value(hv::kRegDword, std::string("\x2a\0\0\0", 4))},
      {"largest dword", k + "\"D\"=dword:FFFFFFFF\n", "SOFTWARE\\F", "D",
       Value(hv::kRegDword, "\xff\xff\xff\xff")},
      {"continued hex", k + "\"B\"=hex:01,02,\\\n    03,\\  \n  04\n", "SOFTWARE\\F", "B",
       Value(hv::kRegBinary, "\x01\x02\x03\x04")},
      {"any type number", k + "\"T\"=hex(1234abcd):05\n", "SOFTWARE\\F", "T",
       Value(0x1234abcd, "\x05")},
      {"hex(4) is a dword", k + "\"T\"=hex(4):2a,00,00,00\n", "SOFTWARE\\F", "T",
       Value(hv::kRegDword, std::string("\x2a\0\0\0", 4))},
      {"UTF-16 surrogate pair in hex(1)", k + "\"U\"=hex(1):3d,d8,00,de,00,00\n", "SOFTWARE\\F",
       "U", Value(hv::kRegSz, Z("\U0001F600"))},
      {"odd byte of UTF-16 data is dropped", k + "\"O\"=hex(2):41,00,42\n", "SOFTWARE\\F", "O",
       Value(hv::kRegExpandSz, "A")},
      {"REGEDIT4 strings in hex are ANSI",
       "REGEDIT4\n\n" + k + "\"E\"=hex(2):25,50,25,00\n\"M\"=hex(7):61,00,62,00,00\n",
       "SOFTWARE\\F", "E", Value(hv::kRegExpandSz, Z("%P%"))},
      {"REGEDIT4 multi-string", "REGEDIT4\n\n" + k + "\"M\"=hex(7):61,00,62,00,00\n", "SOFTWARE\\F",
       "M", Value(hv::kRegMultiSz, std::string("a\0b\0\0", 5))},
      {"later line replaces a value", k + "\"R\"=\"old\"\n\"r\"=dword:1\n", "SOFTWARE\\F", "R",
       Value(hv::kRegDword, std::string("\x01\0\0\0", 4))},
      {"value deletion", k + "\"C\"=\"x\"\n\"C\"=-\n", "SOFTWARE\\F", "C",
       QueryError(hv::kErrorFileNotFound)},
      {"key deletion takes the subkeys",
       k + "[HKLM\\SOFTWARE\\WOW6432Node\\F\\Sub]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\F]"
           "\n",
       "SOFTWARE\\F\\Sub", "", OpenError(hv::kErrorFileNotFound)},
      {"a deleted key can come back empty",
       k + "\"A\"=\"1\"\n[-HKLM\\SOFTWARE\\WOW6432Node\\F]\n" + k, "SOFTWARE\\F", "A",
       QueryError(hv::kErrorFileNotFound)},
      {"values after a key deletion are dropped",
       "[-HKLM\\SOFTWARE\\WOW6432Node\\F]\n\"A\"=\"1\"\n", "SOFTWARE\\F", "A",
       OpenError(hv::kErrorFileNotFound)},
      {"sections of one key differ in case only",
       k + "\"A\"=\"1\"\n[HKLM\\software\\wow6432node\\f]\n\"B\"=\"2\"\n", "SOFTWARE\\F", "A",
       Value(hv::kRegSz, Z("1"))},
      {"other roots are not emulated",
       "[HKEY_CURRENT_USER\\SOFTWARE\\WOW6432Node\\F]\n\"A\"=\"1\"\n", "SOFTWARE\\F", "A",
       OpenError(hv::kErrorFileNotFound)},
      {"comments and indentation", "; c\n# c\n  " + k + "  \"A\"=\"1\"\n", "SOFTWARE\\F", "A",
       Value(hv::kRegSz, Z("1"))},
      {"empty hex data", k + "\"E\"=hex(7):\n", "SOFTWARE\\F", "E", Value(hv::kRegMultiSz, "")},
  };
  for (const auto& c : cases) {
    bool ownHeader = c.body.rfind("REGEDIT4", 0) == 0;
    Write(ownHeader ? c.body : kHeader + c.body);
    EXPECT_EQ(QueryValue(c.path, c.value), c.expected) << c.what;
  }
}

struct ProblemCase {
  std::string line;
  const char* fragment;  // part of the report's description
};

TEST_F(RegistryFile, MalformedLinesAreReportedOnceAndSkipped) {
  const ProblemCase cases[] = {
      {"\"A\"=dword:123456789", "dword"},
      {"\"A\"=hex:01,zz", "bad byte"},
      {"\"A\"=hex:01 02", "separated by ','"},
      {"\"A\"=\"unterminated", "no closing"},
      {"\"A\"=\"x\" trailing", "after the closing"},
      {"\"A\"", "expected '='"},
      {"\"A\"=str:\"x\"", "unknown value form"},
      {"\"A\"=hex(2:00", "hex(N)"},
      {"garbage", "unexpected text"},
      {"[HKLM\\SOFTWARE\\WOW6432Node\\Bad", "does not end with ']'"},
      {"[HKEY_NOWHERE\\X]", "unknown root key"},
      {"[-HKLM]", "root key cannot be deleted"},
      {"\"A\"=hex:01,\\", "bad byte"},  // continued onto the next [key] line
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    // The bad line is line 5; the lines around it still load.
    Write(kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\M]\n\"Before\"=\"1\"\n" + c.line +
          "\n[HKLM\\SOFTWARE\\WOW6432Node\\M]\n\"After\"=\"2\"\n");
    testing::internal::CaptureStderr();
    Query before = QueryValue("SOFTWARE\\M", "Before");
    Query after = QueryValue("SOFTWARE\\M", "After");
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(before, Value(hv::kRegSz, Z("1")));
    EXPECT_EQ(after, Value(hv::kRegSz, Z("2")));
    EXPECT_NE(report.find(path_ + ":5: "), std::string::npos) << report;
    EXPECT_NE(report.find(c.fragment), std::string::npos) << report;
    EXPECT_EQ(report.find("hvplatform"), report.rfind("hvplatform")) << "reported once: " << report;
  }
}

TEST_F(RegistryFile, ValueBeforeAnyKeyIsReported) {
  Write(kHeader + "\"A\"=\"1\"\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(QueryValue("", "A"), QueryError(hv::kErrorFileNotFound));
  std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(":3: value before any [key] line"), std::string::npos) << report;
}

TEST_F(RegistryFile, FileWithoutHeaderLoadsNothing) {
  Write("[HKLM\\SOFTWARE\\WOW6432Node\\H]\n\"A\"=\"1\"\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(QueryValue("SOFTWARE\\H", "A"), OpenError(hv::kErrorFileNotFound));
  std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("not a registry file"), std::string::npos) << report;
}

TEST(RegParser, NeverCrashesOnDamagedFiles) {
  const std::string valid = kHeader +
                            "[HKLM\\SOFTWARE\\X]\n\"A\"=\"t\\\\\\\"\"\n@=dword:1\n"
                            "\"B\"=hex(7):61,00,\\\n 00,00\n[-HKLM\\SOFTWARE\\X]\n\"C\"=-\n";
  std::mt19937 random(4711);
  const char alphabet[] = "[]\\\"=@-:,();#\n\r\t x0fhexdword(b)HKLM\xff\xfe";
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = round % 3 == 0 ? Utf16Le(valid, true) : valid;
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      size_t at = random() % bytes.size();
      switch (random() % 3) {
        case 0:
          bytes[at] = alphabet[random() % (sizeof alphabet - 1)];
          break;
        case 1:
          bytes.erase(at, 1 + random() % 4);
          break;
        default:
          bytes.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
      }
    }
    hv::posix::RegParseResult result = hv::posix::ParseRegFile(bytes);
    ASSERT_NE(result.root, nullptr);
  }
}

TEST(RegParser, KeepsWindowsLimitsOnKeys) {
  std::string deep = "[HKLM";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  hv::posix::RegParseResult tooDeep = hv::posix::ParseRegFile(kHeader + deep + "]\n");
  ASSERT_EQ(tooDeep.problems.size(), 1u);
  EXPECT_NE(tooDeep.problems[0].text.find("512"), std::string::npos);
  EXPECT_TRUE(tooDeep.root->children.empty());

  hv::posix::RegParseResult tooLong =
      hv::posix::ParseRegFile(kHeader + "[HKLM\\" + std::string(256, 'n') + "]\n");
  ASSERT_EQ(tooLong.problems.size(), 1u);
  EXPECT_NE(tooLong.problems[0].text.find("255"), std::string::npos);
}

// ---- Registry file lifecycle --------------------------------------------------

TEST(RegistryVariable, UnsetMeansAnEmptyRegistryWithoutComplaint) {
  EnvScope unset("HV_REGISTRY_FILE", std::nullopt);
  testing::internal::CaptureStderr();
  EXPECT_EQ(QueryValue("SOFTWARE\\HvContract", "View"), OpenError(hv::kErrorFileNotFound));
  EXPECT_EQ(QueryValue("SOFTWARE", "x", hv::kKeyAllAccess), OpenError(hv::kErrorFileNotFound));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(RegistryVariable, MissingFileIsReportedOnce) {
  TempDir dir;
  std::string missing = dir / "missing.reg";
  EnvScope env("HV_REGISTRY_FILE", missing);
  testing::internal::CaptureStderr();
  EXPECT_EQ(QueryValue("SOFTWARE\\X", "A"), OpenError(hv::kErrorFileNotFound));
  EXPECT_EQ(QueryValue("", "A"), QueryError(hv::kErrorFileNotFound)) << "the root always opens";
  std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(missing), std::string::npos) << report;
  EXPECT_EQ(report.find("hvplatform"), report.rfind("hvplatform")) << report;
}

TEST_F(RegistryFile, ChangesOfTheFileAreSeenAtTheNextOpen) {
  const std::string key = "[HKLM\\SOFTWARE\\WOW6432Node\\R]\n";
  WriteInPlace(kHeader + key + "\"V\"=\"one\"\n");
  hv::RegKey* held = nullptr;
  ASSERT_EQ(P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\R", hv::kKeyRead, &held), 0);
  // Same size, same inode, within the same second: only the content differs.
  WriteInPlace(kHeader + key + "\"V\"=\"two\"\n");
  EXPECT_EQ(QueryValue("SOFTWARE\\R", "V"), Value(hv::kRegSz, Z("two")));
  // An uninstaller removes the product's key by rewriting the file.
  Write(kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\Other]\n");
  EXPECT_EQ(QueryValue("SOFTWARE\\R", "V"), OpenError(hv::kErrorFileNotFound));
  // A key opened before the change still reads what it was opened on.
  char data[16] = {};
  uint32_t size = sizeof data;
  EXPECT_EQ(P().RegQueryValue(held, "V", nullptr, reinterpret_cast<uint8_t*>(data), &size), 0);
  EXPECT_EQ(std::string(data, size), Z("one"));
  P().RegCloseKey(held);
  // The file disappears: the registry empties; it comes back: it loads again.
  testing::internal::CaptureStderr();
  fs::remove(path_);
  EXPECT_EQ(QueryValue("SOFTWARE\\Other", ""), OpenError(hv::kErrorFileNotFound));
  testing::internal::GetCapturedStderr();
  Write(kHeader + key + "\"V\"=\"three\"\n");
  EXPECT_EQ(QueryValue("SOFTWARE\\R", "V"), Value(hv::kRegSz, Z("three")));
}

TEST_F(RegistryFile, WriteAccessNeedsAWritableFileEvenForRoot) {
  Write(kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\W]\n[HKLM\\SOFTWARE\\W]\n");
  struct Case {
    uint32_t access;
    int32_t readOnlyResult;
  };
  const Case cases[] = {
      {hv::kKeyRead, 0},
      {hv::kKeyQueryValue, 0},
      {hv::kKeyEnumerateSubKeys | hv::kKeyWow6464Key, 0},
      {hv::kKeySetValue, hv::kErrorAccessDenied},
      {hv::kKeyCreateSubKey, hv::kErrorAccessDenied},
      {0x0020, hv::kErrorAccessDenied},      // KEY_CREATE_LINK
      {0x00010000, hv::kErrorAccessDenied},  // DELETE
      {0x00040000, hv::kErrorAccessDenied},  // WRITE_DAC
      {0x00080000, hv::kErrorAccessDenied},  // WRITE_OWNER
      {0x40000000, hv::kErrorAccessDenied},  // GENERIC_WRITE
      {hv::kKeyAllAccess, hv::kErrorAccessDenied},
      {hv::kKeyAllAccess | hv::kKeyWow6464Key, hv::kErrorAccessDenied},
  };
  for (mode_t mode : {0444, 0644}) {
    ASSERT_EQ(chmod(path_.c_str(), mode), 0);
    for (const auto& c : cases) {
      hv::RegKey* key = nullptr;
      int32_t expected = mode == 0644 ? 0 : c.readOnlyResult;
      EXPECT_EQ(P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\W", c.access, &key), expected)
          << "mode " << std::oct << mode << " access " << std::hex << c.access;
      P().RegCloseKey(key);
    }
  }
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  hv::RegKey* key = nullptr;
  EXPECT_EQ(
      P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\Missing", hv::kKeyAllAccess, &key),
      hv::kErrorFileNotFound)
      << "a missing key is reported before the access check";
}

TEST_F(RegistryFile, StringWithoutTerminatorGetsOneWhenThereIsRoom) {
  Write(kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\N]\n\"A\"=hex(1):41,00,42,00\n");
  hv::RegKey* key = nullptr;
  ASSERT_EQ(P().RegOpenKey(hv::RootKey::kLocalMachine, "SOFTWARE\\N", hv::kKeyRead, &key), 0);
  char data[8];
  std::memset(data, 'x', sizeof data);
  uint32_t size = sizeof data;
  ASSERT_EQ(P().RegQueryValue(key, "A", nullptr, reinterpret_cast<uint8_t*>(data), &size), 0);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(std::string(data, 3), std::string("AB\0", 3));
  P().RegCloseKey(key);
}

TEST_F(RegistryFile, ConcurrencyOfOpensWhileTheFileIsRewritten) {
  const std::string one = kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\C]\n\"V\"=\"one\"\n";
  const std::string two = kHeader + "[HKLM\\SOFTWARE\\WOW6432Node\\C]\n\"V\"=\"two\"\n";
  Write(one);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        Query q = QueryValue("SOFTWARE\\C", "V");
        if (q != Value(hv::kRegSz, Z("one")) && q != Value(hv::kRegSz, Z("two"))) ++bad;
      }
    });
  }
  for (int i = 0; i < 200; ++i) Write(i % 2 == 0 ? two : one);
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad, 0);
}

// ---- Processes ---------------------------------------------------------------

std::string Helper() {
  return std::getenv("HV_CONTRACT_HELPER");
}

// Starts `line`, waits for it, and returns CreateProcess's error or the exit code.
struct RunResult {
  int32_t created = -1;
  uint32_t exitCode = 0;
};

RunResult RunCommand(const std::string& line, const char* workingDirectory = nullptr) {
  RunResult r;
  hv::ProcessHandle* process = nullptr;
  r.created = P().CreateProcess(line.c_str(), workingDirectory, false, &process);
  if (r.created != 0) return r;
  int32_t error = 0;
  EXPECT_EQ(P().WaitForProcess(process, 30000, &error), hv::WaitResult::kSignaled) << line;
  EXPECT_EQ(P().GetProcessExitCode(process, &r.exitCode), 0);
  P().CloseProcess(process);
  return r;
}

uint32_t PidNamed(const std::string& name) {
  std::vector<hv::ProcessEntry> entries;
  EXPECT_TRUE(P().SnapshotProcesses(&entries));
  for (const auto& e : entries) {
    if (e.exeName == name) return e.pid;
  }
  return 0;
}

TEST(PosixProcesses, ScriptIsListedUnderItsOwnLongName) {
  TempDir dir;
  const std::string name = "uninstall-helper-with-a-long-name.sh";
  WriteScript(dir / name, "while true; do sleep 1; done");
  hv::ProcessHandle* process = nullptr;
  ASSERT_EQ(P().CreateProcess((dir / name).c_str(), nullptr, false, &process), 0);
  uint32_t pid = 0;
  for (int i = 0; i < 200 && pid == 0; ++i) {
    pid = PidNamed(name);
    if (pid == 0) P().Sleep(5);  // the interpreter sets its name after exec
  }
  EXPECT_NE(pid, 0u);
  EXPECT_EQ(P().TerminateProcess(process, 0), 0);
  P().CloseProcess(process);
}

TEST(PosixProcesses, ChildSeesItsCommandLineVerbatim) {
  TempDir dir;
  std::string out = dir / "cmdline.txt";
  std::string line = "\"" + Helper() + "\"   write-cmdline  \"" + out + "\" /x{AB-12}  \"q \\\" \"";
  RunResult r = RunCommand(line);
  ASSERT_EQ(r.created, 0);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(ReadText(out), line);
}

TEST(PosixProcesses, FullExitCodesComeFromTheExitCodeFile) {
  TempDir dir;
  struct Case {
    const char* script;
    uint32_t expected;
  };
  const Case cases[] = {
      {"echo 3010 > \"$HV_EXIT_CODE_FILE\"; exit 3010", 3010},
      {"echo 1641 > \"$HV_EXIT_CODE_FILE\"; exit 105", 1641},
      {"echo 3010 > \"$HV_EXIT_CODE_FILE\"; exit 0", 0},  // disagrees with the real status
      {"echo junk > \"$HV_EXIT_CODE_FILE\"; exit 7", 7},
      {"exit 3010", 3010 & 0xFF},
      {"kill -TERM $$", 128 + 15},
  };
  for (const auto& c : cases) {
    WriteScript(dir / "code.sh", c.script);
    RunResult r = RunCommand(dir / "code.sh");
    ASSERT_EQ(r.created, 0) << c.script;
    EXPECT_EQ(r.exitCode, c.expected) << c.script;
  }
}

class ProgramResolution : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "bin");
    fs::create_directories(dir_.path() / "sub");
    fs::create_directories(dir_.path() / "My Tools");
    fs::create_directories(dir_.path() / "sys");
    WriteScript(dir_ / "bin/msiexec.exe", "exit 7");
    WriteScript(dir_ / "bin/tool.exe", "exit 8");
    WriteScript(dir_ / "bin/noext", "exit 9");
    WriteScript(dir_ / "sub/prog.sh", "exit 10");
    WriteScript(dir_ / "My Tools/run.sh", "echo \"$1\" > \"$(dirname \"$0\")/arg.txt\"; exit 11");
    WriteScript(dir_ / "sys/sysprog", "exit 12");
    WriteText(dir_ / "sub/notexec.sh", "#!/bin/sh\nexit 0\n");
    WriteText(dir_ / "sub/text.exe", "hello\n");
    chmod((dir_ / "sub/text.exe").c_str(), 0755);
  }
  TempDir dir_;
  EnvScope path_{"PATH", (dir_ / "bin") + ":" + std::getenv("PATH")};
  EnvScope system_{"HV_SYSTEM_DIR", dir_ / "sys"};
};

TEST_F(ProgramResolution, FindsProgramsTheWayCreateProcessDoes) {
  const std::string d = dir_.path().string();
  struct Case {
    std::string line;
    int32_t created;
    uint32_t exitCode;
  };
  const Case cases[] = {
      {"MsiExec.exe /x{AB} /qn /norestart", 0, 7},
      {"MSIEXEC /x{AB}", 0, 7},
      {"tool", 0, 8},
      {"noext", 0, 9},
      {d + "\\sub\\prog.sh", 0, 10},
      {d + "/My Tools/run.sh first second", 0, 11},
      {"\"" + d + "/My Tools/run.sh\" quoted", 0, 11},
      {"sysprog", 0, 12},
      {"not-anywhere-4711", hv::kErrorFileNotFound, 0},
      {d + "/sub/missing.sh", hv::kErrorFileNotFound, 0},
      {d + "/sub/notexec.sh", hv::kErrorAccessDenied, 0},
      {d + "/sub/text.exe", 193, 0},
      {"", hv::kErrorFileNotFound, 0},
  };
  for (const auto& c : cases) {
    RunResult r = RunCommand(c.line);
    EXPECT_EQ(r.created, c.created) << c.line;
    if (c.created == 0) {
      EXPECT_EQ(r.exitCode, c.exitCode) << c.line;
    }
  }
  EXPECT_EQ(ReadText(dir_ / "My Tools/arg.txt"), "quoted\n");
}

TEST_F(ProgramResolution, RelativeProgramIsTakenFromTheCallersDirectory) {
  fs::path saved = fs::current_path();
  ASSERT_EQ(P().SetCurrentDirectory(dir_.path().c_str()), 0);
  std::string elsewhere = dir_ / "sys";
  RunResult r = RunCommand("sub\\prog.sh", elsewhere.c_str());
  fs::current_path(saved);
  EXPECT_EQ(r.created, 0);
  EXPECT_EQ(r.exitCode, 10u);
}

TEST(PosixProcesses, PidsThatAreNoProcessesAreInvalidParameters) {
  for (uint32_t pid : {0u, 0x80000000u, 0xFFFFFFFCu, 0x7FFFFFFFu}) {
    hv::ProcessHandle* process = nullptr;
    EXPECT_EQ(P().OpenProcess(pid, &process), hv::kErrorInvalidParameter) << pid;
  }
}

TEST(PosixProcesses, EndedProcessCannotBeTerminated) {
  hv::ProcessHandle* process = nullptr;
  std::string line = "\"" + Helper() + "\" exit 3";
  ASSERT_EQ(P().CreateProcess(line.c_str(), nullptr, false, &process), 0);
  int32_t error = 0;
  ASSERT_EQ(P().WaitForProcess(process, 30000, &error), hv::WaitResult::kSignaled);
  EXPECT_EQ(P().TerminateProcess(process, 99), hv::kErrorAccessDenied);
  uint32_t exitCode = 0;
  EXPECT_EQ(P().GetProcessExitCode(process, &exitCode), 0);
  EXPECT_EQ(exitCode, 3u);
  P().CloseProcess(process);
}

TEST(PosixProcesses, ClosedHandleOfARunningChildLeavesNoZombie) {
  TempDir dir;
  const std::string name = "hv-detached-helper";
  fs::copy_file(Helper(), dir.path() / name);
  hv::ProcessHandle* process = nullptr;
  std::string line = "\"" + (dir / name) + "\" sleep 100";
  ASSERT_EQ(P().CreateProcess(line.c_str(), nullptr, false, &process), 0);
  uint32_t pid = PidNamed(name);
  ASSERT_NE(pid, 0u);
  P().CloseProcess(process);  // still running: left to run, as on Windows
  std::string proc = "/proc/" + std::to_string(pid);
  bool gone = false;
  for (int i = 0; i < 1000 && !gone; ++i) {
    P().Sleep(10);
    std::vector<hv::ProcessEntry> entries;
    P().SnapshotProcesses(&entries);  // reaps what has ended
    gone = !fs::exists(proc);
  }
  EXPECT_TRUE(gone) << "pid " << pid << " stayed a zombie";
}

// ---- Clock and folders ---------------------------------------------------------

TEST(PosixClock, TickCountOverride) {
  auto boot = [] {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
  };
  struct Case {
    std::optional<std::string> value;
    std::optional<uint32_t> fixed;  // nullopt: the real uptime
  };
  const Case cases[] = {
      {"900000", 900000u},         {"900001", 900001u},          {"0", 0u},
      {"4294967295", 4294967295u}, {"4294967296", std::nullopt}, {"abc", std::nullopt},
      {"-5", std::nullopt},        {"", std::nullopt},           {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EnvScope env("HV_TICK_COUNT_MS", c.value);
    uint32_t before = boot();
    uint32_t ticks = P().GetTickCount();
    if (c.fixed) {
      EXPECT_EQ(ticks, *c.fixed) << c.value.value_or("(unset)");
      P().Sleep(2);
      EXPECT_EQ(P().GetTickCount(), *c.fixed) << "a fixed uptime does not advance";
    } else {
      EXPECT_LE(ticks - before, 1000u) << c.value.value_or("(unset)");
    }
  }
}

TEST(PosixFolders, SystemDirectoryVariable) {
  struct Case {
    std::optional<std::string> value;
    std::string expected;
  };
  const Case cases[] = {
      {"/opt/hv/system32", "/opt/hv/system32"}, {"", "/usr/bin"}, {std::nullopt, "/usr/bin"}};
  for (const auto& c : cases) {
    EnvScope env("HV_SYSTEM_DIR", c.value);
    char buffer[100] = {};
    EXPECT_EQ(P().GetSystemDirectory(buffer, sizeof buffer), c.expected.size());
    EXPECT_EQ(std::string(buffer), c.expected);
  }
}

TEST(PosixFolders, FileIsNoDirectoryToChangeTo) {
  TempDir dir;
  WriteText(dir / "file", "x");
  EXPECT_EQ(P().SetCurrentDirectory((dir / "file").c_str()), 267);
}

TEST(PosixFiles, ReadOnlyFilesRefuseWriting) {
  TempDir dir;
  std::string file = dir / "ro.log";
  std::string other = dir / "other.log";
  WriteText(file, "keep");
  WriteText(other, "x");
  chmod(file.c_str(), 0444);
  uint64_t size = 0;
  bool openFailed = false;
  EXPECT_EQ(P().GetFileSize(file.c_str(), &size, &openFailed), hv::kErrorAccessDenied);
  EXPECT_TRUE(openFailed);
  EXPECT_EQ(P().TruncateFile(file.c_str()), hv::kErrorAccessDenied);
  EXPECT_EQ(P().CopyFile(other.c_str(), file.c_str()), hv::kErrorAccessDenied);
  EXPECT_EQ(P().DeleteFile(file.c_str()), hv::kErrorAccessDenied);
  EXPECT_EQ(ReadText(file), "keep");
}

TEST(PosixFiles, CopyOntoItselfKeepsTheContent) {
  TempDir dir;
  std::string file = dir / "same.log";
  WriteText(file, "content");
  EXPECT_EQ(P().CopyFile(file.c_str(), file.c_str()), 32);
  EXPECT_EQ(ReadText(file), "content");
}

TEST(PosixFiles, CopyKeepsTheLastWriteTime) {
  TempDir dir;
  std::string from = dir / "from.log";
  std::string to = dir / "to.log";
  WriteText(from, "x");
  timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, from.c_str(), old, 0), 0);
  ASSERT_EQ(P().CopyFile(from.c_str(), to.c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(to.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(PosixFiles, FolderSizeReadsAsZero) {
  TempDir dir;
  uint64_t size = 99;
  bool openFailed = true;
  EXPECT_EQ(P().GetFileSize(dir.path().c_str(), &size, &openFailed), 0);
  EXPECT_FALSE(openFailed);
  EXPECT_EQ(size, 0u);
}

TEST(PosixFiles, RootFolderHasNoDotEntries) {
  std::string name;
  int32_t error = 0;
  hv::DirSearch* search = P().FindFirstFile("/*", &name, &error);
  ASSERT_NE(search, nullptr);
  do {
    EXPECT_NE(name, ".");
    EXPECT_NE(name, "..");
  } while (P().FindNextFile(search, &name, &error));
  EXPECT_EQ(error, hv::kErrorNoMoreFiles);
  P().FindClose(search);
}

// ---- Message texts -------------------------------------------------------------

TEST(PosixMessages, WindowsTextsWordForWord) {
  struct Case {
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {0, "The operation completed successfully. "},
      {2, "The system cannot find the file specified. "},
      {3, "The system cannot find the path specified. "},
      {5, "Access is denied. "},
      {13, "The data is invalid. "},
      {87, "The parameter is incorrect. "},
      {193, "%1 is not a valid Win32 application. "},
      {234, "More data is available. "},
      {258, "The wait operation timed out. "},
      {267, "The directory name is invalid. "},
      {1237, "The operation could not be completed. A retry should be performed. "},
      {1605, "This action is only valid for products that are currently installed. "},
      {1618,
       "Another installation is already in progress. Complete that installation before "
       "proceeding with this install. "},
      {1641,
       "The requested operation completed successfully. The system will be restarted so the "
       "changes can take effect. "},
      {3010,
       "The requested operation is successful. Changes will not be effective until the system "
       "is rebooted. "},
  };
  for (const auto& c : cases) {
    std::string text;
    ASSERT_TRUE(P().FormatSystemMessageUtf8(c.code, &text)) << c.code;
    EXPECT_EQ(text, c.text);
  }
  std::string text;
  EXPECT_FALSE(P().FormatSystemMessageUtf8(1508, &text)) << "an agent code, not a system one";
}

TEST(PosixMessages, InvalidCodePointsDoNotConvert) {
  const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  const wchar_t tooLarge[] = {static_cast<wchar_t>(0x110000), 0};
  for (const wchar_t* text : {surrogate, tooLarge}) {
    std::string out = "stale";
    EXPECT_EQ(P().WideToUtf8(text, &out), 1113);
    EXPECT_EQ(out, "");
  }
}

// ---- Timer queues ----------------------------------------------------------------

struct SelfDeleting {
  hv::TimerQueue* queue = nullptr;
  std::mutex mutex;
  std::condition_variable done;
  bool deleted = false;
  int32_t result = -1;
  std::atomic<int> laterCalls{0};
  static void Later(void* context, bool) { ++static_cast<SelfDeleting*>(context)->laterCalls; }
  static void Run(void* context, bool) {
    auto* self = static_cast<SelfDeleting*>(context);
    hv::Timer* timer = nullptr;
    P().CreateQueueTimer(self->queue, &SelfDeleting::Later, self, 50, &timer);
    int32_t result = P().DeleteTimerQueue(self->queue);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->result = result;
    self->deleted = true;
    self->done.notify_all();
  }
};

TEST(TimerQueueConcurrency, DeletingTheQueueFromItsOwnCallbackDoesNotHang) {
  SelfDeleting state;
  ASSERT_EQ(P().CreateTimerQueue(&state.queue), 0);
  hv::Timer* timer = nullptr;
  ASSERT_EQ(P().CreateQueueTimer(state.queue, &SelfDeleting::Run, &state, 0, &timer), 0);
  std::unique_lock<std::mutex> lock(state.mutex);
  ASSERT_TRUE(state.done.wait_for(lock, std::chrono::seconds(30), [&] { return state.deleted; }));
  EXPECT_EQ(state.result, 0);
  lock.unlock();
  P().Sleep(100);
  EXPECT_EQ(state.laterCalls, 0) << "the pending timer was cancelled with the queue";
}

TEST(ClockConcurrency, LocalTimeFromManyThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        hv::LocalTime now = P().GetLocalTime();
        if (now.month < 1 || now.month > 12 || now.millisecond < 0 || now.millisecond > 999) ++bad;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
