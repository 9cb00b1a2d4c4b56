// Reading the database layer's plain-text data files ("connparams.txt",
// "dsn_table_map.txt", DSN list files): opening with the root-folder
// fallback, and word and line reads of any length.
//
// The files are sequences of white-space separated words; a word or a rest
// of line is read whole however long it is, so a long value never spills
// into the next field.
#ifndef QUILL_DB_DATA_FILES_H
#define QUILL_DB_DATA_FILES_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace quill::db {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for reading; data-file paths are written with Windows
// separators, which are mapped to the host's. When that fails and a library
// root folder is set, logs "Opening %s\n" (DEBUG) with "<root>/data/<fileName>"
// and opens that. Null when neither opens.
File OpenDataFile(const char* path, const char* fileName);
// The path with '\\' mapped to the host's separator.
std::string HostPath(const char* path);

// Skips white space and reads the next word; false when the file ends first.
bool ReadWord(std::FILE* file, std::string* word);

enum class IntegerRead { kRead, kNotANumber, kEndOfFile };
// Reads a decimal integer as fscanf's "%d" does: white space, an optional
// sign, digits. A word that is not a number is left unread (its sign aside).
IntegerRead ReadInteger(std::FILE* file, int64_t* value);

// The rest of the current line without its line end ("\n" or "\r\n");
// empty at the end of the file.
std::string ReadRestOfLine(std::FILE* file);

}  // namespace quill::db

#endif  // QUILL_DB_DATA_FILES_H
