// The provider registry and the two provider slots. See
// include/quill/db/provider.h.
//
// Both are written at start-up only (InitDBProvider, client registrations)
// and read afterwards without a lock.
#include <cstring>

#include "logging/log.h"
#include "quill/base/vector.h"
#include "quill/db/connections.h"
#include "quill/db/provider.h"

namespace {

Vector gv_providerRegistry = {nullptr, 0, nullptr, nullptr};
const DBProvider* gv_providerSlots[DB_PROVIDER_SLOTS] = {nullptr, nullptr};

}  // namespace

extern "C" {

bool InitDBProvider(void) {
  if (gv_providerSlots[0] != nullptr) {
    LogError("InitDBProvider Failed as already initialized\n");
    return false;
  }
  for (const DBProvider*& slot : gv_providerSlots) slot = nullptr;
  RegisterDBProvider(GetODBCProvider());
  LoadDBProvider("ODBC");
  // Only a client-registered provider can answer to this name.
  LoadDBProvider("SQLITE");
  InitConnParamsEntries();
  InitConnectionPools();
  return true;
}

bool RegisterDBProvider(const DBProvider* provider) {
  if (provider == nullptr) return false;
  return AddElementData(&gv_providerRegistry, const_cast<DBProvider*>(provider));
}

const DBProvider* FindDBProvider(const char* name) {
  if (name == nullptr) return nullptr;
  for (VectorElement* element = gv_providerRegistry.head; element != nullptr;
       element = element->next) {
    auto* provider = static_cast<const DBProvider*>(element->data);
    if (provider != nullptr && provider->name != nullptr &&
        std::strcmp(provider->name, name) == 0) {
      return provider;
    }
  }
  return nullptr;
}

void FreeDBProviderRegistry(void) {
  FreeVector(&gv_providerRegistry);
}

bool LoadDBProvider(const char* name) {
  const DBProvider* provider = FindDBProvider(name);
  if (provider == nullptr) return false;
  for (const DBProvider*& slot : gv_providerSlots) {
    if (slot == nullptr) {
      slot = provider;
      return true;
    }
  }
  return false;
}

bool LoadDefaultDBProvider(void) {
  Vector* entries = GetConnParamsEntries();
  if (entries->head == nullptr) {
    LogError("Cannot Load DB provider.\n");
    return false;
  }
  auto* first = static_cast<ConnParamsEntry*>(entries->head->data);
  const char* name = first != nullptr ? first->dialectName : nullptr;
  if (!LoadDBProvider(name)) {
    LogError("Cannot Load %s provider.\n", name != nullptr ? name : "(null)");
    return false;
  }
  return true;
}

bool UnloadDBProvider(const char* name) {
  if (name == nullptr) return false;
  for (const DBProvider*& slot : gv_providerSlots) {
    if (slot != nullptr && slot->name != nullptr && std::strcmp(slot->name, name) == 0) {
      slot = nullptr;
      return true;
    }
  }
  return false;
}

const DBProvider* GetDBProviderInSlot(int32_t slot) {
  if (slot < 0 || slot >= DB_PROVIDER_SLOTS) return nullptr;
  return gv_providerSlots[slot];
}

}  // extern "C"
