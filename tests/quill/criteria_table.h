// A small in-memory table for criteria tests, the fuzz target and the
// benchmark: column definitions in a Vector, as a table's definition holds
// them, and rows whose values are typed values converted from text.
#ifndef HV_TESTS_QUILL_CRITERIA_TABLE_H
#define HV_TESTS_QUILL_CRITERIA_TABLE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "quill/base/vector.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"

namespace hv::test {

class CriteriaTable {
 public:
  struct Column {
    std::string name;
    uint8_t type;
  };

  explicit CriteriaTable(const std::vector<Column>& columns) {
    InitVector(&columns_, nullptr);
    for (const Column& column : columns) {
      auto* defn = static_cast<ColumnDefn*>(std::calloc(1, sizeof(ColumnDefn)));
      defn->name = strdup(column.name.c_str());
      defn->dataType = column.type;
      defn->nullable = 1;
      AddElementData(&columns_, defn);
      defns_.push_back(defn);
    }
  }
  CriteriaTable(const CriteriaTable&) = delete;
  CriteriaTable& operator=(const CriteriaTable&) = delete;
  ~CriteriaTable() {
    for (RowObject* row : rows_) FreeRow(row);
    for (ColumnDefn* defn : defns_) {
      std::free(defn->name);
      std::free(defn);
    }
    FreeVector(&columns_);
  }

  Vector* columns() { return &columns_; }
  const std::vector<RowObject*>& rows() const { return rows_; }

  // A row of values converted from texts under each column's type; a null
  // text is SQL NULL.
  RowObject* AddRow(const std::vector<const char*>& texts) {
    auto* row = static_cast<RowObject*>(std::calloc(1, sizeof(RowObject)));
    size_t count = defns_.size();
    row->values = static_cast<void**>(std::calloc(count ? count : 1, sizeof(void*)));
    row->lengths = static_cast<int32_t*>(std::calloc(count ? count : 1, sizeof(int32_t)));
    row->status = ROW_NEW;
    for (size_t i = 0; i < count && i < texts.size(); ++i) {
      if (texts[i] == nullptr) continue;
      int32_t length = static_cast<int32_t>(std::strlen(texts[i]));
      row->values[i] = ValueFromString(texts[i], &length, defns_[i]->dataType);
      row->lengths[i] = length;
    }
    if (!rows_.empty()) rows_.back()->next = row;
    rows_.push_back(row);
    return row;
  }

  // Replaces one value with raw bytes (for values no text converts to).
  void SetRaw(RowObject* row, size_t column, const void* bytes, int32_t length) {
    std::free(row->values[column]);
    row->values[column] = std::calloc(static_cast<size_t>(length) + 1, 1);
    std::memcpy(row->values[column], bytes, static_cast<size_t>(length));
    row->lengths[column] = length;
  }

 private:
  void FreeRow(RowObject* row) {
    for (size_t i = 0; i < defns_.size(); ++i) std::free(row->values[i]);
    std::free(row->values);
    std::free(row->lengths);
    std::free(row);
  }

  Vector columns_;
  std::vector<ColumnDefn*> defns_;
  std::vector<RowObject*> rows_;
};

}  // namespace hv::test

#endif  // HV_TESTS_QUILL_CRITERIA_TABLE_H
