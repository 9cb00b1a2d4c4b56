// Tests of change notifications: registration rules, the sorted table lists,
// the event filter, delivery order and the listener's copy of the row.
#include "quill/imds/notifications.h"
#include "tests/quill/dictionary_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/datetime.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"

namespace {

constexpr const char* kDictionary = R"(<?xml version="1.0"?>
<data-dictionary>
<table name="ORDERS"><columns>
<column name="Id"><data-type>INTEGER</data-type></column>
<column name="Note"><data-type>CHAR</data-type><max-size>40</max-size></column>
<column name="Placed"><data-type>DATETIME</data-type></column>
</columns></table>
<table name="Users"><columns>
<column name="Name"><data-type>CHAR</data-type><max-size>40</max-size></column>
</columns></table>
</data-dictionary>
)";

enum OrderColumn { kId, kNote, kPlaced, kOrderColumns };

// What a listener saw, copied out of the notification while it was alive.
struct Delivery {
  std::string listener;
  std::string table;
  uint8_t status;
  std::string note;  // "(null)" when the copied value was not there
  int32_t noteLength;
  std::string placed;
  bool hasTimestamp;
  bool rowIsCopy;
  bool hasNext;
};

std::vector<Delivery> g_deliveries;
RowObject* g_lastOriginal = nullptr;

bool Record(IMDSNotification* n, const char* listenerName) {
  Delivery d;
  d.listener = listenerName;
  d.table = n->tableName;
  d.status = n->row->status;
  d.note = n->row->values[kNote] != nullptr
               ? std::string(static_cast<const char*>(n->row->values[kNote]),
                             static_cast<size_t>(n->row->lengths[kNote]))
               : "(null)";
  d.noteLength = n->row->lengths[kNote];
  char* placed = ValueToString(n->row->values[kPlaced], n->row->lengths[kPlaced], VEL_SQL_DATETIME);
  d.placed = placed != nullptr ? placed : "(none)";
  std::free(placed);
  d.hasTimestamp = n->timestamp != nullptr && n->timestamp->date != nullptr;
  d.rowIsCopy = n->row != g_lastOriginal;
  d.hasNext = n->row->next != nullptr;
  g_deliveries.push_back(d);
  return true;
}

// A null-terminated list of table names the test keeps alive.
struct NameList {
  explicit NameList(std::vector<std::string> names) : texts(std::move(names)) {
    for (auto& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
  }
  std::vector<std::string> Sorted() const {
    std::vector<std::string> out;
    for (char* const* p = pointers.data(); *p != nullptr; ++p) out.emplace_back(*p);
    return out;
  }
  char** get() { return pointers.data(); }
  std::vector<std::string> texts;
  std::vector<char*> pointers;
};

class NotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    ASSERT_TRUE(dictionary_.Load());
    InitTableRegistry();
    InitNotification();
    g_deliveries.clear();
    g_lastOriginal = nullptr;
    ASSERT_TRUE(CreateTable("ORDERS"));
    ASSERT_TRUE(CreateTable("Users"));
  }

  void TearDown() override {
    DeInitNotification();
    hv::test::FreeRegisteredTables();
    FreeDataDictionary();
    SetTableChangeSink(nullptr);
  }

  // A row of ORDERS; a null text leaves the value null.
  static RowObject* MakeOrder(const char* id, const char* note, const char* placed,
                              uint8_t status = ROW_NEW) {
    const char* texts[kOrderColumns] = {id, note, placed};
    const uint8_t codes[kOrderColumns] = {VEL_SQL_INT, VEL_SQL_VARCHAR, VEL_SQL_DATETIME};
    auto** values = static_cast<void**>(std::calloc(kOrderColumns, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::calloc(kOrderColumns, sizeof(int32_t)));
    for (int i = 0; i < kOrderColumns; ++i) {
      if (texts[i] == nullptr) continue;
      int32_t length = static_cast<int32_t>(std::strlen(texts[i]));
      values[i] = ValueFromString(texts[i], &length, codes[i]);
      lengths[i] = length;
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    row->status = status;
    return row;
  }

  quill::test::LogCapture log_;
  hv::test::DictionaryFile dictionary_{kDictionary};
};

TEST_F(NotificationTest, TableListIsSortedWithoutCaseAndMatchesAnyCase) {
  NameList tables({"Users", "accounts", "Orders"});
  ASSERT_TRUE(AddNotificationListener("watcher", 0, Record, 1, tables.get()));
  EXPECT_EQ(tables.Sorted(), (std::vector<std::string>{"accounts", "Orders", "Users"}));
  EXPECT_TRUE(log_.Contains("Listener with name watcher added\n"));

  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "first", nullptr)));
  ASSERT_EQ(g_deliveries.size(), 1u);
  EXPECT_EQ(g_deliveries[0].table, "ORDERS");
  EXPECT_EQ(g_deliveries[0].listener, "watcher");
  EXPECT_EQ(g_deliveries[0].status, ROW_NEW);
}

