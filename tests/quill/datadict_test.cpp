// The data dictionary: type words, column properties, defaults, allowed
// values, keys, look-ups, messages on bad input and loading through the list
// file.
#include "quill/imds/datadict.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/imds/typed_value.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures =
    fs::path(__FILE__).parent_path() / ".." / "fixtures" / "quill" / "datadict";
const fs::path kExampleData = fs::path(__FILE__).parent_path() / ".." / ".." / "examples" / "data";

class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("quill-dd-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  fs::path Write(const std::string& name, const std::string& text) const {
    fs::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << text;
    return path_ / name;
  }

 private:
  fs::path path_;
};

// Changes the working directory for a scope.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& to) : previous_(fs::current_path()) {
    fs::current_path(to);
  }
  ~WorkingDirectory() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

std::string Dictionary(const std::string& tables) {
  return "<?xml version=\"1.0\"?>\n<data-dictionary>\n" + tables + "</data-dictionary>\n";
}

std::string Table(const std::string& name, const std::string& columns,
                  const std::string& rest = "") {
  return "<table name=\"" + name + "\"><columns>" + columns + "</columns>" + rest + "</table>\n";
}

// libxml2's reader parses its input in chunks and reports a well-formedness
// error as soon as it parses the chunk that holds it, before handing out the
// nodes that precede it in that chunk. A long comment puts the broken spot
// into a later chunk, so the reader is inside the open elements when it fails.
std::string Pad() {
  return "<!--" + std::string(6000, ' ') + "-->";
}

std::string Column(const std::string& name, const std::string& properties) {
  return "<column name=\"" + name + "\">" + properties + "</column>";
}

class DataDictTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDataDictionary(); }
  void TearDown() override { FreeDataDictionary(); }

  void LoadText(const std::string& xml) {
    const fs::path file = folder_.Write("dd.xml", xml);
    EXPECT_TRUE(LoadDataDictFromXMLFile(file.c_str()));
  }

  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    for (VectorElement* e = GetDataDictionary()->head; e != nullptr; e = e->next) {
      names.push_back(static_cast<TableDefn*>(e->data)->name);
    }
    return names;
  }

  quill::test::LogCapture log_;
  TempFolder folder_;
};

