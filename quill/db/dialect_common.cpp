// The SQL generators shared by the four dialects (see dialect_common.h).
//
// Texts are built in std::string without a bound; the outer texts of the
// select and CREATE TABLE (and MYSQL's update and insert) grow in a
// StringBuffer as designed, and a failed append fails the statement. Clause
// texts of a select live in the query's pool. Out of memory anywhere gives a
// NULL statement and one "MEMORY_ALLOCATION_FAILURE" line; no exception
// leaves this unit.
#include "quill/db/dialect_common.h"

#include <apr_pools.h>
#include <apr_strings.h>

#include <cctype>
#include <charconv>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/datetime.h"
#include "quill/base/scan.h"
#include "quill/base/string_utils.h"

namespace quill::db {

namespace {

constexpr const char* kMemoryFailure = "MEMORY_ALLOCATION_FAILURE\n";
constexpr const char* kSeparatorLine = "---------------------------------------\n\n";
constexpr const char* kStarLine = "********************************\n";

// Types whose values an update's set items and an insert's values quote.
constexpr uint32_t kQuotedValueTypes = TypeBit(VEL_SQL_CHAR) | TypeBit(VEL_SQL_VARCHAR) |
                                       TypeBit(VEL_SQL_DATE) | TypeBit(VEL_SQL_TIME) |
                                       TypeBit(VEL_SQL_DATETIME) | TypeBit(VEL_SQL_BLOB) |
                                       TypeBit(VEL_SQL_TEXT);
// Types whose key values a delete's conditions quote.
constexpr uint32_t kDeleteKeyQuotedTypes = TypeBit(VEL_SQL_CHAR) | TypeBit(VEL_SQL_VARCHAR) |
                                           TypeBit(VEL_SQL_BLOB) | TypeBit(VEL_SQL_TEXT);
// Types that ValueToPoolString does not render: their criteria values are
// the ValueToString text, always quoted.
constexpr uint32_t kTextOnlyTypes = TypeBit(VEL_SQL_DATE) | TypeBit(VEL_SQL_TIME) |
                                    TypeBit(VEL_SQL_DATETIME) | TypeBit(VEL_SQL_BLOB) |
                                    TypeBit(VEL_SQL_CLOB) | TypeBit(VEL_SQL_TEXT);
// Types whose having values are characters or dates (never bare).
constexpr uint32_t kCharacterLikeTypes =
    kTextOnlyTypes | TypeBit(VEL_SQL_CHAR) | TypeBit(VEL_SQL_VARCHAR);

bool HasType(uint32_t set, uint8_t code) {
  return code <= VEL_SQL_TEXT && (set & TypeBit(code)) != 0;
}

bool IsDateType(uint8_t code) {
  return code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME;
}

const char* Str(const char* text) {
  return text != nullptr ? text : "";
}

bool SameNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

// Runs a generator body; out of memory (or any other exception) gives NULL.
template <typename Body>
auto Guarded(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    LogError("%s", kMemoryFailure);
    return nullptr;
  }
}

// A malloc'ed text from ValueToString, freed with the holder.
struct FreeText {
  void operator()(char* text) const { std::free(text); }
};
using OwnedText = std::unique_ptr<char, FreeText>;

// A StringBuffer that frees its text unless released.
class SqlText {
 public:
  SqlText() = default;
  SqlText(const SqlText&) = delete;
  SqlText& operator=(const SqlText&) = delete;
  ~SqlText() { FreeStringBuffer(&buffer_); }

  bool Init(int32_t capacity, int32_t increment) {
    return InitStringBuffer(&buffer_, capacity, increment) == STRING_BUFFER_OK;
  }
  bool InitDefault() { return InitDefaultStringBuffer(&buffer_) == STRING_BUFFER_OK; }
  bool Append(const std::string& text) {
    return AppendToStringBuffer(&buffer_, text.c_str()) == STRING_BUFFER_OK;
  }
  const char* text() const { return buffer_.text; }
  char* Release() {
    char* text = buffer_.text;
    buffer_.text = nullptr;
    return text;
  }

 private:
  StringBuffer buffer_{};
};

// The select and CREATE TABLE texts are returned as a copy of their buffer.
char* CopyFinalText(const char* text) {
  char* copy = quill::base::CopyToMalloc(text);
  if (copy == nullptr) LogError("@@@ Query String Copy falied @@@\n");
  return copy;
}

char* ToPool(MemPool* pool, const std::string& text) {
  char* copy = pool != nullptr ? apr_pstrmemdup(pool, text.data(), text.size()) : nullptr;
  if (copy == nullptr) LogError("%s", kMemoryFailure);
  return copy;
}

void AppendItem(std::string* list, const char* separator, const std::string& item) {
  if (!list->empty()) *list += separator;
  *list += item;
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) AppendItem(&text, separator, item);
  return text;
}