TEST_F(NotificationTest, IsListContainsFindsEveryPosition) {
  struct Case {
    std::vector<std::string> names;  // already sorted without case
    const char* wanted;
    bool found;
  };
  const Case cases[] = {
      {{"a"}, "A", true},
      {{"a"}, "b", false},
      {{"alpha", "Beta", "gamma"}, "ALPHA", true},
      {{"alpha", "Beta", "gamma"}, "beta", true},
      {{"alpha", "Beta", "gamma"}, "Gamma", true},
      {{"alpha", "Beta", "gamma"}, "delta", false},
      {{"alpha", "Beta", "gamma"}, "zeta", false},
      {{"alpha", "Beta", "gamma"}, "", false},
      {{"a", "b", "c", "d"}, "a", true},
      {{"a", "b", "c", "d"}, "d", true},
      {{}, "a", false},
  };
  for (const Case& c : cases) {
    NameList list(c.names);
    EXPECT_EQ(IsListContains(list.get(), c.wanted), c.found) << c.wanted;
  }
  EXPECT_FALSE(IsListContains(nullptr, "a"));
  EXPECT_TRUE(log_.Contains("List doesn't contains key \n"));
}

TEST_F(NotificationTest, EventFilterAcceptsTheTypeWithAnyOtherBit) {
  struct Case {
    uint8_t eventType;
    uint8_t status;
    bool delivered;
  };
  const Case cases[] = {
      {0, 1, true},  {0, 2, true},  {0, 6, true},  {0, 8, true},  {2, 2, true},   {2, 3, true},
      {2, 6, true},  {2, 10, true}, {2, 1, false}, {2, 5, false}, {2, 7, false},  {4, 5, true},
      {4, 6, false}, {4, 2, false}, {4, 1, false}, {8, 8, true},  {8, 10, false}, {8, 9, true},
      {8, 6, false}, {1, 1, true},  {1, 5, true},  {1, 9, true},  {1, 2, false},  {1, 3, false},
      {6, 6, true},  {6, 7, true},  {6, 14, true}, {6, 2, false},
  };
  for (const Case& c : cases) {
    InitNotification();
    g_deliveries.clear();
    NameList tables({"ORDERS"});
    ASSERT_TRUE(AddNotificationListener("filter", c.eventType, Record, 1, tables.get()));
    RowObject* row = MakeOrder("1", "x", nullptr, c.status);
    SendNotification(row, "ORDERS");
    FreeRowObject(row, kOrderColumns);
    EXPECT_EQ(g_deliveries.size(), c.delivered ? 1u : 0u)
        << "eventType " << int(c.eventType) << " status " << int(c.status);
    if (!c.delivered) {
      EXPECT_TRUE(
          log_.Contains("Listener not registered for Eventype " + std::to_string(c.status) + "\n"));
    }
  }
}

TEST_F(NotificationTest, UpdateListenerSeesStoredRowsOnly) {
  NameList tables({"orders"});
  ASSERT_TRUE(AddNotificationListener("updates", ROW_MODIFIED, Record, 1, tables.get()));
  RowObject* fresh = MakeOrder("1", "new", nullptr, ROW_NEW);
  RowObject* stored = MakeOrder("2", "old", nullptr, ROW_IN_DATABASE);
  ASSERT_TRUE(AddNewRow("ORDERS", fresh));
  ASSERT_TRUE(AddNewRow("ORDERS", stored));
  EXPECT_TRUE(g_deliveries.empty());

  const char* text = "changed";
  ASSERT_TRUE(UpdateRowObject("ORDERS", fresh, "Note", text, 7));
  EXPECT_TRUE(g_deliveries.empty());
  ASSERT_TRUE(UpdateRowObject("ORDERS", stored, "Note", text, 7));
  ASSERT_EQ(g_deliveries.size(), 1u);
  EXPECT_EQ(g_deliveries[0].status, ROW_IN_DATABASE | ROW_MODIFIED);
  EXPECT_EQ(g_deliveries[0].note, "changed");
}