TEST(DataTypeCode, Words) {
  struct Case {
    const char* word;
    uint8_t code;
  };
  const Case cases[] = {
      {"VEL_SQL_NOT_SUPPORTED_TYPE", 0},
      {"VEL_SQL_TINYINT", 1},
      {"vel_sql_unsigned_tinyint", 2},
      {"VEL_SQL_SMALLINT", 3},
      {"VEL_SQL_UNSIGNED_SMALLINT", 4},
      {"VEL_SQL_INT", 5},
      {"INTEGER", 5},
      {"integer", 5},
      {"InTeGeR", 5},
      {"LONG", 5},
      {"VEL_SQL_UNSIGNED_INT", 6},
      {"BIGINT", 7},
      {"BigInt", 7},
      {"VEL_SQL_BIGINT", 0},
      {"VEL_SQL_UNSIGNED_LONG_INT", 8},
      {"FLOAT", 9},
      {"VEL_SQL_FLOAT", 9},
      {"VEL_SQL_DOUBLE", 10},
      {"DOUBLE", 0},
      {"VEL_SQL_REAL", 11},
      {"VEL_SQL_DECIMAL", 12},
      {"VEL_SQL_NUMERIC", 13},
      {"VEL_SQL_CHAR", 14},
      {"CHAR", 15},
      {"nchar", 15},
      {"VEL_SQL_VARCHAR", 0},
      {"varchar", 0},
      {"DATE", 16},
      {"VEL_SQL_DATE", 16},
      {"TIME", 17},
      {"VEL_SQL_TIME", 17},
      {"DATETIME", 18},
      {"TIMESTAMP", 18},
      {"VEL_SQL_DATETIME", 18},
      {"BOOLEAN", 19},
      {"VEL_SQL_BOOLEAN", 0},
      {"BLOB", 20},
      {"VEL_SQL_BLOB", 20},
      {"CLOB", 21},
      {"VEL_SQL_CLOB", 21},
      {"TEXT", 22},
      {"VEL_SQL_TEXT", 22},
      {"", 0},
      {" INTEGER", 0},
      {"INTEGERS", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(GetDataTypeCode(c.word), c.code) << c.word;
}

TEST(DataTypeCode, NullWordIsLogged) {
  quill::test::LogCapture log;
  EXPECT_EQ(GetDataTypeCode(nullptr), 0);
  EXPECT_TRUE(
      log.Contains("Column data type not supported - Error while creating column definition.\n"));
}

TEST(TypeCodeMap, BothDirections) {
  const TypeCodeMapEntry map[] = {{VEL_SQL_INT, 4}, {VEL_SQL_CHAR, 1}, {VEL_SQL_TEXT, -1}};
  EXPECT_EQ(GetMappedTypeNumber(map, 3, VEL_SQL_INT), 4);
  EXPECT_EQ(GetMappedTypeNumber(map, 3, VEL_SQL_TEXT), -1);
  EXPECT_EQ(GetMappedTypeNumber(map, 3, VEL_SQL_DATE), 0);
  EXPECT_EQ(GetMappedTypeNumber(map, 2, VEL_SQL_TEXT), 0);
  EXPECT_EQ(GetMappedTypeCode(map, 3, 1), VEL_SQL_CHAR);
  EXPECT_EQ(GetMappedTypeCode(map, 3, 99), 0);
  EXPECT_EQ(GetMappedTypeNumber(nullptr, 3, VEL_SQL_INT), 0);
}

// One column per case, read in a table of its own, checked field by field.
TEST_F(DataDictTest, ColumnProperties) {
  struct Case {
    const char* label;
    std::string properties;
    uint8_t dataType;
    int32_t maxSize;
    uint8_t nullable;
    uint8_t unique;
    const char* generator;
    const char* description;
  };
  const Case cases[] = {
      {"char 256 is text", "<data-type>CHAR</data-type><max-size>256</max-size>", 22, 256, 1, 0,
       nullptr, nullptr},
      {"char 255 stays", "<data-type>CHAR</data-type><max-size>255</max-size>", 15, 255, 1, 0,
       nullptr, nullptr},
      {"VEL_SQL_CHAR 300 is text", "<data-type>VEL_SQL_CHAR</data-type><max-size>300</max-size>",
       22, 300, 1, 0, nullptr, nullptr},
      {"VEL_SQL_CHAR 10", "<data-type>VEL_SQL_CHAR</data-type><max-size>10</max-size>", 14, 10, 1,
       0, nullptr, nullptr},
      {"int ignores max-size", "<data-type>INTEGER</data-type><max-size>999</max-size>", 5, 999, 1,
       0, nullptr, nullptr},
      {"no max-size", "<data-type>CHAR</data-type>", 15, 0, 1, 0, nullptr, nullptr},
      {"max-size not a number", "<data-type>CHAR</data-type><max-size>x</max-size>", 15, -1, 1, 0,
       nullptr, nullptr},
      {"varchar unsupported", "<data-type>varchar</data-type>", 0, 0, 1, 0, nullptr, nullptr},
      {"no data-type", "<nullable>true</nullable>", 0, 0, 1, 0, nullptr, nullptr},
      {"empty data-type", "<data-type></data-type>", 0, 0, 1, 0, nullptr, nullptr},
      {"nullable TRUE", "<data-type>INTEGER</data-type><nullable>TRUE</nullable>", 5, 0, 1, 0,
       nullptr, nullptr},
      {"nullable yes", "<data-type>INTEGER</data-type><nullable>yes</nullable>", 5, 0, 0, 0,
       nullptr, nullptr},
      {"nullable false", "<nullable>false</nullable><data-type>INTEGER</data-type>", 5, 0, 0, 0,
       nullptr, nullptr},
      {"nullable empty is absent", "<data-type>INTEGER</data-type><nullable/>", 5, 0, 1, 0, nullptr,
       nullptr},
      {"unique true", "<data-type>INTEGER</data-type><unique>true</unique>", 5, 0, 1, 1, nullptr,
       nullptr},
      {"unique TRUE", "<data-type>INTEGER</data-type><unique>TRUE</unique>", 5, 0, 1, 0, nullptr,
       nullptr},
      {"generator",
       "<data-type>BIGINT</data-type><uniquevalue-generation><generator-name>Seq1</"
       "generator-name></uniquevalue-generation>",
       7, 0, 1, 0, "Seq1", nullptr},
      {"description first", "<description>The id</description><data-type>INTEGER</data-type>", 5, 0,
       1, 0, nullptr, "The id"},
      {"comments and unknown elements skipped",
       "<!-- note --><colour>red</colour><data-type>INTEGER</data-type><!-- x --><unique>true</"
       "unique>",
       5, 0, 1, 1, nullptr, nullptr},
      {"upper-case property names are not known", "<DATA-TYPE>INTEGER</DATA-TYPE>", 0, 0, 1, 0,
       nullptr, nullptr},
      {"cdata text", "<data-type><![CDATA[INTEGER]]></data-type>", 5, 0, 1, 0, nullptr, nullptr},
  };
  std::string tables;
  int index = 0;
  for (const Case& c : cases) {
    tables += Table("T" + std::to_string(index++), Column("Col", c.properties));
  }
  LoadText(Dictionary(tables));
  ASSERT_EQ(GetTableDefnCount(), static_cast<int32_t>(std::size(cases)));
  index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ColumnDefn* column = GetColumnDefnEntry(("T" + std::to_string(index++)).c_str(), "Col");
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->dataType, c.dataType);
    EXPECT_EQ(column->maxSize, c.maxSize);
    EXPECT_EQ(column->nullable, c.nullable);
    EXPECT_EQ(column->unique, c.unique);
    EXPECT_EQ(column->generatorName == nullptr ? std::string("<null>") : column->generatorName,
              c.generator == nullptr ? "<null>" : c.generator);
    EXPECT_EQ(column->description == nullptr ? std::string("<null>") : column->description,
              c.description == nullptr ? "<null>" : c.description);
    EXPECT_EQ(column->defaultValue, nullptr);
    EXPECT_EQ(column->allowedValues, nullptr);
  }
}

