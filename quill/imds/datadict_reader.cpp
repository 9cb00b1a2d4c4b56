// Reading the data dictionary's files: the list file "datadictionary.txt" and
// the XML files it names.
//
// An XML file is read in one streaming pass with libxml2's text reader. Each
// <table> element is read whole into an XmlTagInfo tree (datadict_xml.h),
// handed to the definition builder and freed before the reader moves on, so
// only one table's tree is alive at a time and the tables before a
// malformed spot in a file are kept. The reader's own error output is
// switched off: problems are reported through the library log only.
//
// Paths are composed in std::string, so neither a long file name in the list
// nor a long root folder is ever cut short.
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logging/log.h"
#include "platform/platform.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"
#include "quill/imds/datadict.h"
#include "quill/imds/datadict_xml.h"

namespace {

constexpr const char* kListFileName = "datadictionary.txt";
constexpr const char* kKnownAttributes[] = {"name", "system", "reference-table-name",
                                            "isbidirectional"};
constexpr int kKnownAttributeCount = 4;

struct ReaderDeleter {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderDeleter>;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void LogOutOfMemory() {
  LogError("MEMORY_ALLOCATION_FAILURE\n");
}

void DiscardGenericError(void*, const char*, ...) {}
void DiscardStructuredError(void*, xmlErrorPtr) {}

// Silences libxml2's own error output (encoding and I/O errors bypass the
// parser options) for the life of a file's reading. libxml2 keeps these
// handlers per thread, so restoring them leaves other threads alone.
class QuietParserErrors {
 public:
  QuietParserErrors()
      : generic_(xmlGenericError),
        genericContext_(xmlGenericErrorContext),
        structured_(xmlStructuredError),
        structuredContext_(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, DiscardGenericError);
    xmlSetStructuredErrorFunc(nullptr, DiscardStructuredError);
  }
  ~QuietParserErrors() {
    xmlSetGenericErrorFunc(genericContext_, generic_);
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
  }
  QuietParserErrors(const QuietParserErrors&) = delete;
  QuietParserErrors& operator=(const QuietParserErrors&) = delete;

 private:
  xmlGenericErrorFunc generic_;
  void* genericContext_;
  xmlStructuredErrorFunc structured_;
  void* structuredContext_;
};

// The message for a read that fails inside a table, chosen by the innermost
// open element that has its own.
const char* ReadFailureMessage(const std::vector<XmlTagInfo*>& open) {
  static const struct {
    const char* element;
    const char* message;
  } kMessages[] = {
      {"primary-key-column", "\nMissing primary-key-column end tag\n"},
      {"fk-local-column", "\n Missing endof FK-LOCAL-COLUMN tag\n"},
      {"fk-reference-column", "\nMissing endof FK-REFERENCE-COLUMN\n"},
      {"fk-columns", "\nMissing end FK-COLUMNS\n"},
      {"fk-constraints", "\nMissing endof FK-CONSTRAINTS tag\n"},
      {"value", "\n No ending Value tag\n"},
      {"from", "\nNo Ending FROM tag \n"},
      {"to", "\nNo ending TO tag \n"},
  };
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    for (const auto& entry : kMessages) {
      if (StringCompareNoCase((*it)->name, entry.element) == 0) return entry.message;
    }
  }
  return "\nxmlTextReaderRead returned error \n";
}

// Stores the collected text as the node's one text value; empty text is
// absent. False when out of memory.
bool StoreText(XmlTagInfo* tag, const std::string& text) {
  if (text.empty()) return true;
  auto** values = static_cast<char**>(quill::base::AllocateZeroed(1, sizeof(char*)));
  if (values == nullptr) return false;
  values[0] = quill::base::CopyToMalloc(text);
  if (values[0] == nullptr) {
    std::free(values);
    return false;
  }
  tag->textValues = values;
  tag->textCount = 1;
  return true;
}

enum class TableRead { kDone, kReadFailed, kOutOfMemory };

