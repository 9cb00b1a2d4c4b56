// System message texts of the emulated host and the UTF-8 conversion.
//
// FormatMessage with FORMAT_MESSAGE_MAX_WIDTH_MASK turns the line break that
// ends every system message into one blank, so each text here is returned
// with one trailing blank. Codes without a row have no system text, as on
// Windows for the agent's own result codes.
#include <algorithm>
#include <iterator>

#include "platform/posix/posix_platform.h"
#include "platform/posix/text.h"

namespace hv::posix {

namespace {

struct Message {
  uint32_t code;
  const char* text;
};

// Sorted by code.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {18, "There are no more files."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1223, "The operation was canceled by the user."},
    {1237, "The operation could not be completed. A retry should be performed."},
    {1460, "This operation returned because the timeout period expired."},
    {1602, "User cancelled installation."},
    {1603, "Fatal error during installation."},
    {1604, "Installation suspended, incomplete."},
    {1605, "This action is only valid for products that are currently installed."},
    {1618,
     "Another installation is already in progress. Complete that installation before proceeding "
     "with this install."},
    {1619,
     "This installation package could not be opened. Verify that the package exists and that you "
     "can access it, or contact the application vendor to verify that this is a valid Windows "
     "Installer package."},
    {1620,
     "This installation package could not be opened. Contact the application vendor to verify "
     "that this is a valid Windows Installer package."},
    {1638,
     "Another version of this product is already installed. Installation of this version cannot "
     "continue. To configure or remove the existing version of this product, use Add/Remove "
     "Programs on the Control Panel."},
    {1641,
     "The requested operation completed successfully. The system will be restarted so the "
     "changes can take effect."},
    {1921, "The name of the file cannot be resolved by the system."},
    {3010,
     "The requested operation is successful. Changes will not be effective until the system is "
     "rebooted."},
};

const Message* FindMessage(uint32_t code) {
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                             [](const Message& m, uint32_t c) { return m.code < c; });
  return (it != std::end(kMessages) && it->code == code) ? it : nullptr;
}

}  // namespace

bool PosixPlatform::FormatSystemMessageUtf8(uint32_t code, std::string* text) {
  const Message* message = FindMessage(code);
  if (message == nullptr || text == nullptr) return false;
  *text = std::string(message->text) + " ";
  return true;
}

// The emulation's ANSI code page is UTF-8, so both forms are the same.
bool PosixPlatform::FormatSystemMessageAnsi(uint32_t code, std::string* text) {
  return FormatSystemMessageUtf8(code, text);
}

int32_t PosixPlatform::WideToUtf8(const wchar_t* text, std::string* out) {
  if (text == nullptr || out == nullptr) return kErrorInvalidParameter;
  out->clear();
  std::string converted;
  for (const wchar_t* p = text; *p != 0; ++p) {
    // wchar_t holds UTF-32 here: surrogates and values past U+10FFFF are not
    // characters.
    uint32_t cp = static_cast<uint32_t>(*p);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return 1113;  // ERROR_NO_UNICODE_TRANSLATION
    AppendUtf8(&converted, cp);
  }
  *out = std::move(converted);
  return kErrorSuccess;
}

}  // namespace hv::posix