TEST_F(DataDictTest, EachColumnStartsFromDefaults) {
  LoadText(Dictionary(
      Table("T", Column("A",
                        "<data-type>CHAR</data-type><max-size>40</max-size><nullable>no</nullable>"
                        "<unique>true</unique><default-value>x</default-value>") +
                     Column("B", "<data-type>CHAR</data-type>"))));
  const ColumnDefn* b = GetColumnDefnEntry("T", "B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->maxSize, 0);
  EXPECT_EQ(b->nullable, 1);
  EXPECT_EQ(b->unique, 0);
  EXPECT_EQ(b->defaultValue, nullptr);
  const TableDefn* table = GetTableDefn("T");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->columns->count, 2);
  EXPECT_STREQ(static_cast<ColumnDefn*>(table->columns->head->data)->name, "A");
  EXPECT_STREQ(static_cast<ColumnDefn*>(table->columns->head->next->data)->name, "B");
}

TEST_F(DataDictTest, DefaultsConvertedByDeclaredType) {
  struct Case {
    const char* type;
    const char* maxSize;
    const char* text;
    int32_t length;
  };
  const Case cases[] = {
      {"INTEGER", "", "42", 4},         {"INTEGER", "", "-7", 4},
      {"BIGINT", "", "9000000000", 8},  {"VEL_SQL_SMALLINT", "", "12", 2},
      {"VEL_SQL_TINYINT", "", "-3", 1}, {"BOOLEAN", "", "TRUE", 1},
      {"CHAR", "", "hello", 5},         {"CHAR", "300", "long text", 9},
      {"DATE", "", "2024-02-29", 11},   {"DATETIME", "", "2024-01-01 10:20:30", 11},
  };
  std::string columns;
  int index = 0;
  for (const Case& c : cases) {
    std::string properties = std::string("<data-type>") + c.type + "</data-type>";
    if (*c.maxSize != '\0') properties += std::string("<max-size>") + c.maxSize + "</max-size>";
    properties += std::string("<default-value>") + c.text + "</default-value>";
    columns += Column("C" + std::to_string(index++), properties);
  }
  LoadText(Dictionary(Table("Defaults", columns)));
  index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.text);
    const std::string name = "C" + std::to_string(index++);
    uint8_t found = 0;
    void* value = GetDefaultValue("Defaults", name.c_str(), &found);
    EXPECT_EQ(found, 1);
    ASSERT_NE(value, nullptr);
    const ColumnDefn* column = GetColumnDefnEntry("Defaults", name.c_str());
    EXPECT_EQ(column->defaultLength, c.length);
    // The same value as a direct conversion under the declared type. Dates
    // hold pointers into their own block, so values compare by text.
    int32_t length = 0;
    void* direct = ValueFromString(c.text, &length, GetDataTypeCode(c.type));
    ASSERT_NE(direct, nullptr);
    char* expected = ValueToString(direct, length, GetDataTypeCode(c.type));
    char* text = ValueToString(value, column->defaultLength, GetDataTypeCode(c.type));
    ASSERT_NE(text, nullptr);
    ASSERT_NE(expected, nullptr);
    EXPECT_STREQ(text, expected);
    std::free(text);
    std::free(expected);
    std::free(direct);
  }
}

TEST_F(DataDictTest, DefaultThatDoesNotConvertIsLoggedAndAbsent) {
  LoadText(Dictionary(Table(
      "T", Column("Flag", "<data-type>BOOLEAN</data-type><default-value>yes</default-value>"))));
  uint8_t found = 0;
  EXPECT_EQ(GetDefaultValue("T", "Flag", &found), nullptr);
  EXPECT_EQ(found, 1);
  EXPECT_TRUE(log_.Contains("Default value yes of column Flag in table T does not convert"));
}

TEST_F(DataDictTest, AllowedValues) {
  LoadText(Dictionary(Table(
      "T", Column("List",
                  "<data-type>CHAR</data-type><allowed-values><value>a</value><!-- c "
                  "--><value>b</value><value/><value>c</value></allowed-values>") +
               Column("Range",
                      "<data-type>INTEGER</data-type><allowed-values><from>1</from><to>9</to></"
                      "allowed-values>") +
               Column("Empty", "<data-type>INTEGER</data-type><allowed-values/>"))));
  const ColumnDefn* list = GetColumnDefnEntry("T", "List");
  ASSERT_NE(list, nullptr);
  ASSERT_NE(list->allowedValues, nullptr);
  EXPECT_EQ(list->allowedValues->isRange, 0);
  std::vector<std::string> values;
  for (char** v = list->allowedValues->values; *v != nullptr; ++v) values.emplace_back(*v);
  EXPECT_EQ(values, (std::vector<std::string>{"a", "b", "c"}));

  const ColumnDefn* range = GetColumnDefnEntry("T", "Range");
  ASSERT_NE(range, nullptr);
  ASSERT_NE(range->allowedValues, nullptr);
  EXPECT_EQ(range->allowedValues->isRange, 1);
  EXPECT_STREQ(range->allowedValues->values[0], "1");
  EXPECT_STREQ(range->allowedValues->values[1], "9");

  EXPECT_EQ(GetColumnDefnEntry("T", "Empty")->allowedValues, nullptr);
}

