// The message queue on top of Vector, the directory test and the key
// scrambler (see include/quill/base/conversions.h).
//
// The queue is a plain Vector used first in, first out: messages are appended
// with AddElement and taken from the head. Taking one unlinks the head under
// the queue's own key in the lock table (the same key every Vector operation
// on it holds), so a reader and writers on other threads never see a
// half-linked chain.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/conversions.h"

extern "C" {

bool IsDirectory(const char* path) {
  LogTrace("\n\t@@@@@ Inside IsDirectory() @@@@@\t\n");
  if (path == nullptr || path[0] == '\0') return false;
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::path(path), error);
}

int32_t EncryptDecryptKey(uint8_t* buffer, int32_t length, int32_t key) {
  LogTrace("\t\t@@@@@ Inside EncryptDecryptKey() @@@@@\n");
  // key + 9 is computed in 64 bits: near the top of the int range it would
  // overflow a 32-bit int.
  int64_t shifted = static_cast<int64_t>(key) + 9;
  uint8_t mask = (key >= 247 && key <= 2147483638)
                     ? static_cast<uint8_t>(shifted % 255)
                     : static_cast<uint8_t>(static_cast<uint64_t>(shifted) & 0xFF);
  for (int32_t i = 0; buffer != nullptr && i < length; ++i) buffer[i] ^= mask;
  return length;
}

bool AddRcvdMsgToQueue(MessageQueue* queue, void* message) {
  LogTrace("\n\t@@@@@ Inside AddRcvdMsgToQueue() @@@@@\n");
  if (queue == nullptr) return false;
  auto* holder = static_cast<VectorElement*>(quill::base::AllocateZeroed(1, sizeof(VectorElement)));
  if (holder == nullptr) {
    LogError("Buffer allocation is failed !!!\n");
    return false;
  }
  holder->data = message;
  if (!AddElement(queue, holder)) {
    std::free(holder);
    return false;
  }
  return true;
}

void* ReadMsgFromQueueForProcessing(MessageQueue* queue) {
  LogTrace("\n\t@@@@@ Inside ReadMsgFromQueueForProcessing() @@@@@\n");
  if (queue == nullptr) return nullptr;
  LockKey(queue);
  VectorElement* oldest = queue->head;
  if (oldest != nullptr) {
    queue->head = oldest->next;
    if (queue->head == nullptr) queue->tail = nullptr;
    --queue->count;
  }
  UnlockKey(queue);
  if (oldest == nullptr) return nullptr;
  void* message = oldest->data;
  std::free(oldest);
  return message;
}

}  // extern "C"
