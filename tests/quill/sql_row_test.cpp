// Tests of the row statements (update, insert, delete), CREATE TABLE and the
// conversion of a result row, in the four dialects, over a small data
// dictionary: exact texts, escaping, the refusals of statements that could
// reach other rows, and the trace lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/datetime.h"
#include "quill/db/sql.h"
#include "quill/imds/datadict.h"
#include "quill/imds/result_set.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"

namespace fs = std::filesystem;

namespace {

using quill::test::LogCapture;

const fs::path kDictionary =
    fs::path(__FILE__).parent_path() / ".." / "fixtures" / "quill" / "sql" / "dictionary.xml";

// MYSQL, PGSQL, SQLITE, FIREBIRD: the order of every table of texts below.
const SqlDialect* const kDialects[] = {&gv_mysqlDialect, &gv_pgsqlDialect, &gv_sqliteDialect,
                                       &gv_firebirdDialect};

std::string Take(char* text) {
  std::string result = text != nullptr ? text : "(null)";
  std::free(text);
  return result;
}

bool IsDate(uint8_t type) {
  return type == VEL_SQL_DATE || type == VEL_SQL_TIME || type == VEL_SQL_DATETIME;
}

// A date or time value holding only the parts its text has, as the database
// provider delivers them.
void* DateValue(const char* text, uint8_t type) {
  VelDateTime* parsed = ConvertStringToVelGenDateTime(text);
  if (parsed == nullptr) return nullptr;
  void* value = CopyTypedValue(parsed, VEL_DATETIME_VALUE_LENGTH, type, nullptr);
  FreeVelDateTime(parsed);
  return value;
}

std::string ValueText(const void* value, int32_t length, uint8_t type) {
  return Take(ValueToString(value, length, type));
}

// A row of the table from texts (nullopt: NULL), converted by column type.
// Date and time values hold the parts their texts have, as the database
// provider delivers them, or, with datesFromText, the two parts every value
// made by ValueFromString holds (as a client's, an XML file's or a
// criterion's value does).
class Row {
 public:
  Row(const char* table, const std::vector<std::optional<std::string>>& texts,
      bool datesFromText = false) {
    const TableDefn* defn = GetTableDefn(table);
    EXPECT_NE(defn, nullptr) << table;
    count_ = defn != nullptr ? defn->columns->count : 0;
    auto** values = static_cast<void**>(std::calloc(count_, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::calloc(count_, sizeof(int32_t)));
    int32_t i = 0;
    for (VectorElement* e = defn != nullptr ? defn->columns->head : nullptr;
         e != nullptr && i < static_cast<int32_t>(texts.size()); e = e->next, ++i) {
      if (!texts[i].has_value()) continue;
      const uint8_t type = static_cast<ColumnDefn*>(e->data)->dataType;
      int32_t length = static_cast<int32_t>(texts[i]->size());
      if (IsDate(type) && !datesFromText) {
        values[i] = DateValue(texts[i]->c_str(), type);
        length = VEL_DATETIME_VALUE_LENGTH;
      } else {
        values[i] = ValueFromString(texts[i]->c_str(), &length, type);
      }
      EXPECT_NE(values[i], nullptr) << *texts[i];
      lengths[i] = length;
    }
    row_ = CreateNewRowObject(values, lengths);
  }
  ~Row() { FreeRowObject(row_, count_); }
  Row(const Row&) = delete;
  Row& operator=(const Row&) = delete;
  RowObject* get() { return row_; }

 private:
  RowObject* row_ = nullptr;
  int32_t count_ = 0;
};

class SqlRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    ASSERT_TRUE(LoadDataDictFromXMLFile(kDictionary.c_str()));
    ASSERT_NE(GetTableDefn("Odd"), nullptr);
    ASSERT_TRUE(InitSqlDialects());
    SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
  }
  void TearDown() override {
    FreeSqlDialects();
    FreeDataDictionary();
  }
};

using Operation = char* (*)(const SqlDialect*, const char*, RowObject*);

char* Update(const SqlDialect* d, const char* table, RowObject* row) {
  return d->GenUpdateQuery(table, row);
}
char* Insert(const SqlDialect* d, const char* table, RowObject* row) {
  return d->GenInsertQuery(table, row);
}
char* Delete(const SqlDialect* d, const char* table, RowObject* row) {
  return d->GenDeleteQuery(table, row);
}

struct RowCase {
  const char* what;
  Operation operation;
  const char* table;
  std::vector<std::optional<std::string>> values;
  // MYSQL, PGSQL, SQLITE, FIREBIRD.
  std::vector<std::string> texts;
  bool datesFromText = false;
};

const std::vector<std::optional<std::string>> kAccount = {
    "7",        "O'Re\\illy",          "C1",   "TRUE",          "2024-01-05",
    "10:20:30", "2024-01-05 10:20:30", "long", "1099511627776", "-1"};
const std::vector<std::optional<std::string>> kSparseAccount = {
    "8",          "NULL",       std::nullopt, "FALSE",      std::nullopt,
    std::nullopt, std::nullopt, std::nullopt, std::nullopt, "0"};

