// Criteria trees: building, binding, evaluation and release.
//
// Evaluation is the inner loop of every select and delete by criteria, so it
// is shaped for that:
//  - a leaf's literal is converted once, on its first evaluation after
//    BindCriteria, and kept in the node (cachedLiteral) together with the
//    type and literal pointer it was made from. Binding drops it; a changed
//    type or literal pointer also makes it convert again. Conversion is pure,
//    so the cached value is exactly what a conversion per row would give.
//  - AND stops at a false left operand and OR at a true one. Evaluation has
//    no side effects apart from filling the cache, so skipping the right
//    operand cannot change any result.
//  - trees are walked with explicit stacks or pointer rotation, never with
//    recursion, so a deep tree cannot exhaust the thread's stack.
#include "quill/imds/criteria.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/imds/datadict.h"
#include "quill/imds/read_value.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"
#include "quill/objects/criteria_parser.h"

namespace {

using quill::imds::ReadAs;

bool IsLeaf(const CriteriaNode* node) {
  return node->columnName != nullptr && node->literal != nullptr;
}

bool IsComparableType(uint8_t type) {
  switch (type) {
    case VEL_SQL_TINYINT:
    case VEL_SQL_UNSIGNED_TINYINT:
    case VEL_SQL_SMALLINT:
    case VEL_SQL_UNSIGNED_SMALLINT:
    case VEL_SQL_INT:
    case VEL_SQL_UNSIGNED_INT:
    case VEL_SQL_BIGINT:
    case VEL_SQL_FLOAT:
    case VEL_SQL_CHAR:
    case VEL_SQL_VARCHAR:
    case VEL_SQL_TEXT:
      return true;
    default:
      return false;
  }
}

bool IsCharacterType(uint8_t type) {
  return type == VEL_SQL_CHAR || type == VEL_SQL_VARCHAR || type == VEL_SQL_TEXT;
}

// The span of a character literal that is compared: without its surrounding
// quotes when it has them. A literal that is not quoted (digits written
// against a character column) is compared as written.
void UnquotedSpan(const char* literal, size_t* offset, size_t* length) {
  size_t size = std::strlen(literal);
  char first = size >= 2 ? literal[0] : '\0';
  if ((first == '\'' || first == '"') && literal[size - 1] == first) {
    *offset = 1;
    *length = size - 2;
  } else {
    *offset = 0;
    *length = size;
  }
}

template <typename T>
bool ApplyOp(uint8_t op, T value, T literal) {
  switch (op) {
    case CRITERIA_LT:
      return value < literal;
    case CRITERIA_GT:
      return value > literal;
    case CRITERIA_LE:
      return value <= literal;
    case CRITERIA_GE:
      return value >= literal;
    case CRITERIA_EQ:
      return value == literal;
    case CRITERIA_NE:
      return value != literal;
    default:
      return false;
  }
}

// Compares a value with a literal prepared for comparison: converted at the
// type's width, or for character types a string already without quotes.
bool ComparePrepared(const void* value, const void* literal, uint8_t op, uint8_t type) {
  switch (type) {
    case VEL_SQL_TINYINT:
      return ApplyOp(op, ReadAs<int8_t>(value), ReadAs<int8_t>(literal));
    case VEL_SQL_UNSIGNED_TINYINT:
      return ApplyOp(op, ReadAs<uint8_t>(value), ReadAs<uint8_t>(literal));
    case VEL_SQL_SMALLINT:
      return ApplyOp(op, ReadAs<int16_t>(value), ReadAs<int16_t>(literal));
    case VEL_SQL_UNSIGNED_SMALLINT:
      return ApplyOp(op, ReadAs<uint16_t>(value), ReadAs<uint16_t>(literal));
    case VEL_SQL_INT:
      return ApplyOp(op, ReadAs<int32_t>(value), ReadAs<int32_t>(literal));
    case VEL_SQL_UNSIGNED_INT:
      return ApplyOp(op, ReadAs<uint32_t>(value), ReadAs<uint32_t>(literal));
    case VEL_SQL_BIGINT:
      return ApplyOp(op, ReadAs<int64_t>(value), ReadAs<int64_t>(literal));
    case VEL_SQL_FLOAT:
      return ApplyOp(op, ReadAs<float>(value), ReadAs<float>(literal));
    case VEL_SQL_CHAR:
    case VEL_SQL_VARCHAR:
    case VEL_SQL_TEXT:
      return ApplyOp(op,
                     static_cast<int>(StringCompare(static_cast<const char*>(value),
                                                    static_cast<const char*>(literal))),
                     0);
    default:
      return false;
  }
}

// The node's literal prepared for its bound type, converting it on first use.
// Null when it cannot be prepared (allocation failure); nothing is cached then,
// so the next row tries again, as a conversion per row would.
const void* PreparedLiteral(CriteriaNode* node) {
  if (node->cachedState == 1 && node->cachedType == node->type &&
      node->cachedSource == node->literal) {
    return node->cachedLiteral;
  }
  std::free(node->cachedLiteral);
  node->cachedLiteral = nullptr;
  node->cachedState = 0;
  void* prepared = nullptr;
  if (IsCharacterType(node->type)) {
    size_t offset = 0;
    size_t length = 0;
    UnquotedSpan(node->literal, &offset, &length);
    prepared = std::malloc(length + 1);
    if (prepared == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
    std::memcpy(prepared, node->literal + offset, length);
    static_cast<char*>(prepared)[length] = '\0';
  } else {
    int32_t length = static_cast<int32_t>(std::strlen(node->literal));
    prepared = ValueFromString(node->literal, &length, node->type);
    if (prepared == nullptr) return nullptr;
  }
  node->cachedLiteral = prepared;
  node->cachedSource = node->literal;
  node->cachedType = node->type;
  node->cachedState = 1;
  return prepared;
}

bool EvaluateLeaf(const RowObject* row, CriteriaNode* node) {
  if (!IsComparableType(node->type)) return false;
  if (row == nullptr || row->values == nullptr) return false;
  int32_t position = node->columnPosition > UINT8_MAX ? node->columnPosition : node->columnIndex;
  const void* value = row->values[position];
  // SQL NULL satisfies no comparison.
  if (value == nullptr) return false;
  // A value shorter than its type's width cannot be read at that width.
  int32_t width = GetDataTypeWidth(node->type);
  if (width > 0 && row->lengths != nullptr && row->lengths[position] < width) return false;
  const void* literal = PreparedLiteral(node);
  if (literal == nullptr) return false;
  return ComparePrepared(value, literal, node->op, node->type);
}

// A stack of join nodes whose left operand is being evaluated. The first
// entries live in the object; deeper trees spill to the heap.
class JoinStack {
 public:
  JoinStack() = default;
  JoinStack(const JoinStack&) = delete;
  JoinStack& operator=(const JoinStack&) = delete;
  ~JoinStack() {
    if (entries_ != inline_) std::free(entries_);
  }

  bool Push(CriteriaNode* node) {
    if (size_ == capacity_ && !Grow()) return false;
    entries_[size_++] = node;
    return true;
  }
  bool Empty() const { return size_ == 0; }
  CriteriaNode* Pop() { return entries_[--size_]; }

 private:
  bool Grow() {
    size_t capacity = capacity_ * 2;
    void* grown = entries_ == inline_ ? std::malloc(capacity * sizeof(CriteriaNode*))
                                      : std::realloc(entries_, capacity * sizeof(CriteriaNode*));
    if (grown == nullptr) return false;
    if (entries_ == inline_) std::memcpy(grown, inline_, sizeof inline_);
    entries_ = static_cast<CriteriaNode**>(grown);
    capacity_ = capacity;
    return true;
  }

  static constexpr size_t kInline = 32;
  CriteriaNode* inline_[kInline];
  CriteriaNode** entries_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = kInline;
};

// Frees one node's own storage (not its children).
void FreeNode(CriteriaNode* node) {
  std::free(node->columnName);
  std::free(node->literal);
  std::free(node->cachedLiteral);
  std::free(node);
}

}  // namespace

extern "C" {

CriteriaNode* CreateCriteriaLeaf(char* columnName, uint8_t op, char* literal) {
  auto* node = static_cast<CriteriaNode*>(std::calloc(1, sizeof(CriteriaNode)));
  if (node == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    std::free(columnName);
    std::free(literal);
    return nullptr;
  }
  node->columnName = columnName;
  node->literal = literal;
  node->op = op;
  return node;
}

CriteriaNode* CreateCriteriaJoin(CriteriaNode* left, CriteriaNode* right, uint8_t op) {
  auto* node = static_cast<CriteriaNode*>(std::calloc(1, sizeof(CriteriaNode)));
  if (node == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  node->op = op;
  node->left = left;
  node->right = right;
  if (left != nullptr) left->parent = node;
  if (right != nullptr) right->parent = node;
  return node;
}

CriteriaNode* ParseCriteria(const char* text) {
  if (text == nullptr) return nullptr;
  try {
    std::string line(text);
    line += '\n';
    return RunCriteriaParser(line.c_str());
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

bool BindCriteria(Vector* columns, CriteriaNode* root) {
  // In-order walk without a stack (threaded tree): each left subtree's
  // rightmost node is temporarily linked back to its ancestor, and the link
  // is removed when the walk returns through it, so the tree ends unchanged.
  auto bind = [columns](CriteriaNode* node) {
    int32_t position = 0;
    const ColumnDefn* found = nullptr;
    if (columns != nullptr && node->columnName != nullptr) {
      for (VectorElement* element = ElementAt(columns, 0); element != nullptr;
           element = element->next, ++position) {
        const auto* column = static_cast<const ColumnDefn*>(element->data);
        if (column != nullptr && StringCompareNoCase(node->columnName, column->name) == 0) {
          found = column;
          break;
        }
      }
    }
    if (found == nullptr) position = 0;
    node->columnIndex = static_cast<uint8_t>(position <= UINT8_MAX ? position : 0);
    node->columnPosition = position;
    node->type = found != nullptr ? found->dataType : uint8_t{VEL_SQL_NOT_SUPPORTED_TYPE};
    // Binding is when a leaf's literal is taken to be final: drop what an
    // earlier evaluation converted.
    std::free(node->cachedLiteral);
    node->cachedLiteral = nullptr;
    node->cachedSource = nullptr;
    node->cachedState = 0;
  };
  CriteriaNode* current = root;
  while (current != nullptr) {
    if (current->left == nullptr) {
      bind(current);
      current = current->right;
      continue;
    }
    CriteriaNode* predecessor = current->left;
    while (predecessor->right != nullptr && predecessor->right != current) {
      predecessor = predecessor->right;
    }
    if (predecessor->right == nullptr) {
      predecessor->right = current;
      current = current->left;
    } else {
      predecessor->right = nullptr;
      bind(current);
      current = current->right;
    }
  }
  return true;
}

bool EvaluateCriteria(const RowObject* row, CriteriaNode* root) {
  JoinStack pending;
  CriteriaNode* node = root;
  for (;;) {
    // Descend through AND/OR nodes to the leftmost operand that is not one.
    while (node != nullptr && !IsLeaf(node) &&
           (node->op == CRITERIA_AND || node->op == CRITERIA_OR)) {
      if (!pending.Push(node)) {
        LogError("MEMORY_ALLOCATION_FAILURE\n");
        return false;
      }
      node = node->left;
    }
    // A missing operand is true; a non-leaf with another op is false.
    bool value = node == nullptr ? true : IsLeaf(node) ? EvaluateLeaf(row, node) : false;
    // Climb until a join needs its right operand. That operand's value is the
    // join's value, so the join is not kept on the stack while it runs.
    for (;;) {
      if (pending.Empty()) return value;
      CriteriaNode* join = pending.Pop();
      bool needRight = join->op == CRITERIA_AND ? value : !value;
      if (needRight) {
        node = join->right;
        break;
      }
    }
  }
}

bool CompareTypedValues(const void* value, const void* literal, uint8_t op, uint8_t type) {
  if (value == nullptr || literal == nullptr || !IsComparableType(type)) return false;
  if (!IsCharacterType(type)) return ComparePrepared(value, literal, op, type);
  size_t offset = 0;
  size_t length = 0;
  const char* text = static_cast<const char*>(literal);
  UnquotedSpan(text, &offset, &length);
  try {
    std::string unquoted(text + offset, length);
    return ComparePrepared(value, unquoted.c_str(), op, type);
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
}

bool CriteriaLogic(uint8_t op, bool left, bool right) {
  if (op == CRITERIA_AND) return left && right;
  if (op == CRITERIA_OR) return left || right;
  return false;
}

void FreeCriteria(CriteriaNode* root) {
  // Rotating each left child up turns the tree into a right-leaning chain
  // that is freed from the top, without a stack.
  CriteriaNode* node = root;
  while (node != nullptr) {
    CriteriaNode* left = node->left;
    if (left != nullptr) {
      node->left = left->right;
      left->right = node;
      node = left;
    } else {
      CriteriaNode* next = node->right;
      FreeNode(node);
      node = next;
    }
  }
}

}  // extern "C"