// Reads the table element at the reader's position into a tree (*tree). On
// kReadFailed and kOutOfMemory *tree is null and the cause is logged.
TableRead ReadTable(xmlTextReaderPtr reader, XmlTagInfo** tree) {
  *tree = nullptr;
  XmlTagInfo* root = CreateandInitXmlTagInfo();
  if (root == nullptr || AllocateAndStrcpyAttrib(reader, root) != 1 ||
      (root->name = quill::base::CopyToMalloc("table")) == nullptr) {
    FreeXmlTagInfoList(root);
    LogOutOfMemory();
    return TableRead::kOutOfMemory;
  }
  if (root->attributeCount > 0) {
    LogTrace("@@@@Parsing Table Info : %s @@@@\n", root->attributeValues[0]);
  }
  if (xmlTextReaderIsEmptyElement(reader) == 1) {
    *tree = root;
    return TableRead::kDone;
  }

  // Open elements from the table down, with the text collected for each and
  // the last child linked so far.
  std::vector<XmlTagInfo*> open{root};
  std::vector<std::string> texts(1);
  std::vector<XmlTagInfo*> lastChild{nullptr};
  for (;;) {
    if (xmlTextReaderRead(reader) != 1) {
      // A well-formed document always closes the table before it ends, so
      // both an error and the end of input mean the file is broken here.
      LogError("%s", ReadFailureMessage(open));
      FreeXmlTagInfoList(root);
      return TableRead::kReadFailed;
    }
    switch (xmlTextReaderNodeType(reader)) {
      case XML_READER_TYPE_ELEMENT: {
        XmlTagInfo* tag = CreateandInitXmlTagInfo();
        const xmlChar* name = xmlTextReaderConstName(reader);
        if (tag == nullptr || AllocateAndStrcpyAttrib(reader, tag) != 1 ||
            (tag->name = quill::base::CopyToMalloc(
                 reinterpret_cast<const char*>(name != nullptr ? name : BAD_CAST ""))) == nullptr) {
          FreeXmlTagInfoList(tag);
          FreeXmlTagInfoList(root);
          LogOutOfMemory();
          return TableRead::kOutOfMemory;
        }
        if (lastChild.back() == nullptr) {
          open.back()->firstChild = tag;
        } else {
          lastChild.back()->nextSibling = tag;
        }
        lastChild.back() = tag;
        if (xmlTextReaderIsEmptyElement(reader) != 1) {
          open.push_back(tag);
          texts.emplace_back();
          lastChild.push_back(nullptr);
        }
        break;
      }
      case XML_READER_TYPE_END_ELEMENT:
        if (!StoreText(open.back(), texts.back())) {
          FreeXmlTagInfoList(root);
          LogOutOfMemory();
          return TableRead::kOutOfMemory;
        }
        open.pop_back();
        texts.pop_back();
        lastChild.pop_back();
        if (open.empty()) {
          *tree = root;
          return TableRead::kDone;
        }
        break;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA: {
        const xmlChar* value = xmlTextReaderConstValue(reader);
        if (value != nullptr) texts.back() += reinterpret_cast<const char*>(value);
        break;
      }
      default:
        // Comments, whitespace and processing instructions carry nothing.
        break;
    }
  }
}

// Steps over a top-level description element (its text is not kept). False
// when the reader fails before the element ends.
bool SkipDescription(xmlTextReaderPtr reader) {
  if (xmlTextReaderIsEmptyElement(reader) == 1) return true;
  const int depth = xmlTextReaderDepth(reader);
  for (;;) {
    if (xmlTextReaderRead(reader) != 1) return false;
    if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_END_ELEMENT &&
        xmlTextReaderDepth(reader) == depth) {
      return true;
    }
  }
}

// Splits the list file's contents into names at any white space.
std::vector<std::string> ReadListFile(FILE* file) {
  std::vector<std::string> names;
  std::string current;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      if (!current.empty()) names.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(static_cast<char>(c));
    }
  }
  if (!current.empty()) names.push_back(std::move(current));
  return names;
}

File OpenForReading(const std::string& path) {
  return File(std::fopen(path.c_str(), "r"));
}

}  // namespace