bool IsBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Optional sign, digits with at most one ".", at least one digit.
bool IsNumberText(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digit = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      digit = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

bool IsWrappedInQuotes(std::string_view text) {
  return text.size() >= 2 && text.front() == '\'' && text.back() == '\'';
}

// A character value that may carry its own quotes: kept wrapped (interior
// escaped), or quoted.
std::string SelfQuoted(std::string_view text, const DialectRules& rules) {
  if (IsWrappedInQuotes(text)) return Quoted(text.substr(1, text.size() - 2), rules);
  return Quoted(text, rules);
}

// ---- Select pieces ----

const char* Qualifier(const QueryColumn* column) {
  if (column->tableAlias != nullptr) return column->tableAlias;
  return column->tableName;
}

// "qualifier." or nothing.
std::string QualifierPart(const QueryColumn* column) {
  const char* qualifier = Qualifier(column);
  return qualifier != nullptr ? std::string(qualifier) + "." : std::string();
}

std::string QualifiedName(const QueryColumn* column) {
  return QualifierPart(column) + Str(column->columnName);
}

std::string TableAlias(const DialectRules& rules, const char* alias) {
  return rules.aliasWithAs ? std::string(" as ") + alias + " " : std::string(" ") + alias + " ";
}

std::string JoinAlias(const DialectRules& rules, const char* alias) {
  return rules.aliasWithAs ? std::string("as ") + alias + " " : std::string(alias) + " ";
}

bool FunctionText(uint8_t function, const char** text) {
  if (function >= AGGREGATE_FUNCTION_COUNT) {
    LogError("Invalid Aggregate Function %u\n", static_cast<unsigned>(function));
    return false;
  }
  *text = gv_aggregateFunctionTexts[function];
  return true;
}

bool OperatorText(uint8_t op, const char** text) {
  if (op >= CRITERIA_OPERATOR_COUNT) {
    LogError("Invalid Criteria Operator %u\n", static_cast<unsigned>(op));
    return false;
  }
  *text = gv_criteriaOperatorTexts[op];
  return true;
}

bool IsLogicNode(const CriteriaExp* node) {
  return node->op == QUERY_OP_AND || node->op == QUERY_OP_OR;
}

// The in-order text has no brackets of its own, so an OR below an AND is
// bracketed to keep the tree's meaning (AND binds more strongly in SQL).
bool NeedsBrackets(const CriteriaExp* parent, const CriteriaExp* child) {
  return parent->op == QUERY_OP_AND && child->op == QUERY_OP_OR;
}

// Value bytes as text (up to the first zero byte).
std::string_view BytesText(const void* value, uint32_t valueLength) {
  const auto* bytes = static_cast<const char*>(value);
  size_t length = 0;
  while (length < valueLength && bytes[length] != '\0') ++length;
  return std::string_view(bytes, length);
}

std::string_view ValueText(const CriteriaExp* node) {
  return BytesText(node->value, node->valueLength);
}

// The text of a value as statements write it: ValueToString's, except that a
// DATE value is written as its date part and a TIME value as its time part.
// A value made from a text holds both parts, and its ValueToString text
// ("2024-01-05 00:00:00", "0000-00-00 10:20:30") is refused by servers or
// compares as another text.
OwnedText StatementText(const void* value, int32_t length, uint8_t type) {
  if (value != nullptr && (type == VEL_SQL_DATE || type == VEL_SQL_TIME)) {
    const auto* record = static_cast<const VelDateTime*>(value);
    if (type == VEL_SQL_DATE && record->date != nullptr) {
      return OwnedText(VelDateToString(record->date));
    }
    if (type == VEL_SQL_TIME && record->time != nullptr) {
      return OwnedText(VelTimeToString(record->time));
    }
  }
  return OwnedText(ValueToString(value, length, type));
}

// The statement text of a criterion's value. A date or time value that is
// not a record (its length says so) is taken as the text it holds rather
// than read through pointers it does not have.
OwnedText CriterionText(const CriteriaExp* node, uint8_t type) {
  if (node->value != nullptr && IsDateType(type) &&
      node->valueLength != VEL_DATETIME_VALUE_LENGTH) {
    return OwnedText(quill::base::CopyToMalloc(ValueText(node)));
  }
  return StatementText(node->value, static_cast<int32_t>(node->valueLength), type);
}

// One bound of a BETWEEN value with its surrounding blanks kept.
bool BetweenBound(std::string_view piece, const DialectRules& rules, std::string* out) {
  size_t begin = 0;
  size_t end = piece.size();
  while (begin < end && IsBlank(piece[begin])) ++begin;
  while (end > begin && IsBlank(piece[end - 1])) --end;
  std::string_view bound = piece.substr(begin, end - begin);
  if (bound.empty()) return false;
  *out += piece.substr(0, begin);
  *out += IsNumberText(bound) ? std::string(bound) : SelfQuoted(bound, rules);
  *out += piece.substr(end);
  return true;
}

bool IsAndWord(std::string_view word) {
  return std::tolower(static_cast<unsigned char>(word[0])) == 'a' &&
         std::tolower(static_cast<unsigned char>(word[1])) == 'n' &&
         std::tolower(static_cast<unsigned char>(word[2])) == 'd';
}

// "low and high": each bound a number or a (re-escaped) literal; the
// separator is the single "and" outside quotes between blanks.
bool BetweenValue(std::string_view text, const DialectRules& rules, std::string* out) {
  std::vector<size_t> separators;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'') {
      quoted = !quoted;
    } else if (!quoted && i > 0 && i + 3 < text.size() && IsBlank(text[i - 1]) &&
               IsBlank(text[i + 3]) && IsAndWord(text.substr(i, 3))) {
      separators.push_back(i);
    }
  }
  if (separators.size() == 1 && !quoted) {
    const size_t at = separators.front();
    std::string value;
    if (BetweenBound(text.substr(0, at), rules, &value)) {
      value += text.substr(at, 3);
      if (BetweenBound(text.substr(at + 3), rules, &value)) {
        *out += value;
        return true;
      }
    }
  }
  LogError("Cannot write the BETWEEN value %.*s\n", static_cast<int>(text.size()), text.data());
  return false;
}

// The value part of a relational node, blanks included.
bool CriterionValue(const DialectRules& rules, const CriteriaExp* node, MemPool* pool,
                    std::string* out) {
  const QueryColumn* column = node->column;
  const uint8_t type = column->dataType;
  const bool named = column->columnName != nullptr;
  const bool between = node->op == QUERY_OP_BETWEEN;
  const bool boolean = type == VEL_SQL_BOOLEAN;
  if (node->value == nullptr) {
    // Nothing to write: a NULL operand would compare with nothing.
  } else if (named && !between && !boolean) {
    if (HasType(kTextOnlyTypes, type)) {
      OwnedText text = CriterionText(node, type);
      if (text != nullptr) {
        *out += " " + Quoted(text.get(), rules) + " ";
        return true;
      }
    } else if (const char* text = ValueToPoolString(
                   node->value, static_cast<int32_t>(node->valueLength), type, pool)) {
      const bool characters = type == VEL_SQL_CHAR || type == VEL_SQL_VARCHAR;
      if (!characters) {
        *out += " " + BareOrQuoted(text, rules) + " ";
      } else if (rules.criteriaValues == CriteriaValues::kBare) {
        *out += " " + SelfQuoted(text, rules) + " ";
      } else {
        *out += " " + Quoted(text, rules) + " ";
      }
      return true;
    }
  } else if (boolean) {
    const bool truth = *static_cast<const uint8_t*>(node->value) == 1;
    if (rules.criteriaValues == CriteriaValues::kQuotedTextBoolean) {
      *out += truth ? "  't'  " : "  'f'  ";
    } else {
      *out += truth ? " 1 " : " 0 ";
    }
    return true;
  } else if (between) {
    *out += " ";
    if (!BetweenValue(ValueText(node), rules, out)) return false;
    *out += " ";
    return true;
  }
  LogError("Criterion value of column %s cannot be written\n", Str(column->columnName));
  return false;
}

bool RelationalText(const DialectRules& rules, const CriteriaExp* node, MemPool* pool,
                    std::string* out) {
  const QueryColumn* column = node->column;
  if (column == nullptr) {
    LogError("Criteria node without a column\n");
    return false;
  }
  const char* op = nullptr;
  if (!OperatorText(node->op, &op)) return false;
  const char* qualifier = Qualifier(column);
  if (qualifier != nullptr) *out += std::string(" ") + qualifier + ".";
  *out += Str(column->columnName);
  *out += std::string(" ") + op + " ";
  return CriterionValue(rules, node, pool, out);
}

