// Reading the database layer's data files. See data_files.h.
#include "quill/db/data_files.h"

#include <cctype>
#include <string>

#include "logging/log.h"
#include "platform/platform.h"

namespace quill::db {

namespace {

bool IsSpace(int c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The next character that is not white space, or EOF.
int SkipSpace(std::FILE* file) {
  int c = std::fgetc(file);
  while (c != EOF && IsSpace(c)) c = std::fgetc(file);
  return c;
}

}  // namespace

std::string HostPath(const char* path) {
  std::string mapped(path);
  for (char& c : mapped) {
    if (c == '\\') c = hv::kPathSeparator;
  }
  return mapped;
}

File OpenDataFile(const char* path, const char* fileName) {
  if (path != nullptr) {
    File file(std::fopen(HostPath(path).c_str(), "r"));
    if (file) return file;
  }
  // Without a root folder there is nowhere else to look.
  const char* root = GetLogRootFolder();
  if (root == nullptr) return File();
  const std::string fallback = std::string(root) + "/data/" + fileName;
  LogDebug("Opening %s\n", fallback.c_str());
  return File(std::fopen(fallback.c_str(), "r"));
}

bool ReadWord(std::FILE* file, std::string* word) {
  word->clear();
  int c = SkipSpace(file);
  if (c == EOF) return false;
  while (c != EOF && !IsSpace(c)) {
    word->push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  // The separator after a word stays unread, as with fscanf.
  if (c != EOF) std::ungetc(c, file);
  return true;
}

IntegerRead ReadInteger(std::FILE* file, int64_t* value) {
  int c = SkipSpace(file);
  if (c == EOF) return IntegerRead::kEndOfFile;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::fgetc(file);
  }
  if (c == EOF) return IntegerRead::kEndOfFile;
  if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
    std::ungetc(c, file);
    return IntegerRead::kNotANumber;
  }
  int64_t number = 0;
  constexpr int64_t kSaturation = INT64_MAX / 10 - 10;
  while (c != EOF && std::isdigit(static_cast<unsigned char>(c)) != 0) {
    if (number < kSaturation) number = number * 10 + (c - '0');
    c = std::fgetc(file);
  }
  if (c != EOF) std::ungetc(c, file);
  *value = negative ? -number : number;
  return IntegerRead::kRead;
}

std::string ReadRestOfLine(std::FILE* file) {
  std::string line;
  for (int c = std::fgetc(file); c != EOF && c != '\n'; c = std::fgetc(file)) {
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace quill::db
