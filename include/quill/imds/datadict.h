// The data dictionary: the column data-type codes, the table, column, key
// and foreign-key definitions, and the operations that load and look them up.
//
// The dictionary is a process-wide Vector of TableDefn in load order, filled
// from "datadictionary.txt" and the XML files it names at start-up, and freed
// by FreeDataDictionary at shut-down.
//
// The VEL_SQL_ codes are fixed numbers: they are stored in every column
// definition, select the in-memory layout of a column's values (see
// quill/imds/typed_value.h), and are passed to the SQL generators and the
// database provider. Never renumber them.
//
// A ColumnDefn owns its strings, its default value and its allowed values;
// the dictionary that holds it frees them. The dictionary is read-only once
// the library has started, so these records are read without locks.
#ifndef QUILL_IMDS_DATADICT_H
#define QUILL_IMDS_DATADICT_H

#include <stdint.h>

#include "quill/base/vector.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

enum {
  VEL_SQL_NOT_SUPPORTED_TYPE = 0,
  VEL_SQL_TINYINT = 1,
  VEL_SQL_UNSIGNED_TINYINT = 2,
  VEL_SQL_SMALLINT = 3,
  VEL_SQL_UNSIGNED_SMALLINT = 4,
  VEL_SQL_INT = 5,
  VEL_SQL_UNSIGNED_INT = 6,
  VEL_SQL_BIGINT = 7,
  VEL_SQL_UNSIGNED_LONG_INT = 8,
  VEL_SQL_FLOAT = 9,
  VEL_SQL_DOUBLE = 10,
  VEL_SQL_REAL = 11,
  VEL_SQL_DECIMAL = 12,
  VEL_SQL_NUMERIC = 13,
  VEL_SQL_CHAR = 14,
  VEL_SQL_VARCHAR = 15,
  VEL_SQL_DATE = 16,
  VEL_SQL_TIME = 17,
  VEL_SQL_DATETIME = 18,
  VEL_SQL_BOOLEAN = 19,
  VEL_SQL_BLOB = 20,
  VEL_SQL_CLOB = 21,
  VEL_SQL_TEXT = 22
};

// A column's declared value list or range. A list holds its values followed
// by a null entry; a range holds exactly two entries, from and to.
typedef struct AllowedValues {
  char** values;
  uint8_t isRange;
} AllowedValues;

typedef struct ColumnDefn {
  char* name;
  // A VEL_SQL_ code. CHAR and VARCHAR columns wider than 255 are held as
  // VEL_SQL_TEXT.
  uint8_t dataType;
  // The default-value text converted with ValueFromString under the
  // column's declared type; null when the column has no default.
  void* defaultValue;
  int32_t defaultLength;
  uint8_t unique;
  char* generatorName;
  char* description;
  int32_t maxSize;
  uint8_t nullable;
  AllowedValues* allowedValues;
} ColumnDefn;

// One foreign-key column pair: a foreign-key element with n column pairs
// gives n records that share referenceTable, onDeleteCascade and
// bidirectional.
typedef struct ForeignKeyDefn {
  char* localColumn;
  char* referenceColumn;
  char* referenceTable;
  uint8_t onDeleteCascade;
  uint8_t bidirectional;
} ForeignKeyDefn;

typedef struct ConstraintDefn {
  // primaryKeyCount entries; the named columns first in document order, an
  // entry for each column element without text left null at the end.
  char** primaryKey;
  int32_t primaryKeyCount;
  // Vector of ForeignKeyDefn, created on the first foreign key; null before.
  Vector* foreignKeys;
} ConstraintDefn;

typedef struct TableDefn {
  char* name;
  char* description;
  // Vector of ColumnDefn in document order: the column order of every row of
  // the table.
  Vector* columns;
  // Always present, possibly empty.
  ConstraintDefn* constraints;
} TableDefn;

// The dictionary: a Vector of TableDefn in load order. Duplicate names are
// kept; look-ups find the first.
typedef Vector DataDictionary;

// One (type code, number) pair of a translation table between VEL_SQL_ codes
// and another numbering (the database provider's type numbers).
typedef struct TypeCodeMapEntry {
  uint8_t code;
  int32_t number;
} TypeCodeMapEntry;

// Empties the dictionary (without freeing what it held).
void InitDataDictionary(void);
// Reads the list file from the data folder beside the working directory, or
// from the root folder's data folder, and loads every XML file it names.
// False only when no list file can be opened.
bool LoadAllDataDictFiles(void);
// Reads the list file of the given folder and loads the files it names from
// that folder. False (silently) when the list cannot be opened.
bool LoadDataDictFiles(const char* folder);
// False for a null path, else reads the file (see XmlDataParser) and true.
bool LoadDataDictFromXMLFile(const char* path);
// Adds every table definition the file holds to the dictionary; problems are
// logged. Always true.
bool XmlDataParser(const char* path);

// Table names compare without case, column names with case.
TableDefn* GetTableDefn(const char* tableName);
ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName);
// The column's VEL_SQL_ code, 0 when not found.
uint8_t GetColumnDataType(const char* tableName, const char* columnName);
// The column's default value (may be null); *found is set to 1 when the
// column exists and left alone otherwise.
void* GetDefaultValue(const char* tableName, const char* columnName, uint8_t* found);
// The first foreign key of the definition whose local column equals the name
// without case.
ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* columnName);
// The VEL_SQL_ code of a data-type word (compared without case); 0 for any
// word that is not accepted.
uint8_t GetDataTypeCode(const char* word);
DataDictionary* GetDataDictionary(void);
int32_t GetTableDefnCount(void);
void PrintTableDefn(const TableDefn* tableDefn);
void PrintDataDictionary(void);
// Frees the first definition of that name and removes it; nothing when
// unknown.
void RemoveTableDefn(const char* tableName);
void FreeDataDictionary(void);

// The number stored for a code in a table of `count` pairs, 0 when absent.
int32_t GetMappedTypeNumber(const TypeCodeMapEntry* map, int32_t count, uint8_t code);
// The code stored for a number, 0 when absent.
uint8_t GetMappedTypeCode(const TypeCodeMapEntry* map, int32_t count, int32_t number);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_DATADICT_H