// The in-order walk over the tree, without recursion so that a deep tree
// cannot exhaust the stack. Each node visited logs the walk's trace line.
bool CriteriaText(const DialectRules& rules, const CriteriaExp* root, MemPool* pool,
                  std::string* out) {
  struct Frame {
    const CriteriaExp* node;
    int stage;
    bool brackets;
  };
  std::vector<Frame> stack;
  if (root != nullptr) stack.push_back({root, 0, false});
  while (!stack.empty()) {
    const size_t top = stack.size() - 1;
    const Frame frame = stack[top];
    const CriteriaExp* node = frame.node;
    const bool logic = IsLogicNode(node);
    if (frame.stage == 0) {
      LogTrace("@@@@@@@@@@@ - INSIDE %sGenCriteriaString - @@@@@@@@@@@@@", rules.prefix);
      if (frame.brackets) *out += "(";
      stack[top].stage = 1;
      if (logic && node->left != nullptr) {
        stack.push_back({node->left, 0, NeedsBrackets(node, node->left)});
      }
    } else if (frame.stage == 1) {
      if (logic) {
        *out += std::string(" ") + gv_criteriaOperatorTexts[node->op] + " ";
      } else if (!RelationalText(rules, node, pool, out)) {
        return false;
      }
      stack[top].stage = 2;
      if (logic && node->right != nullptr) {
        stack.push_back({node->right, 0, NeedsBrackets(node, node->right)});
      }
    } else {
      if (frame.brackets) *out += ")";
      stack.pop_back();
    }
  }
  return true;
}

// A having value: the ValueToString text; characters and dates in quotes.
bool HavingValue(const DialectRules& rules, const CriteriaExp* having, std::string* out) {
  const uint8_t type = having->column->dataType;
  OwnedText text = CriterionText(having, type);
  if (text == nullptr) {
    LogError("Having value of column %s cannot be written\n", Str(having->column->columnName));
    return false;
  }
  if (having->value == nullptr) {
    *out += text.get();
  } else if (HasType(kCharacterLikeTypes, type)) {
    *out += SelfQuoted(text.get(), rules);
  } else {
    *out += BareOrQuoted(text.get(), rules);
  }
  return true;
}

bool HavingText(const DialectRules& rules, const CriteriaExp* having, std::string* out) {
  if (having->column == nullptr) {
    LogError("Criteria node without a column\n");
    return false;
  }
  const char* function = nullptr;
  const char* op = nullptr;
  if (!FunctionText(having->column->function, &function) || !OperatorText(having->op, &op)) {
    return false;
  }
  *out += "having ";
  *out += std::string(" ") + function + "(" + QualifiedName(having->column) + ") ";
  *out += std::string(" ") + op + " ";
  *out += " ";
  if (!HavingValue(rules, having, out)) return false;
  *out += " ";
  return true;
}

// The side of a join condition: the column's qualifier, else the join's
// alias or table name for that side.
std::string JoinSide(const QueryColumn* column, const char* alias, const char* tableName) {
  const char* qualifier = Qualifier(column);
  if (qualifier == nullptr) qualifier = alias != nullptr ? alias : tableName;
  return std::string(Str(qualifier)) + "." + Str(column->columnName);
}

bool JoinConditions(const QueryJoin* join, std::string* out) {
  if (join->baseColumns == nullptr || join->refColumns == nullptr ||
      join->baseColumns->count == 0) {
    return true;
  }
  if (join->refColumns->count < join->baseColumns->count) {
    LogError("Join of %s and %s has fewer referenced than base columns\n", Str(join->baseTableName),
             Str(join->refTableName));
    return false;
  }
  *out += " on ";
  const VectorElement* ref = join->refColumns->head;
  for (const VectorElement* base = join->baseColumns->head; base != nullptr && ref != nullptr;
       base = base->next, ref = ref->next) {
    const auto* baseColumn = static_cast<const QueryColumn*>(base->data);
    const auto* refColumn = static_cast<const QueryColumn*>(ref->data);
    if (baseColumn == nullptr || refColumn == nullptr) {
      LogError("Join of %s and %s has an empty column\n", Str(join->baseTableName),
               Str(join->refTableName));
      return false;
    }
    if (base != join->baseColumns->head) *out += " and ";
    *out += JoinSide(baseColumn, join->baseTableAlias, join->baseTableName);
    *out += " = ";
    *out += JoinSide(refColumn, join->refTableAlias, join->refTableName);
  }
  *out += " ";
  return true;
}

bool BadQuery(const SelectQuery* query) {
  if (query != nullptr && query->pool != nullptr) return false;
  LogError("No select query given\n");
  return true;
}

const VectorElement* ListHead(const Vector* list) {
  return list != nullptr ? list->head : nullptr;
}

// One clause function of a select: its TRACE line, then the text that body
// writes (false: no text), copied into the query's pool.
template <typename Body>
char* Clause(const DialectRules& rules, const char* name, SelectQuery* query, Body&& body) {
  LogTrace("@@@@@@@@@@@ - INSIDE %s%s - @@@@@@@@@@@@@", rules.prefix, name);
  if (BadQuery(query)) return nullptr;
  return Guarded([&]() -> char* {
    std::string text;
    if (!body(&text)) return nullptr;
    return ToPool(query->pool, text);
  });
}

// ---- Row statements ----

// The table's columns in definition order.
std::vector<const ColumnDefn*> ColumnsOf(const TableDefn* defn) {
  std::vector<const ColumnDefn*> columns;
  for (const VectorElement* e = defn->columns->head; e != nullptr; e = e->next) {
    columns.push_back(static_cast<const ColumnDefn*>(e->data));
  }
  return columns;
}

// The definition of a table with at least one column, or NULL.
const TableDefn* TableWithColumns(const char* tableName) {
  const TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr || defn->columns == nullptr || defn->columns->count == 0) return nullptr;
  for (const VectorElement* e = defn->columns->head; e != nullptr; e = e->next) {
    if (e->data == nullptr) return nullptr;
  }
  return defn;
}

// The named primary-key entries of the definition.
std::vector<const char*> PrimaryKeyNames(const TableDefn* defn) {
  std::vector<const char*> names;
  const ConstraintDefn* constraints = defn->constraints;
  if (constraints == nullptr || constraints->primaryKey == nullptr) return names;
  for (int32_t i = 0; i < constraints->primaryKeyCount; ++i) {
    if (constraints->primaryKey[i] != nullptr) names.push_back(constraints->primaryKey[i]);
  }
  return names;
}

int KeyMatches(const std::vector<const char*>& keys, const char* columnName) {
  int matches = 0;
  for (const char* key : keys) matches += SameNoCase(key, columnName) ? 1 : 0;
  return matches;
}

