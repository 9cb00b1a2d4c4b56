// Uninstalling the product of one uninstall entry, one routine per view.
#ifndef HV_UNINSTALL_UNINSTALL_PRODUCT_H
#define HV_UNINSTALL_UNINSTALL_PRODUCT_H

#include <cstdint>

int32_t UninstallMatchedProduct32(const char* entryPath);
int32_t UninstallMatchedProduct64(const char* entryPath);

#endif  // HV_UNINSTALL_UNINSTALL_PRODUCT_H