TEST_F(SqlRowTest, RowStatementTextsPerDialect) {
  const std::vector<RowCase> cases = {
      {"update of every kind of value",
       Update,
       "Accounts",
       kAccount,
       {"update Accounts set Name='O''Re\\\\illy',Code='C1',Active=1,Born='2024-01-05',"
        "Seen='10:20:30',Joined='2024-01-05 10:20:30',Note='long',Big=1099511627776,Tiny=-1 "
        "where Id='7'",
        "update Accounts set Name='O''Re\\illy',Code='C1',Active='t',Born='2024-01-05',"
        "Seen='10:20:30',Joined='2024-01-05 10:20:30',Note='long',Big=1099511627776,Tiny=-1 "
        "where Id=7",
        "update Accounts set Name='O''Re\\illy',Code='C1',Active=1,Born='2024-01-05',"
        "Seen='10:20:30',Joined='2024-01-05 10:20:30',Note='long',Big=1099511627776,Tiny=-1 "
        "where Id=7",
        "update Accounts set Name='O''Re\\illy',Code='C1',Active=1,Born='2024-01-05',"
        "Seen='10:20:30',Joined='2024-01-05 10:20:30',Note='long',Big=1099511627776,Tiny=-1 "
        "where Id=7"}},
      {"update with NULLs, a false boolean and the text NULL",
       Update,
       "Accounts",
       kSparseAccount,
       {"update Accounts set Name='NULL',Code=NULL,Active=0,Born=NULL,Seen=NULL,Joined=NULL,"
        "Note=NULL,Big=NULL,Tiny=0 where Id='8'",
        "update Accounts set Name='NULL',Code=NULL,Active='f',Born=NULL,Seen=NULL,Joined=NULL,"
        "Note=NULL,Big=NULL,Tiny=0 where Id=8",
        "update Accounts set Name='NULL',Code=NULL,Active=0,Born=NULL,Seen=NULL,Joined=NULL,"
        "Note=NULL,Big=NULL,Tiny=0 where Id=8",
        "update Accounts set Name='NULL',Code=NULL,Active=0,Born=NULL,Seen=NULL,Joined=NULL,"
        "Note=NULL,Big=NULL,Tiny=0 where Id=8"}},
      {"update over a character key (named without case)",
       Update,
       "Tags",
       {"a'b\\c", "x"},
       {"update Tags set Label='x' where Code='a''b\\\\c'",
        "update Tags set Label='x' where Code='a''b\\c'",
        "update Tags set Label='x' where Code='a''b\\c'",
        "update Tags set Label='x' where Code='a''b\\c'"}},
      {"update of dates and times made from texts: each column's own part",
       Update,
       "Shifts",
       {"2024-02-29", "23:59:58", "2024-02-29"},
       {"update Shifts set Starts='23:59:58',Stamp='2024-02-29 00:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 00:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 00:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 00:00:00' where Day='2024-02-29'"},
       true},
      {"update of dates and times holding only their parts",
       Update,
       "Shifts",
       {"2024-02-29", "23:59:58", "2024-02-29 06:00:00"},
       {"update Shifts set Starts='23:59:58',Stamp='2024-02-29 06:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 06:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 06:00:00' where Day='2024-02-29'",
        "update Shifts set Starts='23:59:58',Stamp='2024-02-29 06:00:00' where Day='2024-02-29'"}},
      {"insert of every kind of value",
       Insert,
       "Accounts",
       kAccount,
       {"insert into  Accounts values(7,'O''Re\\\\illy','C1',1,'2024-01-05','10:20:30',"
        "'2024-01-05 10:20:30','long',1099511627776,-1)",
        "insert into  Accounts values(7,'O''Re\\illy','C1','1','2024-01-05','10:20:30',"
        "'2024-01-05 10:20:30','long',1099511627776,-1);",
        "insert into  Accounts values(7,'O''Re\\illy','C1',1,'2024-01-05','10:20:30',"
        "'2024-01-05 10:20:30','long',1099511627776,-1);",
        "insert into  Accounts values(7,'O''Re\\illy','C1',1,'2024-01-05','10:20:30',"
        "'2024-01-05 10:20:30','long',1099511627776,-1);"}},
      {"insert of dates and times made from texts",
       Insert,
       "Shifts",
       {"2024-02-29", "23:59:58", "2024-02-29 06:00:00"},
       {"insert into  Shifts values('2024-02-29','23:59:58','2024-02-29 06:00:00')",
        "insert into  Shifts values('2024-02-29','23:59:58','2024-02-29 06:00:00');",
        "insert into  Shifts values('2024-02-29','23:59:58','2024-02-29 06:00:00');",
        "insert into  Shifts values('2024-02-29','23:59:58','2024-02-29 06:00:00');"},
       true},
      {"insert with NULLs and a false boolean",
       Insert,
       "Accounts",
       kSparseAccount,
       {"insert into  Accounts values(8,'NULL',NULL,0,NULL,NULL,NULL,NULL,NULL,0)",
        "insert into  Accounts values(8,'NULL',NULL,'0',NULL,NULL,NULL,NULL,NULL,0);",
        "insert into  Accounts values(8,'NULL',NULL,0,NULL,NULL,NULL,NULL,NULL,0);",
        "insert into  Accounts values(8,'NULL',NULL,0,NULL,NULL,NULL,NULL,NULL,0);"}},
      {"insert into a table without key",
       Insert,
       "Notes",
       {"it's"},
       {"insert into  Notes values('it''s')", "insert into  Notes values('it''s');",
        "insert into  Notes values('it''s');", "insert into  Notes values('it''s');"}},
      {"delete by a number key",
       Delete,
       "Accounts",
       kAccount,
       {"delete from Accounts  where Id=7", "delete from Accounts  where Id=7",
        "delete from Accounts  where Id=7", "delete from Accounts  where Id=7"}},
      {"delete by a character key",
       Delete,
       "Tags",
       {"a'b\\c", std::nullopt},
       {"delete from Tags  where Code='a''b\\\\c'", "delete from Tags  where Code='a''b\\c'",
        "delete from Tags  where Code='a''b\\c'", "delete from Tags  where Code='a''b\\c'"}},
      {"delete by a date key made from a text",
       Delete,
       "Shifts",
       {"2024-02-29", "23:59:58", std::nullopt},
       {"delete from Shifts  where Day='2024-02-29'", "delete from Shifts  where Day='2024-02-29'",
        "delete from Shifts  where Day='2024-02-29'", "delete from Shifts  where Day='2024-02-29'"},
       true},
      {"delete by a composite key",
       Delete,
       "Parents",
       {"1", "2"},
       {"delete from Parents  where A=1 and B=2", "delete from Parents  where A=1 and B=2",
        "delete from Parents  where A=1 and B=2", "delete from Parents  where A=1 and B=2"}},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.what);
    Row row(c.table, c.values, c.datesFromText);
    for (size_t d = 0; d < 4; ++d) {
      SCOPED_TRACE(kDialects[d]->name);
      LogCapture log;
      EXPECT_EQ(Take(c.operation(kDialects[d], c.table, row.get())), c.texts[d]);
      EXPECT_EQ(log.Count("ERROR"), 0);
    }
  }
}

