// The ESC/POS byte sequences the drivers emit, each built in exactly one place.
//
// Builders return the bytes of one command; those whose argument can be refused return
// std::nullopt instead, and the caller then sends nothing. Text arguments are bytes already
// in the printer's code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::escpos {

// Status requests, one per report section.
inline constexpr std::string_view kPrinterStatusRequest = "\x1d\x72\x01";  // GS r 1
inline constexpr std::string_view kDrawerStatusRequest = "\x1d\x72\x02";   // GS r 2
inline constexpr std::string_view kPaperSensorRequest = "\x1b\x76";        // ESC v
inline constexpr std::string_view kFirmwareRequest = "\x1d\x49\x41";       // GS I 65

// CR LF; the end of a printed line.
inline constexpr std::string_view kLineEnd = "\r\n";

// CR LF `count` times; 0 or less counts as 1.
std::string LineFeed(int count);
// ESC a 0/1/2 for code 1/2/3; nullopt for any other code.
std::optional<std::string> Alignment(int code);
// ESC E 1 for on == 1, ESC E 0 otherwise.
std::string Bold(int on);
// ESC 4 1 for on == 1, ESC 4 0 otherwise.
std::string Esc4Mode(int on);
// ESC - n for mode 0..2; nullopt otherwise.
std::optional<std::string> Underline(int mode);
// FS .
std::string CancelChineseMode();
// ESC ! n (family <= 1) or GS ! n (family >= 2), n = sizeCode * 0x10 for sizeCode 0..3.
std::optional<std::string> PrintModeSize(int sizeCode, int family);
// GS ! ((width << 4) | height) after the clamps of the character size rule; nullopt when a
// code exceeds the mode's limit.
std::optional<std::string> CharacterSize(int width, int height, int mode);
// ESC m.
std::string Cut();
// ESC p m 60 255, m = 0 for pin 1 and 1 otherwise.
std::string OpenDrawer(int pin);
// Alignment, module size, error correction, store (data) and print, after the clamps.
// The store command carries the length as pL pH, so data above 252 bytes is whole; nullopt
// for data above 65532 bytes, which no length can describe.
std::optional<std::string> QrCode(std::string_view data, int level, int moduleSize, int alignment);
// GS h n.
std::string BarcodeHeight(int dots);
// GS w n.
std::string BarcodeWidth(int dots);
// GS k 4 data NUL.
std::string Code39(std::string_view data);
// [alignment] GS v 0 m xL xH yL yH data (m = 0, normal scale).
std::string RasterImage(std::string_view data, int widthBytes, int heightDots, int alignment);
// ESC # n with the low byte of n.
std::string EscHashMode(int n);

}  // namespace qv::escpos
