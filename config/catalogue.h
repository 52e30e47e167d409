#pragma once
// The message catalogue: the texts of "string_%s.ini" with built-in defaults, converted
// for display.

#include <cstddef>
#include <string>

// Catalogue look-up: section "BOOT" of the messages, the built-in default when the key
// is missing or empty, converted for display.
std::string catalogueText(const std::string& key);

// Whether the launcher shows the text of this key (names match regardless of case).
bool isCatalogueKey(const std::string& key);

// Longest display text: 510 UTF-16 units before the conversion and 510 bytes after it
// (buffers of 512 with the terminator).
inline constexpr size_t kDisplayTextLimit = 510;

// UTF-8 to the ANSI code page; empty when the text or its converted form exceeds
// kDisplayTextLimit characters or bytes.
std::string toDisplayText(const std::string& text);
// The same conversion into a chosen codeset (tests use "CP950").
std::string toDisplayText(const std::string& text, const char* targetCodeset);
