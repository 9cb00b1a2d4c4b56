#include "platform/platform.h"

#include <atomic>

namespace hv {

namespace {
std::atomic<Platform*> g_installed{nullptr};
}  // namespace

Platform& CurrentPlatform() {
  Platform* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : HostPlatform();
}

Platform* SetPlatform(Platform* platform) {
  Platform* previous = g_installed.exchange(platform, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &HostPlatform();
}

}  // namespace hv