TEST_F(DataDictTest, KeysAndForeignKeys) {
  const std::string fk =
      "<primary-key><primary-key-column>A</primary-key-column><primary-key-column/>"
      "<primary-key-column>B</primary-key-column></primary-key>"
      "<foreign-keys>"
      "<foreign-key name=\"f1\" reference-table-name=\"Parent\" isbidirectional=\"true\">"
      "<fk-columns>"
      "<fk-column><fk-local-column>A</fk-local-column><fk-reference-column>PA</"
      "fk-reference-column></fk-column>"
      "<fk-column><fk-local-column>B</fk-local-column><fk-reference-column>PB</"
      "fk-reference-column></fk-column>"
      "</fk-columns><fk-constraints>ON-DELETE-CASCADE</fk-constraints></foreign-key>"
      "<foreign-key reference-table-name=\"Other\" isbidirectional=\"TRUE\"><fk-columns>"
      "<fk-column><fk-local-column>C</fk-local-column><fk-reference-column>OC</"
      "fk-reference-column></fk-column></fk-columns>"
      "<fk-constraints>on-delete-cascade</fk-constraints></foreign-key>"
      "<foreign-key name=\"nameless\"><fk-columns><fk-column><fk-local-column>A</"
      "fk-local-column><fk-reference-column>X</fk-reference-column></fk-column></fk-columns></"
      "foreign-key>"
      "<foreign-key reference-table-name=\"Late\"><fk-constraints>ON-DELETE-CASCADE</"
      "fk-constraints><fk-columns/></foreign-key>"
      "</foreign-keys>";
  LoadText(Dictionary(Table("Child",
                            Column("A", "<data-type>INTEGER</data-type>") +
                                Column("B", "<data-type>INTEGER</data-type>") +
                                Column("C", "<data-type>INTEGER</data-type>"),
                            fk)));
  const TableDefn* table = GetTableDefn("child");
  ASSERT_NE(table, nullptr);
  const ConstraintDefn* constraints = table->constraints;
  ASSERT_NE(constraints, nullptr);
  ASSERT_EQ(constraints->primaryKeyCount, 3);
  EXPECT_STREQ(constraints->primaryKey[0], "A");
  EXPECT_STREQ(constraints->primaryKey[1], "B");
  EXPECT_EQ(constraints->primaryKey[2], nullptr);

  ASSERT_NE(constraints->foreignKeys, nullptr);
  ASSERT_EQ(constraints->foreignKeys->count, 3);
  struct Expected {
    const char* local;
    const char* reference;
    const char* table;
    uint8_t cascade;
    uint8_t bidirectional;
  };
  const Expected expected[] = {
      {"A", "PA", "Parent", 1, 1},
      {"B", "PB", "Parent", 1, 1},
      {"C", "OC", "Other", 0, 0},
  };
  VectorElement* e = constraints->foreignKeys->head;
  for (const Expected& x : expected) {
    ASSERT_NE(e, nullptr);
    const auto* f = static_cast<ForeignKeyDefn*>(e->data);
    EXPECT_STREQ(f->localColumn, x.local);
    EXPECT_STREQ(f->referenceColumn, x.reference);
    EXPECT_STREQ(f->referenceTable, x.table);
    EXPECT_EQ(f->onDeleteCascade, x.cascade) << x.local;
    EXPECT_EQ(f->bidirectional, x.bidirectional) << x.local;
    e = e->next;
  }
  EXPECT_TRUE(log_.Contains("Foreign key without reference-table-name in table Child"));
  EXPECT_TRUE(log_.Contains("fk-columns tag not found \n"));

  const ForeignKeyDefn* byName = GetForeignKeyDefn(table, "b");
  ASSERT_NE(byName, nullptr);
  EXPECT_STREQ(byName->referenceColumn, "PB");
  EXPECT_EQ(GetForeignKeyDefn(table, "Z"), nullptr);
}

