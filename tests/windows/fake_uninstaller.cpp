// Stand-in for the programs the tool starts under Wine: a product's own
// uninstall program, or Windows Installer's MsiExec.exe when it is installed
// under that name (letter case ignored). The suite copies it into the folder
// of the tool under every program name an uninstall entry's command uses, so
// that the search for the program finds it before the system folder.
//
// It appends one line to the scenario's record, the command line it was
// started with (GetCommandLineA) and its working directory separated by a
// tab, then exits with the code the scenario chose in its exit-codes file
// ("<code> <key>" lines; the key is the program's file name, or for MsiExec
// the product code of its /x{P}, /X{P}, /i{P} or /I{P} switch; 0 when not
// listed). A successful removal by MsiExec (/x or /X ending in 0, 1641 or
// 3010) also deletes the product's uninstall entry in both registry views,
// the way the real installer unregisters a product.
//
// The scenario folder, holding "commands" and "exit-codes", is
// HV_FAKE_STATE_DIR, or the folder above the program's own.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ModulePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string FileName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string CurrentDirectory() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  std::string text(needed, '\0');
  DWORD length = GetCurrentDirectoryA(needed, text.data());
  text.resize(length);
  return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The switch letter and product code of the first "/x{...}"-style switch.
bool FindProductSwitch(const std::string& line, char* letter, std::string* product) {
  for (size_t at = line.find('/'); at != std::string::npos; at = line.find('/', at + 1)) {
    if (at + 2 >= line.size() || line[at + 2] != '{') continue;
    char c = line[at + 1];
    if (c != 'x' && c != 'X' && c != 'i' && c != 'I') continue;
    size_t close = line.find('}', at + 2);
    if (close == std::string::npos) return false;
    *letter = c;
    *product = line.substr(at + 2, close - at - 1);
    return true;
  }
  return false;
}

unsigned long ExitCodeFor(const std::string& stateDir, const std::string& key) {
  std::ifstream in(stateDir + "\\exit-codes");
  unsigned long code = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    unsigned long value = 0;
    if (!(fields >> value)) continue;
    std::string rest;
    std::getline(fields >> std::ws, rest);
    if (rest == key) code = value;
  }
  return code;
}

void Unregister(const std::string& product) {
  const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) ==
        ERROR_SUCCESS) {
      RegDeleteTreeA(key, nullptr);
      RegCloseKey(key);
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    }
  }
}

}  // namespace

int main() {
  const std::string self = ModulePath();
  const std::string name = FileName(self);
  const char* stateVariable = std::getenv("HV_FAKE_STATE_DIR");
  const std::string stateDir = stateVariable != nullptr && *stateVariable != '\0'
                                   ? std::string(stateVariable)
                                   : Folder(Folder(self));
  const std::string commandLine = GetCommandLineA();

  {
    std::ofstream record(stateDir + "\\commands", std::ios::binary | std::ios::app);
    record << commandLine << '\t' << CurrentDirectory() << '\n';
  }

  const bool isMsiExec = EqualsIgnoringCase(name, "msiexec.exe");
  char letter = 0;
  std::string product;
  const bool hasProduct = FindProductSwitch(commandLine, &letter, &product);
  unsigned long code = 0;
  if (!isMsiExec) {
    code = ExitCodeFor(stateDir, name);
  } else if (hasProduct) {
    code = ExitCodeFor(stateDir, product);
  }
  if (isMsiExec && hasProduct && (letter == 'x' || letter == 'X') &&
      (code == 0 || code == 1641 || code == 3010)) {
    Unregister(product);
  }
  return static_cast<int>(code);
}