TEST_F(NotificationTest, ListenerGetsAnIndependentCopyOfTheRow) {
  NameList tables({"ORDERS"});
  ASSERT_TRUE(AddNotificationListener("copies", 0, Record, 1, tables.get()));
  RowObject* row = MakeOrder("7", nullptr, "2024-03-05 10:11:12");
  g_lastOriginal = row;
  ASSERT_TRUE(AddNewRow("ORDERS", row));
  ASSERT_EQ(g_deliveries.size(), 1u);
  const Delivery& d = g_deliveries[0];
  EXPECT_TRUE(d.rowIsCopy);
  EXPECT_FALSE(d.hasNext);
  EXPECT_TRUE(d.hasTimestamp);
  // A null value arrives as an empty buffer.
  EXPECT_EQ(d.note, "");
  EXPECT_EQ(d.noteLength, 0);
  // The date copy stands on its own, not on the table's value.
  EXPECT_EQ(d.placed, "2024-03-05 10:11:12");

  // Deleting a new row announces it before the row goes.
  g_deliveries.clear();
  g_lastOriginal = row;
  ASSERT_TRUE(DeleteRowObject("ORDERS", row));
  ASSERT_EQ(g_deliveries.size(), 1u);
  EXPECT_EQ(g_deliveries[0].placed, "2024-03-05 10:11:12");
}

TEST_F(NotificationTest, DeliveryFollowsRegistrationOrderAndSkipsOthers) {
  NameList orders({"ORDERS"});
  NameList users({"Users"});
  NameList none({});
  ASSERT_TRUE(AddNotificationListener("second", 0, Record, 1, orders.get()));
  ASSERT_TRUE(AddNotificationListener("first", 0, Record, 1, orders.get()));
  ASSERT_TRUE(AddNotificationListener("users only", 0, Record, 1, users.get()));
  ASSERT_TRUE(AddNotificationListener("no tables", 0, Record, 1, none.get()));
  ASSERT_TRUE(AddNotificationListener("null tables", 0, Record, 1, nullptr));
  ASSERT_TRUE(AddNotificationListener("off", 0, Record, 0, orders.get()));

  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "a", nullptr)));
  ASSERT_EQ(g_deliveries.size(), 2u);
  EXPECT_EQ(g_deliveries[0].listener, "second");
  EXPECT_EQ(g_deliveries[1].listener, "first");
  EXPECT_TRUE(log_.Contains("Listener not registered for ORDERS table\n"));
  EXPECT_TRUE(log_.Contains("Listener off  disabled\n"));
}

TEST_F(NotificationTest, DuplicateNameKeepsTheFirstListener) {
  NameList orders({"ORDERS"});
  NameList users({"Users"});
  ASSERT_TRUE(AddNotificationListener("Watcher", 0, Record, 1, orders.get()));
  EXPECT_TRUE(AddNotificationListener("WATCHER", 0, Record, 1, users.get()));
  EXPECT_TRUE(log_.Contains("Listener with same name exists WATCHER\n"));

  ASSERT_TRUE(AddNewRow("Users", [] {
    auto** values = static_cast<void**>(std::calloc(1, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::calloc(1, sizeof(int32_t)));
    return CreateNewRowObject(values, lengths);
  }()));
  EXPECT_TRUE(g_deliveries.empty());
  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "a", nullptr)));
  ASSERT_EQ(g_deliveries.size(), 1u);
  EXPECT_EQ(g_deliveries[0].listener, "Watcher");
}

TEST_F(NotificationTest, DisableAndRemoveByNameWithoutCase) {
  NameList orders({"ORDERS"});
  // Empty registry: false without a message.
  EXPECT_FALSE(RemoveNotification("ghost"));
  EXPECT_FALSE(DisableNotification("ghost"));
  EXPECT_FALSE(log_.Contains("doesn't exists"));

  ASSERT_TRUE(AddNotificationListener("one", 0, Record, 1, orders.get()));
  ASSERT_TRUE(AddNotificationListener("two", 0, Record, 1, orders.get()));
  EXPECT_FALSE(RemoveNotification("ghost"));
  EXPECT_TRUE(log_.Contains("Listener with name ghost doesn't exists\n"));

  EXPECT_TRUE(DisableNotification("ONE"));
  EXPECT_TRUE(log_.Contains("Listener with name ONE disabled\n"));
  EXPECT_TRUE(RemoveNotification("Two"));
  EXPECT_TRUE(log_.Contains("Listener with name Two removed\n"));
  EXPECT_FALSE(RemoveNotification("two"));

  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "a", nullptr)));
  EXPECT_TRUE(g_deliveries.empty());
  EXPECT_TRUE(log_.Contains("Listener one  disabled\n"));

  // The name is free again after removal.
  EXPECT_TRUE(AddNotificationListener("TWO", 0, Record, 1, orders.get()));
  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("2", "b", nullptr)));
  ASSERT_EQ(g_deliveries.size(), 1u);
  EXPECT_EQ(g_deliveries[0].listener, "TWO");
}