TEST_F(DataDictTest, TableWithoutKeysHasEmptyConstraints) {
  LoadText(Dictionary(Table("Plain", Column("A", "<data-type>INTEGER</data-type>"))));
  const TableDefn* table = GetTableDefn("Plain");
  ASSERT_NE(table, nullptr);
  ASSERT_NE(table->constraints, nullptr);
  EXPECT_EQ(table->constraints->primaryKeyCount, 0);
  EXPECT_EQ(table->constraints->foreignKeys, nullptr);
  EXPECT_EQ(GetForeignKeyDefn(table, "A"), nullptr);
  EXPECT_TRUE(log_.Contains("No Foreignkey Entries in Definition \n"));
  EXPECT_EQ(GetForeignKeyDefn(nullptr, "A"), nullptr);
  EXPECT_TRUE(log_.Contains("No constraint Definition \n"));
}

TEST_F(DataDictTest, LookUps) {
  EXPECT_EQ(GetTableDefn("Users"), nullptr);  // empty dictionary
  LoadText(
      Dictionary(Table("Users", Column("Name",
                                       "<description>who</description><data-type>CHAR</data-type>"
                                       "<default-value>nobody</default-value>") +
                                    Column("Id", "<data-type>INTEGER</data-type>")) +
                 Table("USERS", Column("Other", "<data-type>INTEGER</data-type>"))));
  ASSERT_EQ(GetTableDefnCount(), 2);
  // Table names without case, first definition wins; column names with case.
  ASSERT_NE(GetTableDefn("USERS"), nullptr);
  EXPECT_EQ(GetTableDefn("USERS"), GetTableDefn("users"));
  EXPECT_NE(GetColumnDefnEntry("USERS", "Name"), nullptr);
  EXPECT_EQ(GetColumnDefnEntry("Users", "NAME"), nullptr);
  EXPECT_EQ(GetColumnDefnEntry("Users", "Other"), nullptr);
  EXPECT_EQ(GetColumnDataType("Users", "Id"), VEL_SQL_INT);
  EXPECT_EQ(GetColumnDataType("Users", "id"), 0);

  uint8_t found = 0;
  void* value = GetDefaultValue("Users", "Name", &found);
  EXPECT_EQ(found, 1);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(static_cast<char*>(value), "nobody");
  found = 0;
  EXPECT_EQ(GetDefaultValue("Users", "Id", &found), nullptr);
  EXPECT_EQ(found, 1);  // the column exists, without a default
  found = 7;
  EXPECT_EQ(GetDefaultValue("Users", "name", &found), nullptr);
  EXPECT_EQ(found, 7);  // left alone

  struct Case {
    const char* table;
    const char* column;
    const char* message;
  };
  const Case bad[] = {
      {nullptr, "Name", "Cannot fetch default value;\n"},
      {"Users", nullptr, "Cannot fetch default value;\n"},
      {"Nowhere", "Name", "No definition found for table Nowhere\n"},
  };
  for (const Case& c : bad) {
    const int before = log_.Count(c.message);
    EXPECT_EQ(GetColumnDefnEntry(c.table, c.column), nullptr);
    EXPECT_EQ(GetColumnDataType(c.table, c.column), 0);
    found = 3;
    EXPECT_EQ(GetDefaultValue(c.table, c.column, &found), nullptr);
    EXPECT_EQ(found, 3);
    EXPECT_EQ(log_.Count(c.message), before + 3) << c.message;
  }
  EXPECT_EQ(log_.Count("@@@@ Inside GetColumnDefnEntry @@@@\n") > 0, true);
  EXPECT_TRUE(log_.Contains("@@@@ Inside GetDefaultValue @@@@\n"));
  EXPECT_EQ(GetTableDefn(nullptr), nullptr);
  EXPECT_TRUE(log_.Contains("Table Name is NULL.\n"));

  RemoveTableDefn("users");  // removes the first only
  ASSERT_EQ(GetTableDefnCount(), 1);
  EXPECT_NE(GetColumnDefnEntry("Users", "Other"), nullptr);
  RemoveTableDefn("Unknown");
  EXPECT_EQ(GetTableDefnCount(), 1);
}

TEST_F(DataDictTest, AttributesAndNames) {
  LoadText(
      Dictionary("<table name=\"T\" system=\"yes\" colour=\"red\"><columns>"
                 "<column system=\"Sys\"><data-type>INTEGER</data-type></column>"
                 "<column><data-type>INTEGER</data-type></column>"
                 "<column name=\"Ok\"><data-type>INTEGER</data-type></column>"
                 "</columns></table>\n"
                 "<table system=\"OnlySystem\"><columns><column name=\"A\"/></columns></table>\n"
                 "<table><columns><column name=\"A\"/></columns></table>\n"));
  EXPECT_TRUE(log_.Contains("\n Not all Attributes were read\n"));
  EXPECT_TRUE(log_.Contains("Column without a name in table T is skipped\n"));
  EXPECT_TRUE(log_.Contains("Table definition without a name is skipped\n"));
  const TableDefn* t = GetTableDefn("T");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->columns->count, 2);
  EXPECT_STREQ(static_cast<ColumnDefn*>(t->columns->head->data)->name, "Sys");
  ASSERT_NE(GetTableDefn("OnlySystem"), nullptr);
  EXPECT_EQ(GetTableDefnCount(), 2);
}

