// The data dictionary: the process-wide list of table definitions, the
// builder that turns a table's XmlTagInfo tree into a TableDefn, the
// look-ups, the debug dump and the release of definitions.
//
// Ownership: the dictionary Vector holds TableDefn records; a TableDefn owns
// its strings, its columns Vector (holders and ColumnDefn records) and its
// ConstraintDefn, which owns the primary-key array and the foreign-key Vector
// with its records. A definition is either complete and in the dictionary or
// entirely freed: the builder assembles it in a scope guard and hands it over
// only at the end.
//
// The dictionary is filled once at start-up and only read afterwards, so the
// look-ups take no lock of their own.
#include "quill/imds/datadict.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/imds/datadict_xml.h"
#include "quill/imds/typed_value.h"

namespace {

Vector gv_dataDictionary = {nullptr, 0, nullptr, nullptr};

void LogOutOfMemory() {
  LogError("MEMORY_ALLOCATION_FAILURE\n");
}

// ---- Releasing records ----

void FreeAllowedValues(AllowedValues* allowed) {
  if (allowed == nullptr) return;
  if (allowed->values != nullptr) {
    for (char** value = allowed->values; *value != nullptr; ++value) std::free(*value);
    std::free(allowed->values);
  }
  std::free(allowed);
}

void FreeColumnDefn(ColumnDefn* column) {
  if (column == nullptr) return;
  std::free(column->name);
  std::free(column->defaultValue);
  std::free(column->generatorName);
  std::free(column->description);
  FreeAllowedValues(column->allowedValues);
  std::free(column);
}

void FreeForeignKeyDefn(ForeignKeyDefn* foreignKey) {
  if (foreignKey == nullptr) return;
  std::free(foreignKey->localColumn);
  std::free(foreignKey->referenceColumn);
  std::free(foreignKey->referenceTable);
  std::free(foreignKey);
}

void FreeConstraintDefn(ConstraintDefn* constraints) {
  if (constraints == nullptr) return;
  FreeStringArray(constraints->primaryKey, static_cast<uint32_t>(constraints->primaryKeyCount));
  if (constraints->foreignKeys != nullptr) {
    for (VectorElement* e = constraints->foreignKeys->head; e != nullptr; e = e->next) {
      FreeForeignKeyDefn(static_cast<ForeignKeyDefn*>(e->data));
    }
    FreeVector(constraints->foreignKeys);
    std::free(constraints->foreignKeys);
  }
  std::free(constraints);
}

void FreeTableDefnRecord(TableDefn* table) {
  if (table == nullptr) return;
  std::free(table->name);
  std::free(table->description);
  if (table->columns != nullptr) {
    for (VectorElement* e = table->columns->head; e != nullptr; e = e->next) {
      FreeColumnDefn(static_cast<ColumnDefn*>(e->data));
    }
    FreeVector(table->columns);
    std::free(table->columns);
  }
  FreeConstraintDefn(table->constraints);
  std::free(table);
}

struct TableDeleter {
  void operator()(TableDefn* table) const { FreeTableDefnRecord(table); }
};
struct ColumnDeleter {
  void operator()(ColumnDefn* column) const { FreeColumnDefn(column); }
};
struct AllowedValuesDeleter {
  void operator()(AllowedValues* allowed) const { FreeAllowedValues(allowed); }
};
struct ForeignKeyDeleter {
  void operator()(ForeignKeyDefn* foreignKey) const { FreeForeignKeyDefn(foreignKey); }
};

// ---- Reading the tree ----

const char* TextOf(const XmlTagInfo* tag) {
  return tag != nullptr && tag->textCount > 0 ? tag->textValues[0] : nullptr;
}

const char* FirstAttribute(const XmlTagInfo* tag) {
  return tag->attributeCount > 0 ? tag->attributeValues[0] : nullptr;
}

const char* Attribute(const XmlTagInfo* tag, const char* name) {
  for (int32_t i = 0; i < tag->attributeCount; ++i) {
    if (std::strcmp(tag->attributeNames[i], name) == 0) return tag->attributeValues[i];
  }
  return nullptr;
}

bool Named(const XmlTagInfo* tag, const char* name) {
  return tag != nullptr && tag->name != nullptr && std::strcmp(tag->name, name) == 0;
}

// Replaces *field with a copy of text (null text clears it). False when out
// of memory.
bool SetText(char** field, const char* text) {
  std::free(*field);
  *field = nullptr;
  if (text == nullptr) return true;
  *field = quill::base::CopyToMalloc(text);
  return *field != nullptr;
}

enum class Build { kOk, kSkip, kFailTable, kOutOfMemory };

// The allowed-values element: consecutive value elements make a list, a from
// element followed by a to element a range. *result stays null when neither
// is there.
Build BuildAllowedValues(const XmlTagInfo* element, AllowedValues** result) {
  *result = nullptr;
  const XmlTagInfo* first = element->firstChild;
  if (first == nullptr) return Build::kOk;
  std::unique_ptr<AllowedValues, AllowedValuesDeleter> allowed(
      static_cast<AllowedValues*>(quill::base::AllocateZeroed(1, sizeof(AllowedValues))));
  if (!allowed) return Build::kOutOfMemory;
  if (Named(first, "from")) {
    const XmlTagInfo* to = first->nextSibling;
    if (TextOf(first) == nullptr) return Build::kOk;  // no from: no range
    if (!Named(to, "to") || TextOf(to) == nullptr) {
      LogError("In the allowed values attribute, 'to' tag is missing.\n");
      return Build::kFailTable;
    }
    allowed->values = static_cast<char**>(quill::base::AllocateZeroed(3, sizeof(char*)));
    if (allowed->values == nullptr) return Build::kOutOfMemory;
    allowed->isRange = 1;
    allowed->values[0] = quill::base::CopyToMalloc(TextOf(first));
    if (allowed->values[0] == nullptr) return Build::kOutOfMemory;
    allowed->values[1] = quill::base::CopyToMalloc(TextOf(to));
    if (allowed->values[1] == nullptr) return Build::kOutOfMemory;
    *result = allowed.release();
    return Build::kOk;
  }
  size_t count = 0;
  for (const XmlTagInfo* v = first; Named(v, "value"); v = v->nextSibling) ++count;
  if (count == 0) return Build::kOk;
  allowed->values = static_cast<char**>(quill::base::AllocateZeroed(count + 1, sizeof(char*)));
  if (allowed->values == nullptr) return Build::kOutOfMemory;
  size_t stored = 0;
  for (const XmlTagInfo* v = first; Named(v, "value"); v = v->nextSibling) {
    if (TextOf(v) == nullptr) continue;  // a value without text is absent
    allowed->values[stored] = quill::base::CopyToMalloc(TextOf(v));
    if (allowed->values[stored] == nullptr) return Build::kOutOfMemory;
    ++stored;
  }
  if (stored == 0) return Build::kOk;
  *result = allowed.release();
  return Build::kOk;
}

Build BuildColumn(const XmlTagInfo* element, const char* tableName, ColumnDefn** result) {
  *result = nullptr;
  const char* name = FirstAttribute(element);
  if (name == nullptr) {
    LogError("Column without a name in table %s is skipped\n", tableName);
    return Build::kSkip;
  }
  std::unique_ptr<ColumnDefn, ColumnDeleter> column(
      static_cast<ColumnDefn*>(quill::base::AllocateZeroed(1, sizeof(ColumnDefn))));
  if (!column || !SetText(&column->name, name)) return Build::kOutOfMemory;
  column->nullable = 1;

  const char* typeWord = nullptr;
  const char* defaultText = nullptr;
  for (const XmlTagInfo* p = element->firstChild; p != nullptr; p = p->nextSibling) {
    const char* text = TextOf(p);
    if (Named(p, "data-type")) {
      typeWord = text;
    } else if (Named(p, "nullable")) {
      column->nullable = text == nullptr || StringCompareNoCase(text, "true") == 0 ? 1 : 0;
    } else if (Named(p, "max-size")) {
      column->maxSize = text == nullptr ? 0 : StringToInt(text);
    } else if (Named(p, "default-value")) {
      defaultText = text;
    } else if (Named(p, "unique")) {
      column->unique = text != nullptr && std::strcmp(text, "true") == 0 ? 1 : 0;
    } else if (Named(p, "uniquevalue-generation")) {
      for (const XmlTagInfo* g = p->firstChild; g != nullptr; g = g->nextSibling) {
        if (Named(g, "generator-name") && TextOf(g) != nullptr &&
            !SetText(&column->generatorName, TextOf(g))) {
          return Build::kOutOfMemory;
        }
      }
    } else if (Named(p, "description")) {
      if (text != nullptr && !SetText(&column->description, text)) return Build::kOutOfMemory;
    } else if (Named(p, "allowed-values")) {
      AllowedValues* allowed = nullptr;
      const Build built = BuildAllowedValues(p, &allowed);
      if (built != Build::kOk) return built;
      if (allowed != nullptr) {
        FreeAllowedValues(column->allowedValues);
        column->allowedValues = allowed;
      }
    }
    // Any other element inside a column is skipped.
  }

  const uint8_t declared = GetDataTypeCode(typeWord);
  column->dataType = declared;
  if ((declared == VEL_SQL_CHAR || declared == VEL_SQL_VARCHAR) && column->maxSize > 255) {
    column->dataType = VEL_SQL_TEXT;
  }
  if (defaultText != nullptr) {
    // The raw codes copy as many bytes as they are told; the others ignore
    // the length they are given.
    int32_t length = static_cast<int32_t>(std::strlen(defaultText));
    column->defaultValue = ValueFromString(defaultText, &length, declared);
    if (column->defaultValue == nullptr) {
      // Kept as "no default" rather than failing the table, but never silently.
      LogError("Default value %s of column %s in table %s does not convert to its type\n",
               defaultText, name, tableName);
      column->defaultLength = 0;
    } else {
      column->defaultLength = length;
    }
  }
  *result = column.release();
  return Build::kOk;
}

Build BuildPrimaryKey(const XmlTagInfo* element, ConstraintDefn* constraints) {
  int32_t count = 0;
  for (const XmlTagInfo* c = element->firstChild; Named(c, "primary-key-column");
       c = c->nextSibling) {
    ++count;
  }
  if (count == 0) return Build::kOk;
  constraints->primaryKey =
      static_cast<char**>(quill::base::AllocateZeroed(static_cast<size_t>(count), sizeof(char*)));
  if (constraints->primaryKey == nullptr) return Build::kOutOfMemory;
  constraints->primaryKeyCount = count;
  int32_t stored = 0;
  for (const XmlTagInfo* c = element->firstChild; Named(c, "primary-key-column");
       c = c->nextSibling) {
    if (TextOf(c) == nullptr) continue;
    constraints->primaryKey[stored] = quill::base::CopyToMalloc(TextOf(c));
    if (constraints->primaryKey[stored] == nullptr) return Build::kOutOfMemory;
    ++stored;
  }
  return Build::kOk;
}

Build AddForeignKey(ConstraintDefn* constraints, const char* local, const char* reference,
                    const char* referenceTable, uint8_t cascade, uint8_t bidirectional) {
  std::unique_ptr<ForeignKeyDefn, ForeignKeyDeleter> foreignKey(
      static_cast<ForeignKeyDefn*>(quill::base::AllocateZeroed(1, sizeof(ForeignKeyDefn))));
  if (!foreignKey || !SetText(&foreignKey->localColumn, local) ||
      !SetText(&foreignKey->referenceColumn, reference) ||
      !SetText(&foreignKey->referenceTable, referenceTable)) {
    return Build::kOutOfMemory;
  }
  foreignKey->onDeleteCascade = cascade;
  foreignKey->bidirectional = bidirectional;
  if (constraints->foreignKeys == nullptr) {
    constraints->foreignKeys = NewVector();
    if (constraints->foreignKeys == nullptr) return Build::kOutOfMemory;
  }
  if (!AddElementData(constraints->foreignKeys, foreignKey.get())) return Build::kOutOfMemory;
  foreignKey.release();
  return Build::kOk;
}

Build BuildForeignKeys(const XmlTagInfo* element, const char* tableName,
                       ConstraintDefn* constraints) {
  for (const XmlTagInfo* fk = element->firstChild; Named(fk, "foreign-key"); fk = fk->nextSibling) {
    const char* referenceTable = Attribute(fk, "reference-table-name");
    if (referenceTable == nullptr) {
      LogError("Foreign key without reference-table-name in table %s is skipped\n", tableName);
      continue;
    }
    const char* bidirectionalText = Attribute(fk, "isbidirectional");
    const uint8_t bidirectional =
        bidirectionalText != nullptr && std::strcmp(bidirectionalText, "true") == 0 ? 1 : 0;
    const XmlTagInfo* columns = fk->firstChild;
    if (!Named(columns, "fk-columns")) {
      LogDebug("fk-columns tag not found \n");
      continue;
    }
    const XmlTagInfo* constraintsTag = columns->nextSibling;
    const uint8_t cascade = Named(constraintsTag, "fk-constraints") &&
                                    TextOf(constraintsTag) != nullptr &&
                                    std::strcmp(TextOf(constraintsTag), "ON-DELETE-CASCADE") == 0
                                ? 1
                                : 0;
    for (const XmlTagInfo* pair = columns->firstChild; Named(pair, "fk-column");
         pair = pair->nextSibling) {
      const XmlTagInfo* local = pair->firstChild;
      const XmlTagInfo* reference = local != nullptr ? local->nextSibling : nullptr;
      if (!Named(local, "fk-local-column") || !Named(reference, "fk-reference-column") ||
          TextOf(local) == nullptr || TextOf(reference) == nullptr) {
        LogError("Incomplete fk-column in a foreign key of table %s is skipped\n", tableName);
        continue;
      }
      const Build added = AddForeignKey(constraints, TextOf(local), TextOf(reference),
                                        referenceTable, cascade, bidirectional);
      if (added != Build::kOk) return added;
    }
  }
  return Build::kOk;
}

Build BuildTable(const XmlTagInfo* root, std::unique_ptr<TableDefn, TableDeleter>& table) {
  const char* name = FirstAttribute(root);
  if (name == nullptr) {
    LogError("Table definition without a name is skipped\n");
    return Build::kFailTable;
  }
  table.reset(static_cast<TableDefn*>(quill::base::AllocateZeroed(1, sizeof(TableDefn))));
  if (!table || !SetText(&table->name, name)) return Build::kOutOfMemory;
  table->columns = NewVector();
  table->constraints =
      static_cast<ConstraintDefn*>(quill::base::AllocateZeroed(1, sizeof(ConstraintDefn)));
  if (table->columns == nullptr || table->constraints == nullptr) return Build::kOutOfMemory;

  // Parts in their fixed order: description, columns, primary-key,
  // foreign-keys. An element out of that order ends the table's reading.
  const XmlTagInfo* part = root->firstChild;
  if (Named(part, "description")) {
    if (!SetText(&table->description, TextOf(part))) return Build::kOutOfMemory;
    part = part->nextSibling;
  }
  if (Named(part, "columns")) {
    for (const XmlTagInfo* c = part->firstChild; Named(c, "column"); c = c->nextSibling) {
      ColumnDefn* column = nullptr;
      const Build built = BuildColumn(c, name, &column);
      if (built == Build::kSkip) continue;
      if (built != Build::kOk) return built;
      if (!AddElementData(table->columns, column)) {
        FreeColumnDefn(column);
        return Build::kOutOfMemory;
      }
    }
    part = part->nextSibling;
  }
  if (table->columns->count == 0) {
    LogError("No columns defined for table %s\n", name);
    return Build::kFailTable;
  }
  if (Named(part, "primary-key")) {
    const Build built = BuildPrimaryKey(part, table->constraints);
    if (built != Build::kOk) return built;
    part = part->nextSibling;
  }
  if (Named(part, "foreign-keys")) {
    const Build built = BuildForeignKeys(part, name, table->constraints);
    if (built != Build::kOk) return built;
  }
  return Build::kOk;
}

TableDefn* FindTable(const char* tableName) {
  for (VectorElement* e = gv_dataDictionary.head; e != nullptr; e = e->next) {
    auto* table = static_cast<TableDefn*>(e->data);
    if (StringCompareNoCase(table->name, tableName) == 0) return table;
  }
  return nullptr;
}

// The shared part of the column look-ups: the entry line is logged by the
// caller.
ColumnDefn* FindColumn(const char* tableName, const char* columnName) {
  if (tableName == nullptr || columnName == nullptr) {
    LogError("Cannot fetch default value;\n");
    return nullptr;
  }
  TableDefn* table = GetTableDefn(tableName);
  if (table == nullptr) {
    LogError("No definition found for table %s\n", tableName);
    return nullptr;
  }
  for (VectorElement* e = table->columns->head; e != nullptr; e = e->next) {
    auto* column = static_cast<ColumnDefn*>(e->data);
    if (std::strcmp(column->name, columnName) == 0) return column;
  }
  return nullptr;
}

}  // namespace

