#pragma once
// Code-page conversion (MultiByteToWideChar / WideCharToMultiByte).

#include <bitset>
#include <string>
#include <string_view>

namespace platform {

// The "ANSI code page", read once at start-up: "CP" and its number on Windows (GetACP),
// the codeset of the user's locale on Linux.
std::string ansiCodeset();

// Converts text between two codesets (names such as "UTF-8", "CP950", "UTF-16LE").
// A character the target cannot hold becomes '?'; invalid input bytes too. Windows
// converts as MultiByteToWideChar/WideCharToMultiByte without flags do: a best-fit
// character where the code page has one (é becomes e in CP950), U+FFFD for an invalid
// byte, which only a UTF target keeps. False only when the conversion itself is not
// available.
bool convertText(std::string_view text, const char* fromCodeset, const char* toCodeset,
                 std::string& out);

// The lead bytes of a double-byte code page (Big5, GBK, Shift-JIS, UHC): the bytes
// that begin a two-byte character, as IsDBCSLeadByteEx tells them. None for other
// codesets (single-byte ones, UTF-8) and for names the layer does not know.
std::bitset<256> leadBytes(std::string_view codeset);

}  // namespace platform