TEST_F(NotificationTest, DeInitRemovesEveryListener) {
  NameList orders({"ORDERS"});
  ASSERT_TRUE(AddNotificationListener("a", 0, Record, 1, orders.get()));
  ASSERT_TRUE(AddNotificationListener("b", 0, Record, 1, orders.get()));
  DeInitNotification();
  EXPECT_TRUE(log_.Contains("Listener with name a removed\n"));
  EXPECT_TRUE(log_.Contains("Listener with name b removed\n"));
  EXPECT_FALSE(RemoveNotification("a"));
  ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "a", nullptr)));
  EXPECT_TRUE(g_deliveries.empty());
}

// What the acting listener's callback does to the registry, once.
void (*g_action)() = nullptr;

bool RecordThenAct(IMDSNotification* n, const char* listenerName) {
  Record(n, listenerName);
  void (*action)() = g_action;
  g_action = nullptr;
  if (action != nullptr) action();
  return true;
}

char* g_ordersOnly[] = {const_cast<char*>("ORDERS"), nullptr};

TEST_F(NotificationTest, CallbacksMayChangeTheListenerRegistry) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* what;
    void (*action)();
    Names firstChange;   // listeners that receive the change during which A acts
    Names secondChange;  // and the next change
  };
  const Case cases[] = {
      {"A removes itself", [] { EXPECT_TRUE(RemoveNotification("A")); }, {"A", "B"}, {"B"}},
      {"A removes B before its turn", [] { EXPECT_TRUE(RemoveNotification("b")); }, {"A"}, {"A"}},
      {"A disables B", [] { EXPECT_TRUE(DisableNotification("B")); }, {"A"}, {"A"}},
      {"A registers C",
       [] { EXPECT_TRUE(AddNotificationListener("C", 0, Record, 1, g_ordersOnly)); },
       {"A", "B"},
       {"A", "B", "C"}},
      {"A removes and registers itself again",
       [] {
         EXPECT_TRUE(RemoveNotification("A"));
         EXPECT_TRUE(AddNotificationListener("A", 0, Record, 1, g_ordersOnly));
       },
       {"A", "B"},
       {"B", "A"}},
      {"A removes every listener", [] { DeInitNotification(); }, {"A"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InitNotification();
    ASSERT_TRUE(AddNotificationListener("A", 0, RecordThenAct, 1, g_ordersOnly));
    ASSERT_TRUE(AddNotificationListener("B", 0, Record, 1, g_ordersOnly));
    g_action = c.action;
    for (const Names* expected : {&c.firstChange, &c.secondChange}) {
      g_deliveries.clear();
      ASSERT_TRUE(AddNewRow("ORDERS", MakeOrder("1", "a", nullptr)));
      Names got;
      for (const Delivery& d : g_deliveries) got.push_back(d.listener);
      EXPECT_EQ(got, *expected);
    }
  }
  // Emptying the registry at start-up is not a shut-down: no DeInit lines.
  ASSERT_TRUE(AddNotificationListener("D", 0, Record, 1, g_ordersOnly));
  const int deInitLines = log_.Count("In DeInit notification\n");
  InitNotification();
  EXPECT_EQ(log_.Count("In DeInit notification\n"), deInitLines);
  EXPECT_FALSE(log_.Contains("Listener with name D removed\n"));
}

TEST_F(NotificationTest, NoNotificationForUnknownTable) {
  RowObject* row = MakeOrder("1", "a", nullptr);
  EXPECT_EQ(CreateIMDSNotification(row, "Missing"), nullptr);
  NameList tables({"Missing"});
  ASSERT_TRUE(AddNotificationListener("m", 0, Record, 1, tables.get()));
  SendNotification(row, "Missing");
  EXPECT_TRUE(g_deliveries.empty());
  FreeRowObject(row, kOrderColumns);
}

}  // namespace