extern "C" {

bool BuildTableDefn(const XmlTagInfo* table) {
  if (table == nullptr) return false;
  std::unique_ptr<TableDefn, TableDeleter> defn;
  const Build built = BuildTable(table, defn);
  if (built == Build::kOutOfMemory) LogOutOfMemory();
  if (built != Build::kOk) return false;
  if (!AddElementData(&gv_dataDictionary, defn.get())) {
    LogOutOfMemory();
    return false;
  }
  defn.release();
  LogTrace("\t@@@@ Loaded Table definition Successfully @@@@\n");
  return true;
}

void InitDataDictionary(void) {
  InitVector(&gv_dataDictionary, nullptr);
}

DataDictionary* GetDataDictionary(void) {
  return &gv_dataDictionary;
}

int32_t GetTableDefnCount(void) {
  return gv_dataDictionary.count;
}

uint8_t GetDataTypeCode(const char* word) {
  if (word == nullptr) {
    LogError("Column data type not supported - Error while creating column definition.\n");
    return VEL_SQL_NOT_SUPPORTED_TYPE;
  }
  static const struct {
    const char* word;
    uint8_t code;
  } kWords[] = {
      {"VEL_SQL_NOT_SUPPORTED_TYPE", VEL_SQL_NOT_SUPPORTED_TYPE},
      {"VEL_SQL_TINYINT", VEL_SQL_TINYINT},
      {"VEL_SQL_UNSIGNED_TINYINT", VEL_SQL_UNSIGNED_TINYINT},
      {"VEL_SQL_SMALLINT", VEL_SQL_SMALLINT},
      {"VEL_SQL_UNSIGNED_SMALLINT", VEL_SQL_UNSIGNED_SMALLINT},
      {"VEL_SQL_INT", VEL_SQL_INT},
      {"INTEGER", VEL_SQL_INT},
      {"LONG", VEL_SQL_INT},
      {"VEL_SQL_UNSIGNED_INT", VEL_SQL_UNSIGNED_INT},
      {"BIGINT", VEL_SQL_BIGINT},
      {"VEL_SQL_UNSIGNED_LONG_INT", VEL_SQL_UNSIGNED_LONG_INT},
      {"VEL_SQL_FLOAT", VEL_SQL_FLOAT},
      {"FLOAT", VEL_SQL_FLOAT},
      {"VEL_SQL_DOUBLE", VEL_SQL_DOUBLE},
      {"VEL_SQL_REAL", VEL_SQL_REAL},
      {"VEL_SQL_DECIMAL", VEL_SQL_DECIMAL},
      {"VEL_SQL_NUMERIC", VEL_SQL_NUMERIC},
      {"VEL_SQL_CHAR", VEL_SQL_CHAR},
      {"CHAR", VEL_SQL_VARCHAR},
      {"NCHAR", VEL_SQL_VARCHAR},
      {"VEL_SQL_DATE", VEL_SQL_DATE},
      {"DATE", VEL_SQL_DATE},
      {"VEL_SQL_TIME", VEL_SQL_TIME},
      {"TIME", VEL_SQL_TIME},
      {"VEL_SQL_DATETIME", VEL_SQL_DATETIME},
      {"DATETIME", VEL_SQL_DATETIME},
      {"TIMESTAMP", VEL_SQL_DATETIME},
      {"BOOLEAN", VEL_SQL_BOOLEAN},
      {"VEL_SQL_BLOB", VEL_SQL_BLOB},
      {"BLOB", VEL_SQL_BLOB},
      {"VEL_SQL_CLOB", VEL_SQL_CLOB},
      {"CLOB", VEL_SQL_CLOB},
      {"VEL_SQL_TEXT", VEL_SQL_TEXT},
      {"TEXT", VEL_SQL_TEXT},
  };
  for (const auto& entry : kWords) {
    if (StringCompareNoCase(word, entry.word) == 0) return entry.code;
  }
  return VEL_SQL_NOT_SUPPORTED_TYPE;
}

TableDefn* GetTableDefn(const char* tableName) {
  if (gv_dataDictionary.count == 0) return nullptr;
  if (tableName == nullptr) {
    LogError("Table Name is NULL.\n");
    return nullptr;
  }
  return FindTable(tableName);
}

ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName) {
  LogTrace("@@@@ Inside GetColumnDefnEntry @@@@\n");
  return FindColumn(tableName, columnName);
}