// Statements that could reach other rows than the row's own, or that no
// server would take.
TEST_F(SqlRowTest, RefusedRowStatements) {
  struct Case {
    const char* what;
    Operation operation;
    const char* table;
    std::vector<std::optional<std::string>> values;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"update without primary key", Update, "Notes", {"x"}, "the table has no primary key"},
      {"delete without primary key", Delete, "Notes", {"x"}, "the table has no primary key"},
      {"update with a NULL key",
       Update,
       "Accounts",
       {std::nullopt, "n"},
       "key column Id has no value"},
      {"delete with a NULL key",
       Delete,
       "Accounts",
       {std::nullopt, "n"},
       "key column Id has no value"},
      {"update with part of a key NULL",
       Update,
       "Parents",
       {"1", std::nullopt},
       "key column B has no value"},
      {"delete with part of a key NULL",
       Delete,
       "Parents",
       {"1", std::nullopt},
       "key column B has no value"},
      {"update over a key naming no column",
       Update,
       "Broken",
       {"1"},
       "primary key Missing is not a column"},
      {"delete over a key naming no column",
       Delete,
       "Broken",
       {"1"},
       "primary key Missing is not a column"},
      {"update of a row that is all key",
       Update,
       "Parents",
       {"1", "2"},
       "Cannot generate the update query of table Parents: the row has no column to set\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Row row(c.table, c.values);
    for (const SqlDialect* dialect : kDialects) {
      SCOPED_TRACE(dialect->name);
      LogCapture log;
      EXPECT_EQ(c.operation(dialect, c.table, row.get()), nullptr);
      EXPECT_EQ(log.Count(c.error), 1);
      EXPECT_EQ(log.Count("ERROR"), 1);
    }
  }
}

TEST_F(SqlRowTest, OtherFailures) {
  Row row("Accounts", kAccount);
  for (const SqlDialect* dialect : kDialects) {
    SCOPED_TRACE(dialect->name);
    LogCapture log;
    // A table without definition: no statement and no message.
    EXPECT_EQ(dialect->GenUpdateQuery("Nowhere", row.get()), nullptr);
    EXPECT_EQ(dialect->GenInsertQuery("Nowhere", row.get()), nullptr);
    EXPECT_EQ(dialect->GenDeleteQuery("Nowhere", row.get()), nullptr);
    EXPECT_EQ(dialect->GenCreateQuery("Nowhere"), nullptr);
    EXPECT_EQ(log.Count("ERROR"), 0);
  }

  // A value ValueToString cannot convert: the update says so, the delete
  // fails quietly, the insert writes NULL.
  ColumnDefn* label = GetColumnDefnEntry("Tags", "Label");
  ASSERT_NE(label, nullptr);
  const uint8_t type = label->dataType;
  label->dataType = VEL_SQL_NOT_SUPPORTED_TYPE;
  Row tag("Tags", {"t1", std::nullopt});
  int32_t length = 1;
  tag.get()->values[1] = ValueFromString("z", &length, VEL_SQL_NOT_SUPPORTED_TYPE);
  tag.get()->lengths[1] = length;
  for (const SqlDialect* dialect : kDialects) {
    SCOPED_TRACE(dialect->name);
    LogCapture log;
    EXPECT_EQ(dialect->GenUpdateQuery("Tags", tag.get()), nullptr);
    EXPECT_EQ(log.Count("Unsupported Datatype Used in Query generation.\n"), 1);
    EXPECT_EQ(dialect->GenDeleteQuery("Tags", tag.get()), nullptr);
    EXPECT_EQ(log.Count("ERROR"), 1);
    const std::string insert = Take(dialect->GenInsertQuery("Tags", tag.get()));
    EXPECT_EQ(insert.substr(0, insert.find(')') + 1), "insert into  Tags values('t1',NULL)");
  }
  label->dataType = type;
}