extern "C" {

XmlTagInfo* CreateandInitXmlTagInfo(void) {
  LogTrace("\n Inside CreateandInitXmlTagInfo \n");
  return static_cast<XmlTagInfo*>(quill::base::AllocateZeroed(1, sizeof(XmlTagInfo)));
}

uint8_t AllocateAndStrcpyAttrib(xmlTextReaderPtr reader, XmlTagInfo* tagInfo) {
  LogTrace("\nInside AllocateAndStrcpyAttrib\n\n");
  if (reader == nullptr || tagInfo == nullptr) return 0;
  FreeStringArray(tagInfo->textValues, static_cast<uint32_t>(tagInfo->textCount));
  tagInfo->textValues = nullptr;
  tagInfo->textCount = 0;

  const int total = xmlTextReaderAttributeCount(reader);
  if (total <= 0) return 1;
  std::vector<std::pair<const char*, std::string>> found;
  for (const char* name : kKnownAttributes) {
    xmlChar* value = xmlTextReaderGetAttribute(reader, BAD_CAST name);
    if (value != nullptr) {
      found.emplace_back(name, reinterpret_cast<const char*>(value));
      xmlFree(value);
    }
  }
  if (static_cast<int>(found.size()) < total) LogError("\n Not all Attributes were read\n");
  if (found.empty()) return 1;

  auto** names =
      static_cast<char**>(quill::base::AllocateZeroed(kKnownAttributeCount, sizeof(char*)));
  auto** values =
      static_cast<char**>(quill::base::AllocateZeroed(kKnownAttributeCount, sizeof(char*)));
  bool ok = names != nullptr && values != nullptr;
  for (size_t i = 0; ok && i < found.size(); ++i) {
    names[i] = quill::base::CopyToMalloc(found[i].first);
    values[i] = quill::base::CopyToMalloc(found[i].second);
    ok = names[i] != nullptr && values[i] != nullptr;
  }
  if (!ok) {
    FreeStringArray(names, kKnownAttributeCount);
    FreeStringArray(values, kKnownAttributeCount);
    return 99;
  }
  FreeStringArray(tagInfo->attributeNames, static_cast<uint32_t>(tagInfo->attributeCount));
  FreeStringArray(tagInfo->attributeValues, static_cast<uint32_t>(tagInfo->attributeCount));
  tagInfo->attributeNames = names;
  tagInfo->attributeValues = values;
  tagInfo->attributeCount = static_cast<int32_t>(found.size());
  return 1;
}

void FreeXmlTagInfoList(XmlTagInfo* tagInfo) {
  LogTrace("\n Inside FreeXmlTagInfoList\n");
  // Siblings are walked in a loop and only children recurse, so a long list
  // of columns costs no stack; depth is bounded by the parser's nesting limit.
  while (tagInfo != nullptr) {
    XmlTagInfo* next = tagInfo->nextSibling;
    FreeXmlTagInfoList(tagInfo->firstChild);
    std::free(tagInfo->name);
    // The arrays are sized for every known attribute; null entries are fine.
    FreeStringArray(tagInfo->attributeNames, kKnownAttributeCount);
    FreeStringArray(tagInfo->attributeValues, kKnownAttributeCount);
    FreeStringArray(tagInfo->textValues, static_cast<uint32_t>(tagInfo->textCount));
    std::free(tagInfo);
    tagInfo = next;
  }
}

bool XmlDataParser(const char* path) {
  LogTrace("\n Inside XmlDataParser\n");
  // No network, no error output of the parser's own: a broken file is
  // reported once, below, through the log.
  const QuietParserErrors quiet;
  Reader reader(
      xmlReaderForFile(path, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!reader) {
    LogError("Unable to open %s\n", path);
    return true;
  }
  int rc = xmlTextReaderRead(reader.get());
  // Step past the root element's start.
  while (rc == 1 && xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT) {
    rc = xmlTextReaderRead(reader.get());
  }
  if (rc == 1) rc = xmlTextReaderRead(reader.get());
  while (rc == 1) {
    if (xmlTextReaderNodeType(reader.get()) == XML_READER_TYPE_ELEMENT) {
      const char* name = reinterpret_cast<const char*>(xmlTextReaderConstName(reader.get()));
      if (name != nullptr && std::strcmp(name, "table") == 0) {
        XmlTagInfo* tree = nullptr;
        const TableRead result = ReadTable(reader.get(), &tree);
        if (tree != nullptr) {
          BuildTableDefn(tree);
          FreeXmlTagInfoList(tree);
        }
        if (result == TableRead::kReadFailed) {
          rc = -1;
          break;
        }
      } else if (name != nullptr && std::strcmp(name, "description") == 0) {
        if (!SkipDescription(reader.get())) {
          LogError("\nNo Description end tag\n");
          rc = -1;
          break;
        }
      }
    }
    rc = xmlTextReaderRead(reader.get());
  }
  if (rc < 0) LogError("%s : failed to parse\n", path);
  return true;
}

bool LoadDataDictFromXMLFile(const char* path) {
  LogTrace("\nInside LoadDataDictFromXMLFile() \n\n");
  if (path == nullptr) return false;
  return XmlDataParser(path);
}

bool LoadAllDataDictFiles(void) {
  LogTrace("\t@@@@@ Inside LoadAllDataDictFiles() @@@@@\n");
  // The data folder beside the working directory first.
  const std::string besideFolder =
      std::string("..") + hv::kPathSeparator + "data" + hv::kPathSeparator;
  File list = OpenForReading(besideFolder + kListFileName);
  std::string folder = besideFolder;
  if (!list) {
    const char* root = GetLogRootFolder();
    if (root != nullptr) {
      folder = std::string(root) + "/data/";
      const std::string path = folder + kListFileName;
      LogDebug("Opening %s\n", path.c_str());
      list = OpenForReading(path);
    }
    if (!list) {
      LogError("Cannot open DataDictionary File.\n");
      return false;
    }
  }
  for (const std::string& name : ReadListFile(list.get())) {
    const std::string path = folder + name;
    LogDebug("Opening %s\n", path.c_str());
    LoadDataDictFromXMLFile(path.c_str());
  }
  return true;
}

bool LoadDataDictFiles(const char* folder) {
  LogTrace("\t@@@@@ Inside LoadDataDictFiles() @@@@@\n");
  if (folder == nullptr) return false;
  const std::string prefix = std::string(folder) + hv::kPathSeparator;
  File list = OpenForReading(prefix + kListFileName);
  if (!list) return false;
  for (const std::string& name : ReadListFile(list.get())) {
    LoadDataDictFromXMLFile((prefix + name).c_str());
  }
  return true;
}

}  // extern "C"