// A file's tables and the messages logged, one file per case.
TEST_F(DataDictTest, BadInput) {
  struct Case {
    const char* label;
    std::string xml;  // empty: use fixture
    const char* fixture;
    std::vector<std::string> tables;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"no columns element",
       Dictionary("<table name=\"A\"><description>d</description></table>"),
       nullptr,
       {},
       {"No columns defined for table A\n"}},
      {"columns without column",
       Dictionary("<table name=\"A\"><columns/></table>" +
                  Table("B", Column("X", "<data-type>INTEGER</data-type>"))),
       nullptr,
       {"B"},
       {"No columns defined for table A\n"}},
      {"unknown element ends the columns",
       Dictionary(Table("A", "<column name=\"X\"/><other/><column name=\"Y\"/>")),
       nullptr,
       {"A"},
       {}},
      {"top-level description and unknown elements",
       Dictionary("<description>all</description><misc><x/></misc>" +
                  Table("A", Column("X", "<data-type>INTEGER</data-type>"))),
       nullptr,
       {"A"},
       {}},
      {"malformed",
       "",
       "malformed.xml",
       {"Before"},
       {"\nxmlTextReaderRead returned error \n", "malformed.xml : failed to parse\n"}},
      {"from without to",
       "",
       "missing_to.xml",
       {"First", "Last"},
       {"In the allowed values attribute, 'to' tag is missing.\n"}},
      {"unclosed primary-key-column",
       "",
       "unclosed_pk.xml",
       {},
       {"\nMissing primary-key-column end tag\n", "unclosed_pk.xml : failed to parse\n"}},
      {"unclosed description",
       "",
       "unclosed_description.xml",
       {"Kept"},
       {"\nNo Description end tag\n", "unclosed_description.xml : failed to parse\n"}},
      {"not xml", "", "not_xml.xml", {}, {"not_xml.xml : failed to parse\n"}},
      {"unclosed value",
       "<data-dictionary><table name=\"A\"><columns><column name=\"X\"><allowed-values><value>1" +
           Pad() + "</allowed-values>",
       nullptr,
       {},
       {"\n No ending Value tag\n"}},
      {"unclosed from",
       "<data-dictionary><table name=\"A\"><columns><column name=\"X\"><allowed-values><from>1" +
           Pad(),
       nullptr,
       {},
       {"\nNo Ending FROM tag \n"}},
      {"unclosed to",
       "<data-dictionary><table name=\"A\"><columns><column name=\"X\"><allowed-values><from>1<"
       "/from><to>" +
           Pad(),
       nullptr,
       {},
       {"\nNo ending TO tag \n"}},
      {"unclosed fk-local-column",
       "<data-dictionary><table name=\"A\"><foreign-keys><foreign-key><fk-columns><fk-column>"
       "<fk-local-column>x" +
           Pad() + "</fk-column>",
       nullptr,
       {},
       {"\n Missing endof FK-LOCAL-COLUMN tag\n"}},
      {"unclosed fk-reference-column",
       "<data-dictionary><table name=\"A\"><foreign-keys><foreign-key><fk-columns><fk-column>"
       "<fk-reference-column>x" +
           Pad(),
       nullptr,
       {},
       {"\nMissing endof FK-REFERENCE-COLUMN\n"}},
      {"unclosed fk-columns",
       "<data-dictionary><table name=\"A\"><foreign-keys><foreign-key><fk-columns><fk-column/>" +
           Pad(),
       nullptr,
       {},
       {"\nMissing end FK-COLUMNS\n"}},
      {"unclosed fk-constraints",
       "<data-dictionary><table name=\"A\"><foreign-keys><foreign-key><fk-constraints>x" + Pad(),
       nullptr,
       {},
       {"\nMissing endof FK-CONSTRAINTS tag\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FreeDataDictionary();
    InitDataDictionary();
    const size_t logStart = log_.Text().size();
    const fs::path file =
        c.fixture != nullptr ? kFixtures / c.fixture : folder_.Write("bad.xml", c.xml);
    EXPECT_TRUE(LoadDataDictFromXMLFile(file.c_str()));
    EXPECT_EQ(TableNames(), c.tables);
    const std::string logged = log_.Text().substr(logStart);
    for (const std::string& message : c.messages) {
      EXPECT_NE(logged.find(message), std::string::npos) << message << "\n--- log:\n" << logged;
    }
  }
}

TEST_F(DataDictTest, UnopenableFileAndNullPath) {
  const std::string missing = (folder_.path() / "missing.xml").string();
  EXPECT_TRUE(LoadDataDictFromXMLFile(missing.c_str()));
  EXPECT_TRUE(log_.Contains("Unable to open " + missing + "\n"));
  EXPECT_FALSE(LoadDataDictFromXMLFile(nullptr));
  EXPECT_EQ(GetTableDefnCount(), 0);
}

TEST_F(DataDictTest, PrintTableDefn) {
  LoadText(Dictionary(
      Table("Orders",
            Column("Id",
                   "<description>key</description><data-type>INTEGER</data-type>"
                   "<unique>true</unique>") +
                Column("Cust", "<data-type>INTEGER</data-type>"),
            "<primary-key><primary-key-column>Id</primary-key-column></primary-key>"
            "<foreign-keys><foreign-key reference-table-name=\"Customers\"><fk-columns><fk-column>"
            "<fk-local-column>Cust</fk-local-column><fk-reference-column>CustId</"
            "fk-reference-column></fk-column></fk-columns></foreign-key></foreign-keys>")));
  const size_t logStart = log_.Text().size();
  PrintDataDictionary();
  const std::string expected =
      "Table Name : Orders\n"
      "Description: \n"
      "---------------------------------------\n\n"
      "Column Name : Id\nColumn Type : 5\nUnique Flag : TRUE\nDescription : key\n"
      "---------------------------------------\n\n"
      "Column Name : Cust\nColumn Type : 5\nUnique Flag : FALSE\nDescription : \n"
      "---------------------------------------\n\n"
      "Primary key : Id\n\n"
      "Foreign key Constraints\n"
      "********************************\n"
      "Column Name : Cust\nRef Column  : CustId\nTablename : Customers\n"
      "********************************\n";
  // Strip the line prefixes: everything up to the tag's trailing blank.
  const std::string text = log_.Text().substr(logStart);
  std::string messages;
  size_t at = 0;
  while (at < text.size()) {
    const size_t tag = text.find("[DEBUG] ", at);
    if (tag == std::string::npos) break;
    size_t next = text.find("[ ", tag);
    // A message may itself hold line ends; it ends where the next prefix starts.
    while (next != std::string::npos && next > 0 && text[next - 1] != '\n') {
      next = text.find("[ ", next + 1);
    }
    messages += text.substr(tag + 8, (next == std::string::npos ? text.size() : next) - tag - 8);
    at = next == std::string::npos ? text.size() : next;
  }
  EXPECT_EQ(messages, expected) << text;
}

// Whichever allocation fails, the table is either complete or absent, the
// failure is logged, and nothing leaks (the sanitizer build checks that).
TEST_F(DataDictTest, AllocationFailuresLeaveNoPartialTable) {
  const fs::path file = folder_.Write(
      "oom.xml",
      Dictionary(Table("T",
                       Column("A",
                              "<description>d</description><data-type>INTEGER</data-type>"
                              "<default-value>5</default-value><uniquevalue-generation>"
                              "<generator-name>G</generator-name></uniquevalue-generation>") +
                           Column("B",
                                  "<data-type>CHAR</data-type><allowed-values><value>x</"
                                  "value><value>y</value></allowed-values>") +
                           Column("C",
                                  "<data-type>INTEGER</data-type><allowed-values><from>1</"
                                  "from><to>2</to></allowed-values>"),
                       "<primary-key><primary-key-column>A</primary-key-column></primary-key>"
                       "<foreign-keys><foreign-key reference-table-name=\"P\"><fk-columns>"
                       "<fk-column><fk-local-column>B</fk-local-column><fk-reference-column>X</"
                       "fk-reference-column></fk-column></fk-columns></foreign-key>"
                       "</foreign-keys>")));
  bool loaded = false;
  for (int successes = 0; successes < 500 && !loaded; ++successes) {
    SCOPED_TRACE(successes);
    FreeDataDictionary();
    InitDataDictionary();
    quill::testing::FailAllocationsAfter(successes);
    LoadDataDictFromXMLFile(file.c_str());
    quill::testing::FailAllocationsAfter(-1);
    if (GetTableDefnCount() == 0) {
      EXPECT_TRUE(log_.Contains("MEMORY_ALLOCATION_FAILURE\n"));
      continue;
    }
    loaded = true;
    const TableDefn* table = GetTableDefn("T");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columns->count, 3);
    ASSERT_NE(table->constraints->foreignKeys, nullptr);
    EXPECT_EQ(table->constraints->foreignKeys->count, 1);
    EXPECT_STREQ(GetColumnDefnEntry("T", "A")->generatorName, "G");
    EXPECT_NE(GetColumnDefnEntry("T", "B")->allowedValues, nullptr);
    EXPECT_NE(GetColumnDefnEntry("T", "C")->allowedValues, nullptr);
  }
  EXPECT_TRUE(loaded);
}