TEST_F(SqlRowTest, RowStatementTraces) {
  Row row("Children", {"1", "2", "3", "4"});
  {
    LogCapture log;
    const std::string update = Take(MysqlGenUpdateQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside MysqlGenUpdateQuery @@@\n"), 1);
    EXPECT_EQ(log.Count("@@@ Update Query has Primary Key in Set clause @@@\n"), 1);
    EXPECT_EQ(log.Count("Update query is @@@ " + update + "\n"), 1);
    const std::string insert = Take(MysqlGenInsertQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside MysqlGenInsertQuery @@@\n"), 1);
    EXPECT_EQ(log.Count("Insert query is @@@" + insert + "\n"), 1);
    const std::string remove = Take(MysqlGenDelteQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside MysqlGenDelteQuery @@@\n"), 1);
    EXPECT_EQ(log.Count("Delete query is @@@" + remove + "\n"), 1);
  }
  {
    LogCapture log;
    const std::string update = Take(FirebirdGenUpdateQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside FirebirdGenUpdateQuery @@@\n"), 1);
    EXPECT_EQ(log.Count("Update query is @@@" + update + "\n"), 1);
    Take(FirebirdGenInsertQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside FirebirdGenInsertQuery @@@\n"), 1);
    EXPECT_EQ(log.Count("Insert query is"), 0);
    Take(PgsqlGenDeleteQuery("Children", row.get()));
    EXPECT_EQ(log.Count("@@@ Inside PgsqlGenDeleteQuery @@@\n"), 1);
  }
  {
    LogCapture log;
    const std::string update = Take(SqliteGenUpdateQuery("Children", row.get()));
    const std::string remove = Take(SqliteGenDeleteQuery("Children", row.get()));
    Take(SqliteGenInsertQuery("Children", row.get()));
    Take(SqliteGenCreateQuery("Children"));
    EXPECT_EQ(log.Count("@@@ Inside"), 0);
    EXPECT_EQ(log.Count("Update query is @@@" + update + "\n"), 1);
    EXPECT_EQ(log.Count("Delete query is @@@" + remove + "\n"), 1);
  }
}

TEST_F(SqlRowTest, CreateTableTextsPerDialect) {
  // Per dialect the text, or for a refused table the ERROR line that says
  // why (and no text).
  struct Case {
    const char* table;
    std::vector<std::string> texts;
  } cases[] = {
      {"Accounts",
       {"CREATE TABLE Accounts(\n\tId int   NOT NULL UNIQUE,\n\tName varchar(32) DEFAULT 'it''s' "
        "NOT NULL,\n\tCode varchar(8)   UNIQUE,\n\tActive tinyint DEFAULT 1 ,\n\tBorn "
        "date,\n\tSeen "
        "time,\n\tJoined datetime,\n\tNote text ,\n\tBig bigint DEFAULT 1099511627776,\n\tTiny int "
        "DEFAULT -1,\n\tPRIMARY KEY(Id)\n) ENGINE = InnoDB;\n\n",
        "CREATE TABLE Accounts(\n\tId int   NOT NULL UNIQUE,\n\tName varchar(33) DEFAULT 'it''s' "
        "NOT NULL,\n\tCode varchar(9)   UNIQUE,\n\tActive boolean DEFAULT 't' ,\n\tBorn "
        "date,\n\tSeen time,\n\tJoined timestamp,\n\tNote text ,\n\tBig bigint DEFAULT "
        "1099511627776,\n\tTiny int DEFAULT -1,\n\tPRIMARY KEY(Id)\n);\n\n",
        "CREATE TABLE Accounts(\n\tId int   NOT NULL UNIQUE,\n\tName varchar(32) DEFAULT 'it''s' "
        "NOT NULL,\n\tCode varchar(8)   UNIQUE,\n\tActive boolean DEFAULT 't' ,\n\tBorn "
        "varchar(30),\n\tSeen varchar(30),\n\tJoined varchar(30),\n\tNote text ,\n\tBig bigint "
        "DEFAULT 1099511627776,\n\tTiny int DEFAULT -1,\n\tPRIMARY KEY(Id)\n);\n\n",
        "CREATE TABLE Accounts(\n\tId int   NOT NULL,\n\tName varchar(32) DEFAULT 'it''s' NOT "
        "NULL,\n\tCode varchar(8)   UNIQUE,\n\tActive SMALLINT DEFAULT 1 ,\n\tBorn date,\n\tSeen "
        "time,\n\tJoined timestamp,\n\tNote blob sub_type text ,\n\tBig bigint DEFAULT "
        "1099511627776,\n\tTiny int DEFAULT -1,\n\tPRIMARY KEY(Id)\n);\n\n"}},
      {"Children",
       {"CREATE TABLE Children(\n\tId int  ,\n\tPA int  ,\n\tPB int  ,\n\tAccountId int  "
        ",\n\tPRIMARY KEY(Id),\n\tFOREIGN KEY(PA,PB) REFERENCES Parents (A,B) ON DELETE "
        "CASCADE,\n\tINDEX Children_IDX0 (PA,PB),\n\tFOREIGN KEY(AccountId) REFERENCES Accounts "
        "(Id) ON DELETE CASCADE,\n\tINDEX Children_IDX1 (AccountId)\n) ENGINE = InnoDB;\n\n",
        "CREATE TABLE Children(\n\tId int  ,\n\tPA int  ,\n\tPB int  ,\n\tAccountId int  "
        ",\n\tPRIMARY KEY(Id),\n\tFOREIGN KEY(PA,PB) REFERENCES Parents (A,B) ON DELETE "
        "CASCADE,\n\tFOREIGN KEY(AccountId) REFERENCES Accounts (Id) ON DELETE CASCADE\n);\n\n",
        "CREATE TABLE Children(\n\tId int  ,\n\tPA int  ,\n\tPB int  ,\n\tAccountId int  "
        ",\n\tPRIMARY KEY(Id),\n\tFOREIGN KEY(PA,PB) REFERENCES Parents (A,B) ON DELETE "
        "CASCADE,\n\tFOREIGN KEY(AccountId) REFERENCES Accounts (Id) ON DELETE CASCADE\n);\n\n",
        "CREATE TABLE Children(\n\tId int  ,\n\tPA int  ,\n\tPB int  ,\n\tAccountId int  "
        ",\n\tPRIMARY KEY(Id),\n\tFOREIGN KEY(PA,PB) REFERENCES Parents (A,B) ON DELETE "
        "CASCADE,\n\tFOREIGN KEY(AccountId) REFERENCES Accounts (Id) ON DELETE CASCADE\n);\n\n"}},
      {"Parents",
       {"CREATE TABLE Parents(\n\tA int   NOT NULL,\n\tB int   NOT NULL,\n\tPRIMARY KEY(A, B)\n) "
        "ENGINE = InnoDB;\n\n",
        "CREATE TABLE Parents(\n\tA int   NOT NULL,\n\tB int   NOT NULL,\n\tPRIMARY KEY(A, "
        "B)\n);\n\n",
        "CREATE TABLE Parents(\n\tA int   NOT NULL,\n\tB int   NOT NULL,\n\tPRIMARY KEY(A, "
        "B)\n);\n\n",
        "CREATE TABLE Parents(\n\tA int   NOT NULL,\n\tB int   NOT NULL,\n\tPRIMARY KEY(A, "
        "B)\n);\n\n"}},
      {"Notes",
       {"CREATE TABLE Notes(\n\tText varchar(20)  \n\n) ENGINE = InnoDB;\n\n",
        "CREATE TABLE Notes(\n\tText varchar(21)  \n\n);\n\n",
        "CREATE TABLE Notes(\n\tText varchar(20)  \n\n);\n\n",
        "CREATE TABLE Notes(\n\tText varchar(20)  \n\n);\n\n"}},
      // A column of a type the dialect has no column text for would be a
      // nameless column: the table is refused at the first such column.
      {"Blobs",
       {"CREATE TABLE Blobs(\n\tPhoto blob DEFAULT 'x\\\\y'\n\n) ENGINE = InnoDB;\n\n",
        "Cannot generate the create query of table Blobs: no column type for column Photo of "
        "type 20\n",
        "Cannot generate the create query of table Blobs: no column type for column Photo of "
        "type 20\n",
        "Cannot generate the create query of table Blobs: no column type for column Photo of "
        "type 20\n"}},
      {"Counters",
       {"Cannot generate the create query of table Counters: no column type for column Counter "
        "of type 8\n",
        "CREATE TABLE Counters(\n\tCounter bigint DEFAULT 7\n\n);\n\n",
        "Cannot generate the create query of table Counters: no column type for column Counter "
        "of type 8\n",
        "Cannot generate the create query of table Counters: no column type for column Counter "
        "of type 8\n"}},
      {"Odd",
       {"Cannot generate the create query of table Odd: no column type for column Counter of "
        "type 8\n",
        "Cannot generate the create query of table Odd: no column type for column Photo of type "
        "20\n",
        "Cannot generate the create query of table Odd: no column type for column Counter of "
        "type 8\n",
        "Cannot generate the create query of table Odd: no column type for column Counter of "
        "type 8\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    for (size_t d = 0; d < 4; ++d) {
      SCOPED_TRACE(kDialects[d]->name);
      const std::string& expected = c.texts[d];
      LogCapture log;
      const std::string text = Take(kDialects[d]->GenCreateQuery(c.table));
      if (expected.rfind("Cannot generate", 0) == 0) {
        EXPECT_EQ(text, "(null)");
        EXPECT_EQ(log.Count(expected), 1);
        EXPECT_EQ(log.Count("ERROR"), 1);
      } else {
        EXPECT_EQ(text, expected);
        EXPECT_EQ(log.Count("ERROR"), 0);
      }
    }
  }
}

// Each piece occurs in the log that many times.
void ExpectCounts(const LogCapture& log, const std::vector<std::pair<std::string, int>>& counts) {
  for (const auto& [piece, count] : counts) EXPECT_EQ(log.Count(piece), count) << piece;
}

TEST_F(SqlRowTest, CreateTableTraces) {
  {
    LogCapture log;
    const std::string text = Take(MysqlGenCreateQuery("Accounts"));
    ExpectCounts(log, {{"@@@ Inside MysqlGenCreateQuery @@@\n", 1},
                       {"Table Name : Accounts\n", 1},
                       {"Description: One of each kind of column\n", 1},
                       {"Column Name : Id\n", 1},
                       {"Column Type : 5\n", 1},
                       {"Unique Flag : TRUE\n", 2},
                       {"Unique Flag : FALSE\n", 8},
                       {"Description : The key\n", 1},
                       {"---------------------------------------\n\n", 11},
                       {"Primary key : Id\n\n", 1},
                       {"Create query is\n" + text + "\n", 1},
                       {"Ref Column", 0}});
  }
  {
    LogCapture log;
    Take(FirebirdGenCreateQuery("Children"));
    ExpectCounts(log, {{"@@@ Inside FirebirdGenCreateQuery @@@\n", 1},
                       {"Foreign key Constraints\n", 1},
                       {"********************************\n", 2},
                       {"Column Name : PA,PB\n", 1},
                       {"Ref Column  : A,B\n", 1},
                       {"Tablename : Parents\n", 1},
                       {"Tablename : Accounts\n", 1}});
  }
  {
    LogCapture log;
    Take(MysqlGenCreateQuery("Children"));
    ExpectCounts(log, {{"Foreign key Constraints\n", 1}, {"Ref Column", 0}});
  }
}

TEST_F(SqlRowTest, DispatchLogsTheGeneratedTexts) {
  Row row("Parents", {"1", "2"});
  struct Case {
    uint8_t dialect;
    const char* insert;
  } cases[] = {
      {SQL_DIALECT_MYSQL, "insert into  Parents values(1,2)"},
      {SQL_DIALECT_SQLITE, "insert into  Parents values(1,2);"},
  };
  for (const Case& c : cases) {
    SetSqlDialectChoice(0, c.dialect);
    LogCapture log;
    const std::string insert = Take(GenerateInsertQuery("Parents", row.get()));
    EXPECT_EQ(insert, c.insert);
    EXPECT_EQ(log.Count("Generated Insert Query: " + insert + "\n"), 1);
    const std::string update = Take(GenerateUpdateQuery("Parents", row.get()));
    EXPECT_EQ(log.Count("Generated Update Query: " + update + "\n"), 1);
    const std::string remove = Take(GenerateDeleteQuery("Parents", row.get()));
    EXPECT_EQ(remove, "delete from Parents  where A=1 and B=2");
    EXPECT_EQ(log.Count("Generated Delete Query: " + remove + "\n"), 1);
    const std::string create = Take(GenerateCreateTableQuery("Parents"));
    EXPECT_EQ(log.Count("Generated Create Table Query: " + create + "\n"), 1);
  }
  LogCapture log;
  EXPECT_EQ(GenerateDeleteQuery("Notes", row.get()), nullptr);
  EXPECT_EQ(log.Count("Generated Delete Query: (null)\n"), 1);
}

// A result set with the given column types and rows of cell texts (nullopt:
// NULL); each cell holds the typed value of its column's type.
ResultSet* MakeResultSet(const std::vector<std::pair<const char*, uint8_t>>& columns,
                         const std::vector<std::vector<std::optional<std::string>>>& rows) {
  auto** records = static_cast<ResultColumn**>(std::calloc(columns.size(), sizeof(ResultColumn*)));
  for (size_t i = 0; i < columns.size(); ++i) {
    records[i] = CreateResultColumn(columns[i].first, columns[i].second);
  }
  ResultRow* chain = nullptr;
  for (const auto& cells : rows) {
    ResultCell* list = nullptr;
    for (size_t i = 0; i < cells.size(); ++i) {
      const uint8_t type = columns[i].second;
      if (!cells[i].has_value()) {
        list = AppendResultCell(list, 0, nullptr);
        continue;
      }
      int32_t length = static_cast<int32_t>(cells[i]->size());
      void* value = IsDate(type) ? DateValue(cells[i]->c_str(), type)
                                 : ValueFromString(cells[i]->c_str(), &length, type);
      if (IsDate(type)) length = VEL_DATETIME_VALUE_LENGTH;
      list = AppendResultTypedCell(list, length, value, type);
      std::free(value);
    }
    chain = AppendResultRow(chain, list);
  }
  return CreateResultSet(chain, records, static_cast<int32_t>(columns.size()));
}

TEST_F(SqlRowTest, FirstResultRowBecomesARow) {
  struct Case {
    const SqlDialect* dialect;
    const char* trace;
  } cases[] = {
      {&gv_mysqlDialect, "@@@ Inside MysqlConvResultsetToRowobject @@@\n"},
      {&gv_pgsqlDialect, "@@@ Inside PgsqlConvResultsetToRowobject @@@\n"},
      {&gv_firebirdDialect, "@@@ Inside FirebirdConvResultsetToRowobject @@@\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialect->name);
    ResultSet* result =
        MakeResultSet({{"Id", VEL_SQL_INT},
                       {"Name", VEL_SQL_VARCHAR},
                       {"Born", VEL_SQL_DATE},
                       {"Note", VEL_SQL_VARCHAR}},
                      {{"7", "abc", "2024-01-05", std::nullopt}, {"8", "def", "2025-02-06", "x"}});
    ASSERT_NE(result, nullptr);
    const ResultCell* dateCell = result->rows->cells->next->next;
    const std::string born = ValueText(dateCell->data, dateCell->length, VEL_SQL_DATE);
    LogCapture log;
    // Without a definition of the table the cells keep the result's types.
    RowObject* row = c.dialect->ConvResultsetToRowobject(result, "Nowhere");
    // The row owns its values, the date included: they outlive the result.
    FreeResultSet(result);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(log.Count(c.trace), 1);
    EXPECT_EQ(row->status, ROW_IN_DATABASE);
    EXPECT_EQ(row->next, nullptr);
    EXPECT_EQ(ValueText(row->values[0], row->lengths[0], VEL_SQL_INT), "7");
    EXPECT_EQ(ValueText(row->values[1], row->lengths[1], VEL_SQL_VARCHAR), "abc");
    EXPECT_EQ(row->lengths[1], 3);
    EXPECT_EQ(row->lengths[2], VEL_DATETIME_VALUE_LENGTH);
    EXPECT_EQ(ValueText(row->values[2], row->lengths[2], VEL_SQL_DATE), born);
    EXPECT_EQ(born.rfind("2024-01-05", 0), 0u);
    EXPECT_EQ(row->values[3], nullptr);
    EXPECT_EQ(row->lengths[3], 0);
    FreeRowObject(row, 4);
  }

  // A first row shorter than the column list leaves the rest NULL.
  ResultSet* shortRow = MakeResultSet({{"A", VEL_SQL_INT}, {"B", VEL_SQL_INT}}, {{"1"}});
  RowObject* row = ConvertResultSetToRows(shortRow, "mysql", nullptr);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(ValueText(row->values[0], row->lengths[0], VEL_SQL_INT), "1");
  EXPECT_EQ(row->values[1], nullptr);
  FreeRowObject(row, 2);
  EXPECT_EQ(ConvertResultSetToRows(shortRow, "ORACLE", nullptr), nullptr);
  FreeResultSet(shortRow);

  LogCapture log;
  EXPECT_EQ(MysqlConvResultsetToRowobject(nullptr, "Accounts"), nullptr);
  EXPECT_EQ(log.Count("ERROR"), 1);
}

TEST_F(SqlRowTest, SqliteReadsDatesFromTheirTexts) {
  // SQLite keeps dates as varchar(30) texts; the table's types say how to
  // read them back.
  ResultSet* result = MakeResultSet({{"Id", VEL_SQL_INT},
                                     {"Name", VEL_SQL_VARCHAR},
                                     {"Code", VEL_SQL_VARCHAR},
                                     {"Active", VEL_SQL_BOOLEAN},
                                     {"Born", VEL_SQL_VARCHAR},
                                     {"Seen", VEL_SQL_VARCHAR},
                                     {"Joined", VEL_SQL_VARCHAR},
                                     {"Note", VEL_SQL_VARCHAR}},
                                    {{"7", "abc", std::nullopt, "TRUE", "2024-01-05", "10:20:30",
                                      "2024-01-05 10:20:30", "soon"}});
  ASSERT_NE(result, nullptr);
  const int32_t columns = GetTableDefn("Accounts")->columns->count;
  LogCapture log;
  RowObject* row = SqliteConvResultsetToRowobject(result, "Accounts");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(log.Count("@@@ Inside"), 0);
  EXPECT_EQ(row->status, ROW_IN_DATABASE);
  EXPECT_EQ(ValueText(row->values[0], row->lengths[0], VEL_SQL_INT), "7");
  EXPECT_EQ(row->values[2], nullptr);
  EXPECT_EQ(ValueText(row->values[3], row->lengths[3], VEL_SQL_BOOLEAN), "'t'");
  struct Expected {
    int index;
    uint8_t type;
    const char* text;
    bool date;
    bool time;
  } expected[] = {
      {4, VEL_SQL_DATE, "2024-01-05", true, false},
      {5, VEL_SQL_TIME, "10:20:30", false, true},
      {6, VEL_SQL_DATETIME, "2024-01-05 10:20:30", true, true},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.text);
    ASSERT_NE(row->values[e.index], nullptr);
    EXPECT_EQ(row->lengths[e.index], VEL_DATETIME_VALUE_LENGTH);
    const auto* value = static_cast<const VelDateTime*>(row->values[e.index]);
    EXPECT_EQ(value->date != nullptr, e.date);
    EXPECT_EQ(value->time != nullptr, e.time);
    EXPECT_EQ(ValueText(value, VEL_DATETIME_VALUE_LENGTH, e.type), e.text);
  }
  // Note is a TEXT column: its VARCHAR cell becomes a TEXT value.
  EXPECT_EQ(ValueText(row->values[7], row->lengths[7], VEL_SQL_TEXT), "soon");
  EXPECT_EQ(row->lengths[7], 4);
  // The row has the table's columns; those the result lacks are NULL.
  EXPECT_EQ(row->values[8], nullptr);
  EXPECT_EQ(row->values[9], nullptr);
  EXPECT_EQ(log.Count("ERROR"), 0);
  FreeRowObject(row, columns);
  FreeResultSet(result);

  // A date text that does not read gives no row and one ERROR line.
  ResultSet* bad = MakeResultSet({{"Id", VEL_SQL_INT},
                                  {"Name", VEL_SQL_VARCHAR},
                                  {"Code", VEL_SQL_VARCHAR},
                                  {"Active", VEL_SQL_BOOLEAN},
                                  {"Born", VEL_SQL_VARCHAR}},
                                 {{"1", "a", "b", "FALSE", "soon"}});
  EXPECT_EQ(SqliteConvResultsetToRowobject(bad, "Accounts"), nullptr);
  EXPECT_EQ(log.Count("Cannot convert the value of column Born from result type 15 to type 16\n"),
            1);
  EXPECT_EQ(log.Count("ERROR"), 1);
  // Without a definition of the table there is no row.
  EXPECT_EQ(SqliteConvResultsetToRowobject(bad, "Nowhere"), nullptr);
  FreeResultSet(bad);
}

// Drivers type columns in their own ways (SQLite reports booleans as text of
// an unsupported type and "int" columns as 32-bit integers, PostgreSQL its
// booleans as "1" / "0" texts, dates may arrive as text): with the table's
// definition every dialect turns a cell into a value of its column's type.
TEST_F(SqlRowTest, CellsTakeTheTypesOfTheTableColumns) {
  const TableDefn* kinds = GetTableDefn("Kinds");
  ASSERT_NE(kinds, nullptr);
  std::vector<const ColumnDefn*> columns;
  for (VectorElement* e = kinds->columns->head; e != nullptr; e = e->next) {
    columns.push_back(static_cast<const ColumnDefn*>(e->data));
  }
  struct Case {
    const char* column;
    uint8_t resultType;
    const char* cell;
    // ValueToString of the value under the column's type and its length;
    // nullptr: the cell does not convert, and there is no row.
    const char* text;
    int32_t length;
  };
  const Case cases[] = {
      {"Tiny", VEL_SQL_INT, "-7", "-7", 1},
      {"Small", VEL_SQL_INT, "-300", "-300", 2},
      {"Big", VEL_SQL_INT, "2000000000", "2000000000", 8},
      {"Big", VEL_SQL_VARCHAR, "+5000000000", "5000000000", 8},
      {"Big", VEL_SQL_BIGINT, "-5000000000", "-5000000000", 8},
      {"Tiny", VEL_SQL_INT, "300", nullptr, 0},
      {"Small", VEL_SQL_VARCHAR, "12abc", nullptr, 0},
      {"Big", VEL_SQL_VARCHAR, "", nullptr, 0},
      {"Flag", VEL_SQL_VARCHAR, "1", "'t'", 1},
      {"Flag", VEL_SQL_VARCHAR, "0", "'f'", 1},
      {"Flag", VEL_SQL_NOT_SUPPORTED_TYPE, "1", "'t'", 1},
      {"Flag", VEL_SQL_NOT_SUPPORTED_TYPE, "0", "'f'", 1},
      {"Flag", VEL_SQL_CHAR, "True", "'t'", 1},
      {"Flag", VEL_SQL_CHAR, "F", "'f'", 1},
      {"Flag", VEL_SQL_INT, "1", "'t'", 1},
      {"Flag", VEL_SQL_VARCHAR, "yes", nullptr, 0},
      {"Day", VEL_SQL_VARCHAR, "2024-03-01", "2024-03-01", VEL_DATETIME_VALUE_LENGTH},
      {"Day", VEL_SQL_VARCHAR, "2024-03-01 00:00:00", "2024-03-01", VEL_DATETIME_VALUE_LENGTH},
      {"Day", VEL_SQL_DATETIME, "2024-03-01 10:20:30", "2024-03-01", VEL_DATETIME_VALUE_LENGTH},
      {"Day", VEL_SQL_VARCHAR, "10:20:30", nullptr, 0},
      {"At", VEL_SQL_VARCHAR, "23:59:58", "23:59:58", VEL_DATETIME_VALUE_LENGTH},
      {"At", VEL_SQL_VARCHAR, "0000-00-00 23:59:58", "23:59:58", VEL_DATETIME_VALUE_LENGTH},
      {"At", VEL_SQL_VARCHAR, "2024-03-01", nullptr, 0},
      {"Stamp", VEL_SQL_VARCHAR, "2024-03-01 10:20:30", "2024-03-01 10:20:30",
       VEL_DATETIME_VALUE_LENGTH},
      {"Stamp", VEL_SQL_DATE, "2024-03-01", "2024-03-01 00:00:00", VEL_DATETIME_VALUE_LENGTH},
      {"Stamp", VEL_SQL_VARCHAR, "soon", nullptr, 0},
      {"Ratio", VEL_SQL_VARCHAR, "2.5", "2.500000", 8},
      {"Ratio", VEL_SQL_INT, "-3", "-3.000000", 8},
      {"Ratio", VEL_SQL_VARCHAR, "2.5e3", nullptr, 0},
      {"Label", VEL_SQL_INT, "42", "42", 2},
      {"Body", VEL_SQL_BLOB, "a long text", "a long text", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " from type " + std::to_string(c.resultType) + " " +
                 c.cell);
    // One result column per table column, the case's column with the
    // case's type and cell, the others NULL.
    std::vector<std::pair<const char*, uint8_t>> resultColumns;
    std::vector<std::optional<std::string>> cells;
    size_t index = columns.size();
    for (size_t i = 0; i < columns.size(); ++i) {
      const bool chosen = std::strcmp(columns[i]->name, c.column) == 0;
      if (chosen) index = i;
      resultColumns.emplace_back(columns[i]->name, chosen ? c.resultType : uint8_t{VEL_SQL_INT});
      cells.push_back(chosen ? std::optional<std::string>(c.cell) : std::nullopt);
    }
    ASSERT_LT(index, columns.size());
    const uint8_t type = columns[index]->dataType;
    ResultSet* result = MakeResultSet(resultColumns, {cells});
    ASSERT_NE(result, nullptr);
    for (const SqlDialect* dialect : kDialects) {
      SCOPED_TRACE(dialect->name);
      LogCapture log;
      RowObject* row = dialect->ConvResultsetToRowobject(result, "Kinds");
      if (c.text == nullptr) {
        EXPECT_EQ(row, nullptr);
        EXPECT_EQ(log.Count("Cannot convert the value of column " + std::string(c.column) +
                            " from result type " + std::to_string(c.resultType) + " to type " +
                            std::to_string(type) + "\n"),
                  1);
        EXPECT_EQ(log.Count("ERROR"), 1);
        continue;
      }
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(ValueText(row->values[index], row->lengths[index], type), c.text);
      EXPECT_EQ(row->lengths[index], c.length);
      for (size_t i = 0; i < columns.size(); ++i) {
        if (i != index) {
          EXPECT_EQ(row->values[i], nullptr) << i;
        }
      }
      EXPECT_EQ(log.Count("ERROR"), 0);
      FreeRowObject(row, static_cast<int32_t>(columns.size()));
    }
    FreeResultSet(result);
  }
}

TEST_F(SqlRowTest, ConvertedRowsHaveTheTableLayout) {
  // A result wider than the table: the row has the table's columns only
  // (the caller frees it with the table's column count).
  ResultSet* wide = MakeResultSet({{"A", VEL_SQL_INT}, {"B", VEL_SQL_INT}, {"C", VEL_SQL_VARCHAR}},
                                  {{"1", "2", "extra"}});
  ASSERT_NE(wide, nullptr);
  // A result without any row.
  ResultSet* empty = MakeResultSet({{"A", VEL_SQL_INT}, {"B", VEL_SQL_INT}}, {});
  ASSERT_NE(empty, nullptr);
  for (const SqlDialect* dialect : kDialects) {
    SCOPED_TRACE(dialect->name);
    LogCapture log;
    RowObject* row = dialect->ConvResultsetToRowobject(wide, "parents");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(ValueText(row->values[0], row->lengths[0], VEL_SQL_INT), "1");
    EXPECT_EQ(ValueText(row->values[1], row->lengths[1], VEL_SQL_INT), "2");
    FreeRowObject(row, 2);
    // No row to convert gives no RowObject: a row of NULLs would pass for a
    // row that was found.
    EXPECT_EQ(dialect->ConvResultsetToRowobject(empty, "Parents"), nullptr);
    if (dialect != &gv_sqliteDialect) {
      EXPECT_EQ(dialect->ConvResultsetToRowobject(empty, nullptr), nullptr);
    }
    EXPECT_EQ(log.Count("ERROR"), 0);
  }
  FreeResultSet(wide);
  FreeResultSet(empty);
}

}  // namespace