uint8_t GetColumnDataType(const char* tableName, const char* columnName) {
  LogTrace("@@@@ Inside GetColumnDefnEntry @@@@\n");
  const ColumnDefn* column = FindColumn(tableName, columnName);
  return column != nullptr ? column->dataType : static_cast<uint8_t>(VEL_SQL_NOT_SUPPORTED_TYPE);
}

void* GetDefaultValue(const char* tableName, const char* columnName, uint8_t* found) {
  LogTrace("@@@@ Inside GetDefaultValue @@@@\n");
  const ColumnDefn* column = FindColumn(tableName, columnName);
  if (column == nullptr) return nullptr;
  if (found != nullptr) *found = 1;
  return column->defaultValue;
}

ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* columnName) {
  if (tableDefn == nullptr || tableDefn->constraints == nullptr) {
    LogError("No constraint Definition \n");
    return nullptr;
  }
  const Vector* foreignKeys = tableDefn->constraints->foreignKeys;
  if (foreignKeys == nullptr || foreignKeys->count == 0) {
    LogError("No Foreignkey Entries in Definition \n");
    return nullptr;
  }
  if (columnName == nullptr) {
    LogError("Column Name is NULL.\n");
    return nullptr;
  }
  for (VectorElement* e = foreignKeys->head; e != nullptr; e = e->next) {
    auto* foreignKey = static_cast<ForeignKeyDefn*>(e->data);
    if (StringCompareNoCase(foreignKey->localColumn, columnName) == 0) return foreignKey;
  }
  return nullptr;
}

