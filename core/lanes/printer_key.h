// Which printer a ticket goes to, as one text: tickets with the same key print one at a time,
// in the order they were handed over; tickets with different keys may print at once.
#pragma once

#include <string>

namespace qv {

// The key of the printer that `printType` (1 network, 2 spooler, 3 parallel port) and
// `printSn` (address, printer name or port number) name. Two spellings of one printer give
// one key where the difference cannot matter to the device (case, surrounding blanks): a key
// shared by two printers only makes them take turns, two keys for one printer would send it
// two jobs at once.
std::string PrinterKey(int printType, const std::string& printSn);

}  // namespace qv