TEST_F(DataDictTest, LoadsFromDataFolderBesideWorkingDirectory) {
  folder_.Write("data/datadictionary.txt", "one.xml\ttwo.xml\n\n missing.xml  \r\nthree.xml");
  folder_.Write("data/one.xml",
                Dictionary(Table("One", Column("A", "<data-type>INTEGER</data-type>"))));
  folder_.Write("data/two.xml",
                Dictionary(Table("Two", Column("A", "<data-type>INTEGER</data-type>"))));
  folder_.Write("data/three.xml",
                Dictionary(Table("one", Column("B", "<data-type>INTEGER</data-type>"))));
  fs::create_directories(folder_.path() / "bin");
  {
    WorkingDirectory cwd(folder_.path() / "bin");
    EXPECT_TRUE(LoadAllDataDictFiles());
  }
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"One", "Two", "one"}));
  EXPECT_NE(GetColumnDefnEntry("ONE", "A"), nullptr);  // the first one loaded
  EXPECT_TRUE(log_.Contains("Opening ../data/one.xml\n"));
  EXPECT_TRUE(log_.Contains("Unable to open ../data/missing.xml\n"));
  EXPECT_TRUE(log_.Contains("\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n"));
}

TEST_F(DataDictTest, FallsBackToRootFolder) {
  TempFolder root;
  root.Write("data/datadictionary.txt", "t.xml\n");
  root.Write("data/t.xml",
             Dictionary(Table("FromRoot", Column("A", "<data-type>INTEGER</data-type>"))));
  const std::string rootText = root.path().string();
  fs::create_directories(folder_.path() / "bin");
  WorkingDirectory cwd(folder_.path() / "bin");  // no ../data here
  SetLogRootFolder(rootText.c_str());
  EXPECT_TRUE(LoadAllDataDictFiles());
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"FromRoot"}));
  EXPECT_TRUE(log_.Contains("Opening " + rootText + "/data/datadictionary.txt\n"));
  EXPECT_TRUE(log_.Contains("Opening " + rootText + "/data/t.xml\n"));

  const std::string empty = (folder_.path() / "empty-root").string();
  SetLogRootFolder(empty.c_str());
  EXPECT_FALSE(LoadAllDataDictFiles());
  EXPECT_TRUE(log_.Contains("Cannot open DataDictionary File.\n"));
  SetLogRootFolder(nullptr);
  EXPECT_FALSE(LoadAllDataDictFiles());
}