void PrintTableDefn(const TableDefn* tableDefn) {
  if (tableDefn == nullptr || tableDefn->columns == nullptr || tableDefn->columns->count == 0) {
    return;
  }
  const char* separator = "---------------------------------------\n\n";
  LogDebug("Table Name : %s\n", tableDefn->name);
  LogDebug("Description: %s\n", tableDefn->description != nullptr ? tableDefn->description : "");
  LogDebug("%s", separator);
  for (VectorElement* e = tableDefn->columns->head; e != nullptr; e = e->next) {
    const auto* column = static_cast<const ColumnDefn*>(e->data);
    LogDebug("Column Name : %s\n", column->name);
    LogDebug("Column Type : %d\n", column->dataType);
    LogDebug("Unique Flag : %s\n", column->unique != 0 ? "TRUE" : "FALSE");
    LogDebug("Description : %s\n", column->description != nullptr ? column->description : "");
    LogDebug("%s", separator);
  }
  const ConstraintDefn* constraints = tableDefn->constraints;
  if (constraints == nullptr) return;
  for (int32_t i = 0; i < constraints->primaryKeyCount; ++i) {
    if (constraints->primaryKey[i] != nullptr) {
      LogDebug("Primary key : %s\n\n", constraints->primaryKey[i]);
    }
  }
  if (constraints->foreignKeys == nullptr || constraints->foreignKeys->count == 0) return;
  LogDebug("Foreign key Constraints\n");
  LogDebug("********************************\n");
  for (VectorElement* e = constraints->foreignKeys->head; e != nullptr; e = e->next) {
    const auto* foreignKey = static_cast<const ForeignKeyDefn*>(e->data);
    LogDebug("Column Name : %s\n", foreignKey->localColumn);
    LogDebug("Ref Column  : %s\n", foreignKey->referenceColumn);
    LogDebug("Tablename : %s\n", foreignKey->referenceTable);
  }
  LogDebug("********************************\n");
}

