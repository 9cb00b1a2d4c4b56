// A small program that the platform contract tests start as a child process,
// written portably so that the same source runs on the emulated host and on
// Windows.
//
//   hvcontracthelper exit N                  exits with N
//   hvcontracthelper sleep MS                sleeps MS milliseconds, exits 0
//   hvcontracthelper write-args FILE ARG...  writes each ARG on a line of FILE
//   hvcontracthelper write-cwd FILE          writes the current directory
//   hvcontracthelper write-cmdline FILE      writes HV_COMMAND_LINE (emulated host)
//
// The emulated host keeps only 8 bits of an exit status; a child reports its
// full exit code by writing it to the file named by HV_EXIT_CODE_FILE.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

int Exit(unsigned long code) {
  if (const char* file = std::getenv("HV_EXIT_CODE_FILE")) {
    std::ofstream out(file, std::ios::trunc);
    out << code << "\n";
  }
  return static_cast<int>(code);
}

bool WriteText(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 100;
  std::string mode = argv[1];
  if (mode == "exit") return Exit(std::strtoul(argv[2], nullptr, 10));
  if (mode == "sleep") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::strtoul(argv[2], nullptr, 10)));
    return Exit(0);
  }
  if (mode == "write-args") {
    std::string text;
    for (int i = 3; i < argc; ++i) text += std::string(argv[i]) + "\n";
    return Exit(WriteText(argv[2], text) ? 0 : 101);
  }
  if (mode == "write-cwd") {
    return Exit(WriteText(argv[2], std::filesystem::current_path().string()) ? 0 : 101);
  }
  if (mode == "write-cmdline") {
    const char* line = std::getenv("HV_COMMAND_LINE");
    return Exit(line != nullptr && WriteText(argv[2], line) ? 0 : 101);
  }
  return 102;
}