TEST_F(DataDictTest, LoadDataDictFilesFromFolder) {
  // A name longer than any fixed path buffer is read whole.
  const std::string longName = std::string(200, 'n') + ".xml";
  folder_.Write("datadictionary.txt", longName + "\n");
  folder_.Write(longName, Dictionary(Table("Long", Column("A", "<data-type>INTEGER</data-type>"))));
  EXPECT_TRUE(LoadDataDictFiles(folder_.path().c_str()));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Long"}));
  const int errors = log_.Count("ERROR");
  EXPECT_FALSE(LoadDataDictFiles((folder_.path() / "nowhere").c_str()));
  EXPECT_EQ(log_.Count("ERROR"), errors);  // silently
  EXPECT_FALSE(LoadDataDictFiles(nullptr));
}

TEST_F(DataDictTest, ExampleDataFolder) {
  ASSERT_TRUE(LoadDataDictFiles(kExampleData.c_str()));
  EXPECT_EQ(TableNames(),
            (std::vector<std::string>{"Products", "Customers", "Orders", "OrderItems"}));
  EXPECT_EQ(log_.Count("ERROR"), 0) << log_.Text();
  EXPECT_EQ(GetColumnDataType("Products", "Details"), VEL_SQL_TEXT);
  EXPECT_EQ(GetColumnDataType("Products", "Price"), VEL_SQL_INT);
  EXPECT_STREQ(GetColumnDefnEntry("Orders", "OrderId")->generatorName, "OrderSeq");
  const TableDefn* items = GetTableDefn("orderitems");
  ASSERT_NE(items, nullptr);
  EXPECT_EQ(items->constraints->primaryKeyCount, 2);
  const ForeignKeyDefn* toProduct = GetForeignKeyDefn(items, "productid");
  ASSERT_NE(toProduct, nullptr);
  EXPECT_STREQ(toProduct->referenceTable, "Products");
  EXPECT_EQ(toProduct->onDeleteCascade, 0);
  const ForeignKeyDefn* toCustomer = GetForeignKeyDefn(GetTableDefn("Orders"), "CustomerId");
  ASSERT_NE(toCustomer, nullptr);
  EXPECT_EQ(toCustomer->bidirectional, 1);
  EXPECT_EQ(toCustomer->onDeleteCascade, 1);
  // Every referenced table and column exists.
  for (VectorElement* t = GetDataDictionary()->head; t != nullptr; t = t->next) {
    const auto* table = static_cast<TableDefn*>(t->data);
    for (int32_t i = 0; i < table->constraints->primaryKeyCount; ++i) {
      EXPECT_NE(GetColumnDefnEntry(table->name, table->constraints->primaryKey[i]), nullptr);
    }
    if (table->constraints->foreignKeys == nullptr) continue;
    for (VectorElement* f = table->constraints->foreignKeys->head; f != nullptr; f = f->next) {
      const auto* fk = static_cast<ForeignKeyDefn*>(f->data);
      EXPECT_NE(GetColumnDefnEntry(table->name, fk->localColumn), nullptr);
      EXPECT_NE(GetColumnDefnEntry(fk->referenceTable, fk->referenceColumn), nullptr);
    }
  }
}

}  // namespace