// A statement that names its row by key needs a primary key whose every
// column is a column of the table: a condition over part of a key could
// reach other rows.
bool RowKeyUsable(const std::vector<const char*>& keys,
                  const std::vector<const ColumnDefn*>& columns, const char* statement,
                  const char* tableName) {
  if (keys.empty()) {
    LogError("Cannot generate the %s query of table %s: the table has no primary key\n", statement,
             tableName);
    return false;
  }
  for (const char* key : keys) {
    bool found = false;
    for (const ColumnDefn* column : columns) found = found || SameNoCase(column->name, key);
    if (!found) {
      LogError("Cannot generate the %s query of table %s: primary key %s is not a column\n",
               statement, tableName, key);
      return false;
    }
  }
  return true;
}

void RefuseNullKey(const char* statement, const char* tableName, const char* columnName) {
  LogError("Cannot generate the %s query of table %s: key column %s has no value\n", statement,
           tableName, columnName);
}

bool RowUsable(const RowObject* row, const char* tableName) {
  if (row != nullptr && row->values != nullptr && row->lengths != nullptr) return true;
  LogError("No row given for table %s\n", Str(tableName));
  return false;
}

// MYSQL grows its update and insert texts in a default StringBuffer, set up
// as the statement's first step.
bool PrepareRowBuffer(const DialectRules& rules, SqlText* buffer) {
  if (!rules.mysqlRowTexts || buffer->InitDefault()) return true;
  LogError("MEMORY_ALLOCATION_FAILURE - Cannot generate insert query.\n");
  return false;
}

// The definition and columns of the row's table; NULL when the statement
// cannot be made.
const TableDefn* RowTable(const char* tableName, const RowObject* row,
                          std::vector<const ColumnDefn*>* columns) {
  const TableDefn* defn = TableWithColumns(tableName);
  if (defn == nullptr || !RowUsable(row, tableName)) return nullptr;
  *columns = ColumnsOf(defn);
  return defn;
}

// The statement handed to the caller: MYSQL's buffer text, or a copy.
char* RowText(const DialectRules& rules, SqlText* buffer, const std::string& statement) {
  if (!rules.mysqlRowTexts) return quill::base::CopyToMalloc(statement);
  return buffer->Append(statement) ? buffer->Release() : nullptr;
}

bool IsTrueText(const char* text) {
  return StringCompareNoCase(text, "'t'") == 0;
}

std::string SetItemValue(const DialectRules& rules, uint8_t type, const char* text) {
  if (HasType(kQuotedValueTypes, type)) return Quoted(text, rules);
  if (type == VEL_SQL_BOOLEAN && rules.updateBooleanAsNumber) return IsTrueText(text) ? "1" : "0";
  return BareOrQuoted(text, rules);
}

// ---- CREATE TABLE ----

// A signed integer default read at its type's width.
int64_t SignedDefault(const void* value, uint8_t type) {
  switch (GetDataTypeWidth(type)) {
    case 1: {
      int8_t v;
      std::memcpy(&v, value, sizeof v);
      return v;
    }
    case 2: {
      int16_t v;
      std::memcpy(&v, value, sizeof v);
      return v;
    }
    case 4: {
      int32_t v;
      std::memcpy(&v, value, sizeof v);
      return v;
    }
    default: {
      int64_t v;
      std::memcpy(&v, value, sizeof v);
      return v;
    }
  }
}

std::string DefaultClause(const DialectRules& rules, const ColumnDefn* column) {
  const void* value = column->defaultValue;
  if (value == nullptr) return " ";
  const uint8_t type = column->dataType;
  switch (type) {
    case VEL_SQL_TINYINT:
    case VEL_SQL_SMALLINT:
    case VEL_SQL_INT:
    case VEL_SQL_BIGINT:
      return "DEFAULT " + std::to_string(SignedDefault(value, type));
    case VEL_SQL_UNSIGNED_LONG_INT: {
      uint64_t v;
      std::memcpy(&v, value, sizeof v);
      return "DEFAULT " + std::to_string(v);
    }
    case VEL_SQL_BOOLEAN: {
      const bool truth = *static_cast<const uint8_t*>(value) == 1;
      if (rules.booleanDefaultAsText) return truth ? "DEFAULT 't'" : "DEFAULT 'f'";
      return truth ? "DEFAULT 1" : "DEFAULT 0";
    }
    case VEL_SQL_CHAR:
    case VEL_SQL_VARCHAR:
    case VEL_SQL_BLOB:
    case VEL_SQL_CLOB:
      return "DEFAULT " + Quoted(static_cast<const char*>(value), rules);
    default:
      return " ";
  }
}

// The column's text; false when the dialect has no column type for its type.
bool ColumnText(const DialectRules& rules, const ColumnDefn* column, std::string* text) {
  if (column->dataType > VEL_SQL_TEXT) return false;
  const CreateColumnFormat& format = rules.columns[column->dataType];
  if (format.word == nullptr) return false;
  *text += std::string("\t") + Str(column->name) + format.word;
  if (format.varchar) *text += std::to_string(column->maxSize + rules.varcharExtra) + ") ";
  if (format.withDefault) *text += DefaultClause(rules, column);
  *text += format.tail;
  return true;
}

// Consecutive foreign-key records to the same table (without case), over
// reference columns other than the group's first one, form one group.
struct ForeignKeyGroup {
  const char* referenceTable;
  const char* firstReference;
  std::vector<std::string> localColumns;
  std::vector<std::string> referenceColumns;
};

std::vector<ForeignKeyGroup> ForeignKeyGroups(const Vector* foreignKeys) {
  std::vector<ForeignKeyGroup> groups;
  for (const VectorElement* e = foreignKeys->head; e != nullptr; e = e->next) {
    const auto* key = static_cast<const ForeignKeyDefn*>(e->data);
    if (key == nullptr) continue;
    const char* reference = Str(key->referenceColumn);
    if (groups.empty() || !SameNoCase(groups.back().referenceTable, key->referenceTable) ||
        std::strcmp(groups.back().firstReference, reference) == 0) {
      groups.push_back({key->referenceTable, reference, {}, {}});
    }
    groups.back().localColumns.emplace_back(Str(key->localColumn));
    groups.back().referenceColumns.emplace_back(reference);
  }
  return groups;
}

