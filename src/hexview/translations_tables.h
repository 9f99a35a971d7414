#pragma once

#include <array>
#include <cstdint>

namespace qarvo::hexview {

// The character sets of the hex view's character field as plain tables. "ANSI" is Windows-1252
// and the OEM (DOS) page is code page 437; the Macintosh and EBCDIC tables map straight to
// Windows-1252 and are permutations, so their reverse tables are exact inverses.
using ByteTable = std::array<std::uint8_t, 256>;
// Byte -> UTF-16 code unit.
using CodeTable = std::array<std::uint16_t, 256>;

extern const CodeTable kAnsiToUnicode;
extern const CodeTable kOemToUnicode;

// The OEM page and Windows-1252 share only part of their characters; a character the other
// page lacks comes out as "?" (3F), so these two are not inverses of each other.
extern const ByteTable kOemToAnsi;
extern const ByteTable kAnsiToOem;

extern const ByteTable kMacToAnsi;
extern const ByteTable kAnsiToMac;
extern const ByteTable kEbcdicToAnsi;
extern const ByteTable kAnsiToEbcdic;

// One character lower-cased in Windows-1252; characters without a lower-case form stay.
extern const ByteTable kAnsiLowerCase;

// A translation of the character field: data byte -> ANSI and back. Both null: the bytes are
// shown as they are.
struct CharTranslation {
  const ByteTable* to_ansi = nullptr;
  const ByteTable* from_ansi = nullptr;
};

inline constexpr CharTranslation kTranslationAsIs{};
inline constexpr CharTranslation kTranslationOem{&kOemToAnsi, &kAnsiToOem};
inline constexpr CharTranslation kTranslationMac{&kMacToAnsi, &kAnsiToMac};
inline constexpr CharTranslation kTranslationEbcdic{&kEbcdicToAnsi, &kAnsiToEbcdic};

}  // namespace qarvo::hexview
