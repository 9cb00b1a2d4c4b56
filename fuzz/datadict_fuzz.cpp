// Fuzz target: the data-dictionary reader over any bytes as an XML file, then
// every look-up over what it built, the debug dump and the release.
//
// Checks the records' invariants: every definition has at least one column
// and its constraints, the primary-key array holds its named columns before
// its null entries, a range holds exactly two values and a list ends with a
// null entry, and every look-up finds what the dictionary holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "quill/imds/datadict.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Removes the input file when the process ends.
struct InputFileRemover {
  std::string path;
  ~InputFileRemover() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

const std::string& InputPath() {
  // One file per process, so parallel fuzzing jobs do not share it.
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("datadict_fuzz_" + std::to_string(std::random_device{}()) + ".xml"))
          .string();
  static const InputFileRemover remover{path};
  return path;
}

void CheckColumn(const TableDefn* table, const ColumnDefn* column) {
  Require(column->name != nullptr);
  Require(column->dataType <= VEL_SQL_TEXT);
  Require(column->defaultValue != nullptr || column->defaultLength == 0);
  if (column->allowedValues != nullptr) {
    char** values = column->allowedValues->values;
    Require(values != nullptr && values[0] != nullptr);
    if (column->allowedValues->isRange != 0) Require(values[1] != nullptr && values[2] == nullptr);
  }
  // Look-ups reach the first table of a name only (names repeat freely).
  if (GetTableDefn(table->name) != table) return;
  // Column names compare with case, so the first column of this name is found.
  const ColumnDefn* found = GetColumnDefnEntry(table->name, column->name);
  Require(found != nullptr && std::string(found->name) == column->name);
  uint8_t flag = 0;
  GetDefaultValue(table->name, column->name, &flag);
  Require(flag == 1);
  Require(GetColumnDataType(table->name, column->name) == found->dataType);
}

void CheckTable(const TableDefn* table) {
  Require(table->name != nullptr && table->columns != nullptr && table->columns->count > 0);
  Require(table->constraints != nullptr);
  Require(GetTableDefn(table->name) != nullptr);
  for (VectorElement* e = table->columns->head; e != nullptr; e = e->next) {
    CheckColumn(table, static_cast<const ColumnDefn*>(e->data));
  }
  const ConstraintDefn* constraints = table->constraints;
  bool seenNull = false;
  for (int32_t i = 0; i < constraints->primaryKeyCount; ++i) {
    if (constraints->primaryKey[i] == nullptr)
      seenNull = true;
    else
      Require(!seenNull);
  }
  if (constraints->foreignKeys != nullptr) {
    for (VectorElement* e = constraints->foreignKeys->head; e != nullptr; e = e->next) {
      const auto* fk = static_cast<const ForeignKeyDefn*>(e->data);
      Require(fk->localColumn != nullptr && fk->referenceColumn != nullptr &&
              fk->referenceTable != nullptr);
      Require(GetForeignKeyDefn(table, fk->localColumn) != nullptr);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0 && std::fwrite(data, 1, size, file) != size) {
    std::fclose(file);
    return 0;
  }
  std::fclose(file);

  InitDataDictionary();
  LoadDataDictFromXMLFile(InputPath().c_str());
  for (VectorElement* e = GetDataDictionary()->head; e != nullptr; e = e->next) {
    CheckTable(static_cast<const TableDefn*>(e->data));
  }
  PrintDataDictionary();
  if (GetTableDefnCount() > 0) {
    const auto* first = static_cast<const TableDefn*>(GetDataDictionary()->head->data);
    const int32_t before = GetTableDefnCount();
    RemoveTableDefn(std::string(first->name).c_str());
    Require(GetTableDefnCount() == before - 1);
  }
  FreeDataDictionary();
  Require(GetTableDefnCount() == 0);
  return 0;
}