void PrintDataDictionary(void) {
  for (VectorElement* e = gv_dataDictionary.head; e != nullptr; e = e->next) {
    PrintTableDefn(static_cast<const TableDefn*>(e->data));
  }
}

void RemoveTableDefn(const char* tableName) {
  if (tableName == nullptr) return;
  TableDefn* table = FindTable(tableName);
  if (table == nullptr) return;
  DeleteLCDVector(&gv_dataDictionary, table);
  FreeTableDefnRecord(table);
}

void FreeDataDictionary(void) {
  for (VectorElement* e = gv_dataDictionary.head; e != nullptr; e = e->next) {
    FreeTableDefnRecord(static_cast<TableDefn*>(e->data));
  }
  FreeVector(&gv_dataDictionary);
}

int32_t GetMappedTypeNumber(const TypeCodeMapEntry* map, int32_t count, uint8_t code) {
  for (int32_t i = 0; map != nullptr && i < count; ++i) {
    if (map[i].code == code) return map[i].number;
  }
  return 0;
}

uint8_t GetMappedTypeCode(const TypeCodeMapEntry* map, int32_t count, int32_t number) {
  for (int32_t i = 0; map != nullptr && i < count; ++i) {
    if (map[i].number == number) return map[i].code;
  }
  return 0;
}

}  // extern "C"
