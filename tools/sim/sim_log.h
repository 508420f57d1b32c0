// Plain log lines on stdout, one per event, safe to write from every simulator thread.
#pragma once

#include <string>
#include <string_view>

namespace qv::sim {

// Writes "HH:MM:SS.mmm [component] message" and flushes, so that a script reading the
// simulator's output sees each event as it happens.
void Log(std::string_view component, std::string_view message);

// Writes a block of text (a rendered receipt) as it is, in one piece.
void LogBlock(std::string_view text);

// Local time now as "2026-12-10T03:04:05" (for records and file contents).
std::string NowText();

// Wall-clock milliseconds since 1970, so that a script can line up the cloud's and the
// printers' records with its own measurements.
long long UnixMs();

}  // namespace qv::sim
