#include "db_cases.h"

#include "quill/db/query.h"
#include "quill/imds/datadict.h"

namespace quill::dbtest {

const Texts kFullRow = {"1",
                        "-7",
                        "-300",
                        "5000000000",
                        "AB-1",
                        "it's a \\ back\\slash",
                        "O'Reilly said \"hi\" \\n and\nleft; -- not a comment",
                        "2024-02-29",
                        "23:59:58",
                        "2024-12-31 23:59:59",
                        "TRUE"};
const Texts kNullRow = {"2",          std::nullopt, std::nullopt, std::nullopt,
                        std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                        std::nullopt, std::nullopt, std::nullopt};
const Texts kSmallRow = {"3",    "0", "32767",      "-1",       "x",
                         "",     "'", "1999-01-01", "00:00:00", "2000-01-01 00:00:00",
                         "FALSE"};
const Texts kChangedRow = {
    "1",          "127",        "-32768",   "-5000000000",         "AB-2", "changed 'again' \\",
    std::nullopt, "2025-01-31", "12:00:01", "2025-06-30 08:09:10", "FALSE"};

const std::vector<const Texts*> kInsertedRows = {&kFullRow, &kNullRow, &kSmallRow};

const std::vector<Texts> kShopCustomers = {
    {"1", "Ann", "ann@example.org", "DE", "2024-01-01 10:00:00"},
    {"2", "O'Brien \\ Sons", "info@obrien.example", "IE", "2024-01-02 11:30:00"},
    {"3", "Chloé", std::nullopt, "DE", std::nullopt},
    {"4", "Dan", "dan@example.org", "FR", "2024-02-03 00:00:01"}};

const std::vector<Texts> kShopOrders = {{"1", "1", "2024-01-10", "paid"},
                                        {"2", "1", "2024-02-11", "open"},
                                        {"3", "2", "2024-02-12", "paid"},
                                        {"4", "3", "2024-03-01", "paid"},
                                        {"5", "3", "2024-04-15", "paid"}};

const std::vector<SelectCase> kSelectCases = {
    {"join with criteria and sort",
     [](Query& q) {
       q.Select("Customers", "c", "Name", VEL_SQL_VARCHAR);
       q.Select("Orders", "o", "OrderId", VEL_SQL_INT, 0, "OrderNo");
       q.Join("Customers", "c", "Orders", "o", QUERY_INNER_JOIN,
              {q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT)},
              {q.ListColumn("Orders", "o", "CustomerId", VEL_SQL_INT)});
       q.Where(CreateAndExp(
           q.Compare(q.ListColumn("Orders", "o", "Status", VEL_SQL_VARCHAR), "paid", QUERY_OP_EQ),
           q.Compare(q.ListColumn("Customers", "c", "Country", VEL_SQL_VARCHAR), "DE", QUERY_OP_EQ),
           q.pool()));
       q.OrderBy({q.ListColumn("Orders", "o", "OrderId", VEL_SQL_INT)}, true);
     },
     {{"Ann", "1"}, {"Chloé", "4"}, {"Chloé", "5"}}},
    {"left join keeps customers without orders",
     [](Query& q) {
       q.Select("Customers", "c", "CustomerId", VEL_SQL_INT);
       q.Select("Orders", "o", "OrderId", VEL_SQL_INT);
       q.Join("Customers", "c", "Orders", "o", QUERY_LEFT_JOIN,
              {q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT)},
              {q.ListColumn("Orders", "o", "CustomerId", VEL_SQL_INT)});
       q.Where(
           q.Compare(q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT), "3", QUERY_OP_GE));
       q.OrderBy({q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT),
                  q.ListColumn("Orders", "o", "OrderId", VEL_SQL_INT)},
                 true);
     },
     {{"3", "4"}, {"3", "5"}, {"4", "NULL"}}},
    {"descending sort over two columns",
     [](Query& q) {
       q.Select("Orders", nullptr, "CustomerId", VEL_SQL_INT);
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT);
       q.From("Orders");
       // One direction for the whole clause: both columns descend.
       q.OrderBy({q.ListColumn("Orders", nullptr, "CustomerId", VEL_SQL_INT),
                  q.ListColumn("Orders", nullptr, "OrderId", VEL_SQL_INT)},
                 false);
     },
     {{"3", "5"}, {"3", "4"}, {"2", "3"}, {"1", "2"}, {"1", "1"}}},
    {"group by with having",
     [](Query& q) {
       q.Select("Orders", nullptr, "CustomerId", VEL_SQL_INT);
       q.Select(nullptr, nullptr, nullptr, VEL_SQL_INT, AGGREGATE_COUNT);
       q.From("Orders");
       q.GroupBy({q.ListColumn("Orders", nullptr, "CustomerId", VEL_SQL_INT)},
                 q.Compare(q.ListColumn("Orders", nullptr, "OrderId", VEL_SQL_INT, AGGREGATE_COUNT),
                           "1", QUERY_OP_GT));
       q.OrderBy({q.ListColumn("Orders", nullptr, "CustomerId", VEL_SQL_INT)}, true);
     },
     {{"1", "2"}, {"3", "2"}}},
    {"aggregates",
     [](Query& q) {
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT, AGGREGATE_MIN);
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT, AGGREGATE_MAX);
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT, AGGREGATE_SUM);
       q.Select(nullptr, nullptr, nullptr, VEL_SQL_INT, AGGREGATE_COUNT);
       q.From("Orders");
     },
     {{"1", "5", "15", "5"}}},
    {"distinct",
     [](Query& q) {
       q.Select("Orders", nullptr, "Status", VEL_SQL_VARCHAR, AGGREGATE_DISTINCT);
       q.From("Orders");
       q.OrderBy({q.ListColumn("Orders", nullptr, "Status", VEL_SQL_VARCHAR)}, true);
     },
     {{"open"}, {"paid"}}},
    {"paging",
     [](Query& q) {
       q.Select("Customers", nullptr, "CustomerId", VEL_SQL_INT);
       q.From("Customers");
       q.OrderBy({q.ListColumn("Customers", nullptr, "CustomerId", VEL_SQL_INT)}, true);
       q.get()->first = 2;
       q.get()->skip = 1;
     },
     {{"2"}, {"3"}}},
    {"first page",
     [](Query& q) {
       q.Select("Customers", nullptr, "CustomerId", VEL_SQL_INT);
       q.From("Customers");
       q.OrderBy({q.ListColumn("Customers", nullptr, "CustomerId", VEL_SQL_INT)}, false);
       q.get()->first = 1;
     },
     {{"4"}}},
    {"text with a quote and a backslash in criteria, or",
     [](Query& q) {
       q.Select("Customers", "c", "Name", VEL_SQL_VARCHAR);
       q.From("Customers", "c");
       q.Where(CreateOrExp(
           q.Compare(q.ListColumn("Customers", "c", "Name", VEL_SQL_VARCHAR), "O'Brien \\ Sons",
                     QUERY_OP_EQ),
           q.Compare(q.ListColumn("Customers", "c", "Country", VEL_SQL_VARCHAR), "FR", QUERY_OP_EQ),
           q.pool()));
       q.OrderBy({q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT)}, true);
     },
     {{"O'Brien \\ Sons"}, {"Dan"}}},
    {"like",
     [](Query& q) {
       q.Select("Customers", nullptr, "CustomerId", VEL_SQL_INT);
       q.From("Customers");
       q.Where(q.Compare(q.ListColumn("Customers", nullptr, "Name", VEL_SQL_VARCHAR), "O'%",
                         QUERY_OP_LIKE));
     },
     {{"2"}}},
    {"between",
     [](Query& q) {
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT);
       q.From("Orders");
       q.Where(q.Compare(q.ListColumn("Orders", nullptr, "OrderId", VEL_SQL_INT), "2 and 3",
                         QUERY_OP_BETWEEN));
       q.OrderBy({q.ListColumn("Orders", nullptr, "OrderId", VEL_SQL_INT)}, true);
     },
     {{"2"}, {"3"}}},
    {"date criteria",
     [](Query& q) {
       q.Select("Orders", nullptr, "OrderId", VEL_SQL_INT);
       q.Select("Orders", nullptr, "OrderDate", VEL_SQL_DATE);
       q.From("Orders");
       q.Where(q.Compare(q.ListColumn("Orders", nullptr, "OrderDate", VEL_SQL_DATE), "2024-03-01",
                         QUERY_OP_GE));
       q.OrderBy({q.ListColumn("Orders", nullptr, "OrderId", VEL_SQL_INT)}, true);
     },
     {{"4", "2024-03-01"}, {"5", "2024-04-15"}}},
    {"two tables in the from list",
     [](Query& q) {
       q.Select("Customers", "c", "Name", VEL_SQL_VARCHAR);
       q.Select("Orders", "o", "OrderId", VEL_SQL_INT);
       q.From("Customers", "c");
       q.From("Orders", "o");
       q.Where(CreateAndExp(
           q.Compare(q.ListColumn("Orders", "o", "OrderId", VEL_SQL_INT), "3", QUERY_OP_EQ),
           q.Compare(q.ListColumn("Customers", "c", "CustomerId", VEL_SQL_INT), "2", QUERY_OP_EQ),
           q.pool()));
     },
     {{"O'Brien \\ Sons", "3"}}},
};

}  // namespace quill::dbtest
