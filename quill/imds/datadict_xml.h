// The data-dictionary reader's intermediate tree (internal to the library).
//
// The reader turns one <table> element into a tree of XmlTagInfo nodes: each
// element below the table becomes a node with its known attributes and its own
// text, children in document order through firstChild/nextSibling. The tree
// keeps element names as written; the definition builder then matches them
// with case. Comments and whitespace-only text never reach the tree.
//
// Invariants: attributeNames and attributeValues hold attributeCount entries
// (both null when the count is 0); textValues holds textCount entries, and the
// reader stores at most one, the element's own text pieces joined, only when
// that text is not empty. Every string is owned by its node.
#ifndef QUILL_IMDS_DATADICT_XML_H
#define QUILL_IMDS_DATADICT_XML_H

#include <libxml/xmlreader.h>
#include <stdint.h>

#include "quill/imds/datadict.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct XmlTagInfo {
  char* name;
  char** attributeNames;
  char** attributeValues;
  int32_t attributeCount;
  char** textValues;
  int32_t textCount;
  struct XmlTagInfo* firstChild;
  struct XmlTagInfo* nextSibling;
} XmlTagInfo;

// A zero-filled node, or null when out of memory.
XmlTagInfo* CreateandInitXmlTagInfo(void);
// Copies the known attributes ("name", "system", "reference-table-name",
// "isbidirectional", looked up in that order) of the reader's current element
// into the node and clears its text fields. 1, or 99 when out of memory.
uint8_t AllocateAndStrcpyAttrib(xmlTextReaderPtr reader, XmlTagInfo* tagInfo);
// Frees the node, its children and its following siblings.
void FreeXmlTagInfoList(XmlTagInfo* tagInfo);

// Builds a TableDefn from a table tree and appends it to the dictionary.
// False (with the cause logged) when the tree yields no definition.
bool BuildTableDefn(const XmlTagInfo* table);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_DATADICT_XML_H
