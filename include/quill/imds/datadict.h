// Column data-type codes and the column definition record of the data
// dictionary.
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

#ifdef __cplusplus
extern "C" {
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

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_DATADICT_H
