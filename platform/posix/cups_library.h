// libcups, loaded when the service first needs it rather than with the program: it brings a
// TLS library, Kerberos, Avahi and D-Bus into the process, which a service that prints to
// network printers only never needs.
#pragma once

#include <cups/cups.h>

#include <string>

namespace qv::platform::posix {

// The libcups functions the spooler calls, named as the library names them.
// clang-format off
#define QV_CUPS_FUNCTIONS(X) \
  X(cupsLastError) X(cupsLastErrorString) X(cupsServer) X(cupsEncryption) \
  X(cupsUser) X(cupsDoRequest) X(cupsWriteRequestData) X(cupsStartDocument) \
  X(cupsFinishDocument) X(cupsCancelJob2) X(httpConnect2) X(httpClose) \
  X(httpAssembleURIf) X(ippPort) X(ippNewRequest) X(ippDelete) \
  X(ippAddString) X(ippAddStrings) X(ippFindAttribute) X(ippFirstAttribute) \
  X(ippNextAttribute) X(ippGetName) X(ippGetGroupTag) X(ippGetString) \
  X(ippGetInteger)
// clang-format on

struct CupsLibrary {
#define QV_CUPS_POINTER(name) decltype(&::name) name = nullptr;
  QV_CUPS_FUNCTIONS(QV_CUPS_POINTER)
#undef QV_CUPS_POINTER
};

// The library, loaded on the first call and kept for the life of the process; null with
// `error` set when it cannot be loaded.
const CupsLibrary* Cups(std::string& error);

}  // namespace qv::platform::posix
