// A data dictionary given as XML text, written to a file in a temporary
// folder (removed with the object) so that the reader loads it as it loads
// any dictionary file.
#ifndef HV_TESTS_QUILL_DICTIONARY_FILE_H
#define HV_TESTS_QUILL_DICTIONARY_FILE_H

#include <cstdlib>
#include <fstream>
#include <string>

#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "tests/support/temp_dir.h"

namespace hv::test {

class DictionaryFile {
 public:
  explicit DictionaryFile(const char* xml) : path_(dir_ / "dd.xml") {
    std::ofstream(path_, std::ios::binary) << xml;
  }
  // Adds the file's tables to the dictionary.
  bool Load() const { return LoadDataDictFromXMLFile(path_.c_str()); }

 private:
  TempDir dir_{"quill-dd"};
  std::string path_;
};

// Frees every table and view of the store and empties its registry.
inline void FreeRegisteredTables() {
  Vector* registry = GetTableRegistry();
  for (VectorElement* e = registry->head; e != nullptr; e = e->next) {
    FreeTableData(static_cast<TableData*>(e->data));
    std::free(e->data);
  }
  FreeVector(registry);
}

}  // namespace hv::test

#endif  // HV_TESTS_QUILL_DICTIONARY_FILE_H
