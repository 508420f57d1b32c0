// The machine's identity towards the cloud API.
#pragma once

#include <string>

namespace qv {

// MAC address of a connected network adapter ("00:1A:2B:3C:4D:5E"), physical (PCI) adapters
// preferred; empty when none can be read. Read once at start-up; no message on failure.
std::string ReadMacAddress();

}  // namespace qv