std::string ForeignKeysText(const DialectRules& rules, const char* tableName,
                            const Vector* foreignKeys) {
  LogTrace("Foreign key Constraints\n");
  LogTrace("%s", kStarLine);
  std::string text = ",\n";
  const std::vector<ForeignKeyGroup> groups = ForeignKeyGroups(foreignKeys);
  for (size_t k = 0; k < groups.size(); ++k) {
    const ForeignKeyGroup& group = groups[k];
    const std::string locals = Join(group.localColumns, ",");
    const std::string references = Join(group.referenceColumns, ",");
    if (!rules.foreignKeyIndexes) {
      LogTrace("Column Name : %s\n", locals.c_str());
      LogTrace("Ref Column  : %s\n", references.c_str());
      LogTrace("Tablename : %s\n", Str(group.referenceTable));
    }
    if (k > 0) text += ",\n";
    text += "\tFOREIGN KEY(" + locals + ") REFERENCES " + Str(group.referenceTable) + " (" +
            references + ") ON DELETE CASCADE";
    if (rules.foreignKeyIndexes) {
      text +=
          ",\n\tINDEX " + std::string(tableName) + "_IDX" + std::to_string(k) + " (" + locals + ")";
    }
  }
  LogTrace("%s", kStarLine);
  return text;
}

// ---- Result rows ----

// A value of the date type from its text, read as ValueFromString reads
// dates ('-' marks a date part, ':' a time part), holding the parts of the
// type: a DATE needs the text's date part, a TIME its time part, a DATETIME
// its date part (a text without time is midnight). NULL when the text does
// not read so.
void* DateFromText(const std::string& text, uint8_t type) {
  const bool hasDate = text.find('-') != std::string::npos;
  const bool hasTime = text.find(':') != std::string::npos;
  if (type == VEL_SQL_TIME ? !hasTime : !hasDate) return nullptr;
  const char* format = !hasDate ? "%d:%d:%d" : hasTime ? "%d-%d-%d %d:%d:%d" : "%d-%d-%d";
  const size_t expected = hasDate && hasTime ? 6 : 3;
  std::vector<quill::base::ScanField> fields;
  if (quill::base::ScanText(text, format, &fields) != static_cast<int>(expected)) return nullptr;
  for (size_t i = 0; i < expected; ++i) {
    const int64_t limit = hasDate && i == 0 ? UINT16_MAX : UINT8_MAX;
    if (fields[i].number < 0 || fields[i].number > limit) return nullptr;
  }
  VelDate date{};
  VelTime time{};
  size_t next = 0;
  if (hasDate) {
    date.year = static_cast<uint16_t>(fields[next++].number);
    date.month = static_cast<uint8_t>(fields[next++].number);
    date.day = static_cast<uint8_t>(fields[next++].number);
  }
  if (hasTime) {
    time.hour = static_cast<uint8_t>(fields[next++].number);
    time.minute = static_cast<uint8_t>(fields[next++].number);
    time.second = static_cast<uint8_t>(fields[next++].number);
  }
  VelDateTime value{};
  if (type != VEL_SQL_TIME) value.date = &date;
  if (type != VEL_SQL_DATE) value.time = &time;
  void* copy = CopyTypedValue(&value, VEL_DATETIME_VALUE_LENGTH, type, nullptr);
  if (copy == nullptr) throw std::bad_alloc();
  return copy;
}

// Codes whose values are bytes as received.
bool IsRawType(uint8_t code) {
  return code == VEL_SQL_NOT_SUPPORTED_TYPE || code == VEL_SQL_DECIMAL || code == VEL_SQL_NUMERIC ||
         code == VEL_SQL_BLOB || code == VEL_SQL_CLOB;
}

// A whole number (optional sign, digits) that T holds.
template <typename T>
bool FitsInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || (text.front() == '-' && !std::is_signed_v<T>)) {
    return false;
  }
  T number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

// Whether ValueFromString reads the text as the number type's value (it
// reads any other text as 0, and wraps what its type does not hold).
bool ReadsAsNumber(std::string_view text, uint8_t type) {
  switch (type) {
    case VEL_SQL_TINYINT:
      return FitsInteger<int8_t>(text);
    case VEL_SQL_UNSIGNED_TINYINT:
      return FitsInteger<uint8_t>(text);
    case VEL_SQL_SMALLINT:
      return FitsInteger<int16_t>(text);
    case VEL_SQL_UNSIGNED_SMALLINT:
      return FitsInteger<uint16_t>(text);
    case VEL_SQL_INT:
      return FitsInteger<int32_t>(text);
    case VEL_SQL_UNSIGNED_INT:
      return FitsInteger<uint32_t>(text);
    case VEL_SQL_BIGINT:
      return FitsInteger<int64_t>(text);
    case VEL_SQL_UNSIGNED_LONG_INT:
      return FitsInteger<uint64_t>(text);
    default:  // FLOAT, DOUBLE, REAL
      return IsNumberText(text);
  }
}

// A boolean's text as drivers deliver it: "1", "t", "true" or "0", "f",
// "false" in any case; the word ValueFromString reads, or NULL.
const char* BooleanWord(const std::string& text) {
  for (const char* truth : {"1", "t", "true"}) {
    if (StringCompareNoCase(text.c_str(), truth) == 0) return "TRUE";
  }
  for (const char* falsehood : {"0", "f", "false"}) {
    if (StringCompareNoCase(text.c_str(), falsehood) == 0) return "FALSE";
  }
  return nullptr;
}

// The text form of a cell of the result type: ValueToString's, or for a cell
// of type 0 the characters the driver delivered. False without a text.
bool CellText(const ResultCell* cell, uint8_t resultType, std::string* text) {
  if (resultType == VEL_SQL_NOT_SUPPORTED_TYPE) {
    *text = BytesText(cell->data, static_cast<uint32_t>(cell->length > 0 ? cell->length : 0));
    return true;
  }
  OwnedText owned(ValueToString(cell->data, cell->length, resultType));
  if (owned == nullptr) return false;
  *text = owned.get();
  return true;
}

// A cell (with data) as a new value of the column's type: copied when the
// result has that type, otherwise converted through its text form (bytes of
// a raw type stay bytes). NULL when the cell holds no value of the type.
void* CellValue(const ResultCell* cell, uint8_t resultType, uint8_t columnType, int32_t* length) {
  if (resultType == columnType || (IsRawType(resultType) && IsRawType(columnType))) {
    void* copy = CopyTypedValue(cell->data, cell->length, columnType, length);
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
  }
  std::string text;
  if (!CellText(cell, resultType, &text)) return nullptr;
  if (IsDateType(columnType)) {
    *length = VEL_DATETIME_VALUE_LENGTH;
    return DateFromText(text, columnType);
  }
  if (columnType == VEL_SQL_BOOLEAN) {
    const char* word = BooleanWord(text);
    return word != nullptr ? ValueFromString(word, length, columnType) : nullptr;
  }
  if (columnType >= VEL_SQL_TINYINT && columnType <= VEL_SQL_REAL &&
      !ReadsAsNumber(text, columnType)) {
    return nullptr;
  }
  *length = static_cast<int32_t>(text.size());
  return ValueFromString(text.c_str(), length, columnType);
}

struct RowParts {
  int32_t count = 0;
  void** values = nullptr;
  int32_t* lengths = nullptr;
  RowParts() = default;
  RowParts(const RowParts&) = delete;
  RowParts& operator=(const RowParts&) = delete;
  ~RowParts() {
    if (values != nullptr) {
      for (int32_t i = 0; i < count; ++i) std::free(values[i]);
    }
    std::free(static_cast<void*>(values));
    std::free(lengths);
  }
};

}  // namespace

// ---- Values ----

std::string Escape(std::string_view text, const DialectRules& rules) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '\'') {
      escaped += "''";
    } else if (c == '\\' && rules.escapeBackslashes) {
      escaped += "\\\\";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Quoted(std::string_view text, const DialectRules& rules) {
  return "'" + Escape(text, rules) + "'";
}

std::string BareOrQuoted(std::string_view text, const DialectRules& rules) {
  if (IsNumberText(text) || text == "'t'" || text == "'f'") return std::string(text);
  return Quoted(text, rules);
}

// ---- Select ----

char* GenColumns(const DialectRules& rules, SelectQuery* query) {
  return Clause(rules, "GenerateColumnsStr", query, [&](std::string* text) {
    for (const VectorElement* e = query->columns.head; e != nullptr; e = e->next) {
      const auto* column = static_cast<const QueryColumn*>(e->data);
      if (column == nullptr) continue;
      if (column->function == AGGREGATE_NONE) {
        *text += QualifiedName(column);
        if (column->columnAlias != nullptr)
          *text += " as " + std::string(column->columnAlias) + " ";
      } else {
        const char* function = nullptr;
        if (!FunctionText(column->function, &function)) return false;
        if (column->columnName == nullptr) {
          *text += std::string(" ") + function + "(*)";
        } else {
          *text += std::string(" ") + function + "(" + QualifiedName(column) + ")";
        }
      }
      *text += e->next != nullptr ? "," : " \n";
    }
    return true;
  });
}

char* GenJoins(const DialectRules& rules, SelectQuery* query) {
  return Clause(rules, "GenerateJoinsStr", query, [&](std::string* text) {
    for (const VectorElement* e = query->joins.head; e != nullptr; e = e->next) {
      const auto* join = static_cast<const QueryJoin*>(e->data);
      if (join == nullptr) continue;
      if (text->empty()) {
        *text += std::string(" ") + Str(join->baseTableName) + " ";
        if (join->baseTableAlias != nullptr) *text += JoinAlias(rules, join->baseTableAlias);
      }
      if (join->joinType == QUERY_INNER_JOIN) {
        *text += " inner join ";
      } else if (join->joinType == QUERY_LEFT_JOIN) {
        *text += " left join ";
      } else {
        LogError("Invalid Join Type\n");
        return false;
      }
      *text += std::string(" ") + Str(join->refTableName) + " ";
      if (join->refTableAlias != nullptr) *text += JoinAlias(rules, join->refTableAlias);
      if (!JoinConditions(join, text)) return false;
    }
    return true;
  });
}

char* GenTableList(const DialectRules& rules, SelectQuery* query) {
  return Clause(rules, "GenerateTableListStr", query, [&](std::string* text) {
    for (const VectorElement* e = query->tables.head; e != nullptr; e = e->next) {
      const auto* table = static_cast<const QueryTable*>(e->data);
      if (table == nullptr) continue;
      *text += Str(table->tableName);
      if (table->tableAlias != nullptr) *text += TableAlias(rules, table->tableAlias);
      *text += e->next != nullptr ? ", " : "\n";
    }
    return true;
  });
}

char* GenCriteriaSubtree(const DialectRules& rules, const CriteriaExp* node, MemPool* pool) {
  if (pool == nullptr) {
    LogError("No select query given\n");
    return nullptr;
  }
  return Guarded([&]() -> char* {
    std::string text;
    if (!CriteriaText(rules, node, pool, &text)) return nullptr;
    return ToPool(pool, text);
  });
}

char* GenCriteria(const DialectRules& rules, SelectQuery* query) {
  LogTrace("@@@@@@@@@@@ - INSIDE %sGenerateCriteriaStr - @@@@@@@@@@@@@", rules.prefix);
  if (BadQuery(query)) return nullptr;
  return GenCriteriaSubtree(rules, query->criteria, query->pool);
}

char* GenGroupBy(const DialectRules& rules, SelectQuery* query) {
  return Clause(rules, "GenerateGroupByStr", query, [&](std::string* text) {
    const GroupByClause* clause = query->groupBy;
    if (clause == nullptr) return true;
    *text += "group by ";
    for (const VectorElement* e = ListHead(clause->columns); e != nullptr; e = e->next) {
      const auto* column = static_cast<const QueryColumn*>(e->data);
      if (column == nullptr) continue;
      if (column->columnAlias != nullptr) {
        *text += column->columnAlias;
      } else {
        if (column->tableName != nullptr) *text += std::string(column->tableName) + ".";
        *text += Str(column->columnName);
      }
      *text += e->next != nullptr ? "," : "\n";
    }
    return clause->having == nullptr || HavingText(rules, clause->having, text);
  });
}

char* GenSort(const DialectRules& rules, SelectQuery* query) {
  return Clause(rules, "GenerateSortColumnStr", query, [&](std::string* text) {
    const SortClause* clause = query->sort;
    if (clause == nullptr) return true;
    *text += "order by ";
    for (const VectorElement* e = ListHead(clause->columns); e != nullptr; e = e->next) {
      const auto* column = static_cast<const QueryColumn*>(e->data);
      if (column == nullptr) continue;
      *text += QualifiedName(column);
      if (e->next == nullptr) {
        *text += " ";
      } else {
        // The clause's one direction holds for all its columns, but SQL
        // applies a direction only to the column it follows: a descending
        // sort names it after every column (ascending is SQL's default).
        *text += clause->ascending != 0 ? "," : " desc,";
      }
    }
    *text += clause->ascending != 0 ? " asc " : " desc ";
    return true;
  });
}

char* GenSelect(const DialectRules& rules, SelectQuery* query) {
  LogTrace("@@@@@@@@@@@ - INSIDE %sGenSelectQuery - @@@@@@@@@@@@@", rules.prefix);
  if (BadQuery(query)) return nullptr;
  return Guarded([&]() -> char* {
    SqlText text;
    if (!text.Init(512, 512)) return nullptr;
    std::string head = "select ";
    if (rules.paging == Paging::kFirstSkip) {
      if (query->first != 0) head += "first " + std::to_string(query->first) + " ";
      if (query->skip != 0) head += "skip " + std::to_string(query->skip) + " ";
    }
    if (!text.Append(head)) return nullptr;
    if (query->columns.count > 0) {
      const char* columns = GenColumns(rules, query);
      if (columns == nullptr || !text.Append(columns) || !text.Append("from ")) return nullptr;
    } else if (!text.Append(rules.paging == Paging::kFirstSkip ? " * from " : "* from ")) {
      return nullptr;
    }
    const bool joins = query->joins.count > 0;
    const bool tables = query->tables.count > 0;
    if (joins) {
      const char* joinText = GenJoins(rules, query);
      if (joinText == nullptr || !text.Append(joinText)) return nullptr;
    }
    if (tables) {
      const char* tableText = GenTableList(rules, query);
      if (tableText == nullptr || (joins && !text.Append(",")) || !text.Append(tableText)) {
        return nullptr;
      }
    }
    if (!joins && !tables) {
      LogError("\nNo Tables To Be Selected\n");
      return nullptr;
    }
    if (query->criteria != nullptr) {
      const char* criteria = GenCriteria(rules, query);
      if (criteria == nullptr || !text.Append("where ") || !text.Append(criteria)) return nullptr;
    }
    if (query->groupBy != nullptr) {
      const char* groupBy = GenGroupBy(rules, query);
      if (groupBy == nullptr || !text.Append(groupBy)) return nullptr;
    }
    if (query->sort != nullptr) {
      const char* sort = GenSort(rules, query);
      if (sort == nullptr || !text.Append(sort)) return nullptr;
    }
    std::string paging;
    if (query->first != 0 && rules.paging == Paging::kLimitSkipFirst) {
      paging = "limit";
      if (query->skip != 0) paging += " " + std::to_string(query->skip) + " ,";
      paging += " " + std::to_string(query->first);
    } else if (query->first != 0 && rules.paging == Paging::kLimitOffset) {
      paging = "limit " + std::to_string(query->first);
      if (query->skip != 0) paging += " offset " + std::to_string(query->skip);
    }
    if (!text.Append(paging)) return nullptr;
    LogTrace("\nSelect Query constructed is\n%s\n", text.text());
    return CopyFinalText(text.text());
  });
}

// ---- Row statements ----

char* GenUpdate(const DialectRules& rules, const char* tableName, RowObject* row) {
  if (rules.traceEntry) LogTrace("@@@ Inside %sGenUpdateQuery @@@\n", rules.prefix);
  return Guarded([&]() -> char* {
    SqlText buffer;
    std::vector<const ColumnDefn*> columns;
    if (!PrepareRowBuffer(rules, &buffer)) return nullptr;
    const TableDefn* defn = RowTable(tableName, row, &columns);
    if (defn == nullptr) return nullptr;
    const std::vector<const char*> keys = PrimaryKeyNames(defn);
    if (!RowKeyUsable(keys, columns, "update", tableName)) return nullptr;
    std::string sets;
    std::string conditions;
    for (size_t i = 0; i < columns.size(); ++i) {
      const ColumnDefn* column = columns[i];
      const int matches = KeyMatches(keys, column->name);
      for (int m = 0; m < matches; ++m) {
        LogTrace("@@@ Update Query has Primary Key in Set clause @@@\n");
      }
      const void* value = row->values[i];
      OwnedText text = StatementText(value, row->lengths[i], column->dataType);
      if (text == nullptr) {
        LogError("Unsupported Datatype Used in Query generation.\n");
        return nullptr;
      }
      const std::string name = Str(column->name);
      if (value == nullptr) {
        if (matches > 0) {
          RefuseNullKey("update", tableName, column->name);
          return nullptr;
        }
        AppendItem(&sets, ",", name + "=NULL");
      } else if (matches > 0) {
        const bool quoted = HasType(rules.updateKeyQuotedTypes, column->dataType);
        AppendItem(
            &conditions, " and ",
            name + "=" + (quoted ? Quoted(text.get(), rules) : BareOrQuoted(text.get(), rules)));
      } else {
        AppendItem(&sets, ",", name + "=" + SetItemValue(rules, column->dataType, text.get()));
      }
    }
    if (sets.empty()) {
      // "update T set  where ..." is no statement any server takes.
      LogError("Cannot generate the update query of table %s: the row has no column to set\n",
               tableName);
      return nullptr;
    }
    const std::string statement =
        "update " + std::string(tableName) + " set " + sets + " where " + conditions;
    if (rules.mysqlRowTexts) {
      LogTrace("Update query is @@@ %s\n", statement.c_str());
    } else {
      LogTrace("Update query is @@@%s\n", statement.c_str());
    }
    return RowText(rules, &buffer, statement);
  });
}

char* GenInsert(const DialectRules& rules, const char* tableName, RowObject* row) {
  if (rules.traceEntry) LogTrace("@@@ Inside %sGenInsertQuery @@@\n", rules.prefix);
  return Guarded([&]() -> char* {
    SqlText buffer;
    std::vector<const ColumnDefn*> columns;
    if (!PrepareRowBuffer(rules, &buffer) || RowTable(tableName, row, &columns) == nullptr) {
      return nullptr;
    }
    std::string values;
    for (size_t i = 0; i < columns.size(); ++i) {
      const uint8_t type = columns[i]->dataType;
      const void* value = row->values[i];
      OwnedText text = value != nullptr ? StatementText(value, row->lengths[i], type) : nullptr;
      if (text == nullptr) {
        values += i > 0 ? ",NULL" : "NULL";
        continue;
      }
      if (i > 0) values += ",";
      if (HasType(kQuotedValueTypes, type)) {
        values += Quoted(text.get(), rules);
      } else if (type == VEL_SQL_BOOLEAN) {
        values += IsTrueText(text.get()) ? rules.insertTrue : rules.insertFalse;
      } else {
        values += BareOrQuoted(text.get(), rules);
      }
    }
    const std::string statement =
        "insert into  " + std::string(tableName) + " values(" + values + rules.insertEnd;
    if (rules.mysqlRowTexts) LogTrace("Insert query is @@@%s\n", statement.c_str());
    return RowText(rules, &buffer, statement);
  });
}

char* GenDelete(const DialectRules& rules, const char* tableName, RowObject* row) {
  if (rules.traceEntry) LogTrace("@@@ Inside %s @@@\n", rules.deleteFunction);
  return Guarded([&]() -> char* {
    std::vector<const ColumnDefn*> columns;
    const TableDefn* defn = RowTable(tableName, row, &columns);
    if (defn == nullptr) return nullptr;
    const std::vector<const char*> keys = PrimaryKeyNames(defn);
    if (!RowKeyUsable(keys, columns, "delete", tableName)) return nullptr;
    std::string conditions;
    for (size_t i = 0; i < columns.size(); ++i) {
      const ColumnDefn* column = columns[i];
      const void* value = row->values[i];
      OwnedText text = StatementText(value, row->lengths[i], column->dataType);
      if (text == nullptr) return nullptr;
      if (KeyMatches(keys, column->name) == 0) continue;
      if (value == nullptr) {
        RefuseNullKey("delete", tableName, column->name);
        return nullptr;
      }
      const bool quoted = HasType(kDeleteKeyQuotedTypes, column->dataType);
      AppendItem(&conditions, " and ",
                 std::string(Str(column->name)) + "=" +
                     (quoted ? Quoted(text.get(), rules) : BareOrQuoted(text.get(), rules)));
    }
    const std::string statement =
        "delete from " + std::string(tableName) + " " + " where " + conditions;
    LogTrace("Delete query is @@@%s\n", statement.c_str());
    return quill::base::CopyToMalloc(statement);
  });
}

char* GenCreate(const DialectRules& rules, const char* tableName) {
  if (rules.traceEntry) LogTrace("@@@ Inside %sGenCreateQuery @@@\n", rules.prefix);
  return Guarded([&]() -> char* {
    SqlText buffer;
    if (!buffer.Init(512, 512)) return nullptr;
    const TableDefn* defn = TableWithColumns(tableName);
    if (defn == nullptr) return nullptr;
    LogTrace("Table Name : %s\n", Str(defn->name));
    LogTrace("Description: %s\n", Str(defn->description));
    LogTrace("%s", kSeparatorLine);
    const std::vector<const ColumnDefn*> columns = ColumnsOf(defn);
    const std::vector<const char*> keys = PrimaryKeyNames(defn);
    std::string text = "CREATE TABLE " + std::string(tableName) + "(\n";
    for (size_t i = 0; i < columns.size(); ++i) {
      const ColumnDefn* column = columns[i];
      LogTrace("Column Name : %s\n", Str(column->name));
      LogTrace("Column Type : %d\n", column->dataType);
      LogTrace("Unique Flag : %s\n", column->unique != 0 ? "TRUE" : "FALSE");
      LogTrace("Description : %s\n", Str(column->description));
      LogTrace("%s", kSeparatorLine);
      if (!ColumnText(rules, column, &text)) {
        // Without its type the line would be a nameless column that every
        // server refuses.
        LogError(
            "Cannot generate the create query of table %s: no column type for column %s of "
            "type %d\n",
            tableName, Str(column->name), column->dataType);
        return nullptr;
      }
      if (column->nullable == 0) text += " NOT NULL";
      if (column->unique != 0 &&
          (rules.uniqueOnKeyColumns || KeyMatches(keys, column->name) == 0)) {
        text += " UNIQUE";
      }
      text += i + 1 < columns.size() || !keys.empty() ? ",\n" : "\n";
    }
    if (!keys.empty()) {
      for (const char* key : keys) LogTrace("Primary key : %s\n\n", key);
      text +=
          "\tPRIMARY KEY(" + Join(std::vector<std::string>(keys.begin(), keys.end()), ", ") + ")";
    }
    const Vector* foreignKeys =
        defn->constraints != nullptr ? defn->constraints->foreignKeys : nullptr;
    if (foreignKeys != nullptr && foreignKeys->count > 0) {
      text += ForeignKeysText(rules, tableName, foreignKeys);
    }
    text += rules.createEnd;
    if (!buffer.Append(text)) return nullptr;
    LogTrace("Create query is\n%s\n", buffer.text());
    return CopyFinalText(buffer.text());
  });
}

// ---- Result rows ----

RowObject* ConvertFirstRow(const DialectRules& rules, ResultSet* resultSet, const char* tableName) {
  if (rules.traceEntry) LogTrace("@@@ Inside %sConvResultsetToRowobject @@@\n", rules.prefix);
  if (resultSet == nullptr) {
    LogError("No result set to convert\n");
    return nullptr;
  }
  return Guarded([&]() -> RowObject* {
    // With the table's definition the row takes the layout of the table's
    // columns, which every other part of the library reads: drivers report
    // a column in types of their own (SQLite's booleans as text, every
    // integer of PostgreSQL's "int" as a 32-bit one, dates as text).
    const TableDefn* defn =
        tableName != nullptr || rules.convertNeedsTable ? TableWithColumns(tableName) : nullptr;
    if (defn == nullptr && rules.convertNeedsTable) return nullptr;
    if (resultSet->rows == nullptr) {
      // No row: a row of NULLs would pass for a row that was found.
      LogDebug("No row in the result set to convert\n");
      return nullptr;
    }
    const std::vector<const ColumnDefn*> columns =
        defn != nullptr ? ColumnsOf(defn) : std::vector<const ColumnDefn*>();
    RowParts parts;
    parts.count = defn != nullptr ? static_cast<int32_t>(columns.size())
                                  : (resultSet->columnCount > 0 ? resultSet->columnCount : 0);
    const size_t slots = static_cast<size_t>(parts.count > 0 ? parts.count : 1);
    parts.values = static_cast<void**>(std::calloc(slots, sizeof(void*)));
    parts.lengths = static_cast<int32_t*>(std::calloc(slots, sizeof(int32_t)));
    if (parts.values == nullptr || parts.lengths == nullptr) throw std::bad_alloc();
    const ResultCell* cell = resultSet->rows->cells;
    for (int32_t i = 0; i < parts.count && cell != nullptr; ++i, cell = cell->next) {
      parts.lengths[i] = cell->length;
      if (cell->data == nullptr) continue;
      const ResultColumn* resultColumn = resultSet->columns != nullptr && i < resultSet->columnCount
                                             ? resultSet->columns[i]
                                             : nullptr;
      const uint8_t resultType = resultColumn != nullptr ? resultColumn->type : 0;
      const uint8_t columnType = defn != nullptr ? columns[i]->dataType : resultType;
      int32_t length = cell->length;
      parts.values[i] = CellValue(cell, resultType, columnType, &length);
      if (parts.values[i] == nullptr) {
        const char* name = defn != nullptr           ? columns[i]->name
                           : resultColumn != nullptr ? resultColumn->name
                                                     : nullptr;
        LogError("Cannot convert the value of column %s from result type %d to type %d\n",
                 Str(name), resultType, columnType);
        return nullptr;
      }
      parts.lengths[i] = length;
    }
    auto* row = static_cast<RowObject*>(std::calloc(1, sizeof(RowObject)));
    if (row == nullptr) throw std::bad_alloc();
    row->values = parts.values;
    row->lengths = parts.lengths;
    row->status = ROW_IN_DATABASE;
    parts.values = nullptr;
    parts.lengths = nullptr;
    return row;
  });
}

}  // namespace quill::db
