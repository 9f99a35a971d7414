#pragma once

#include <array>
#include <bitset>
#include <cstdint>

namespace qarvo::hex {

// Character sets of the character field. The "ANSI" page is Windows-1252, the OEM (DOS) page
// is CP437.
enum TMPHTranslationKind { tkAsIs, tkDos8, tkASCII, tkMac, tkBCD, tkCustom };
inline constexpr int kTranslationKindCount = 6;

const char* TranslationLongName(TMPHTranslationKind kind);   // "Windows", "Dos 8 bits", ...
const char* TranslationShortName(TMPHTranslationKind kind);  // "WIN", "DOS", ...

// Windows-1252 <-> UTF-16. Every byte has a character (the five undefined codes map to the
// C1 controls of the same number, as Windows does); a character without a byte gives -1.
char16_t AnsiToUnicode(uint8_t ansi);
int UnicodeToAnsi(char16_t unicode);

// CP437 <-> Windows-1252 of one character. Characters that the target page lacks take a
// look-alike where there is one (box lines become -, | and +) and "?" otherwise.
uint8_t OemToAnsi(uint8_t oem);
uint8_t AnsiToOem(uint8_t ansi);

// One Windows-1252 character lower-cased; characters without a lower-case form stay.
uint8_t AnsiLowerCase(uint8_t ansi);

// The fixed tables, display direction (byte -> ANSI) and their inverses.
const std::array<uint8_t, 256>& MacToAnsiTable();
const std::array<uint8_t, 256>& AnsiToMacTable();
const std::array<uint8_t, 256>& EbcdicToAnsiTable();
const std::array<uint8_t, 256>& AnsiToEbcdicTable();

// Bytes <-> characters of the character field for one translation, with masking.
class CharTranslator {
 public:
  CharTranslator();

  TMPHTranslationKind Kind() const { return kind_; }
  void SetKind(TMPHTranslationKind kind) { kind_ = kind; }
  // 0 switches masking off.
  uint8_t MaskChar() const { return mask_char_; }
  void SetMaskChar(uint8_t c) { mask_char_ = c; }
  // Codes (after translation) shown as the mask character; by default 0..31.
  bool IsMasked(unsigned code) const { return code < 256 && masked_.test(code); }

  // Replaces the custom table (byte -> ANSI); its reverse is rebuilt. Where two bytes give
  // the same character, typing that character gives the lower byte; characters that no
  // byte gives are typed as 0.
  void SetCustomTable(const std::array<uint8_t, 256>& to_ansi);

  // The ANSI code shown for byte `b` in the character field.
  uint8_t DisplayCode(uint8_t b) const;
  // The byte that typing the ANSI character `c` enters.
  uint8_t EnteredByte(uint8_t c) const;
  // The ANSI character of byte `b` without masking, and the byte of an ANSI character through
  // the reverse table (control codes included), as the search translates its text.
  uint8_t ToAnsi(uint8_t b) const;
  uint8_t FromAnsi(uint8_t c) const;
  // The character shown for a 16-bit code unit in unicode mode.
  char16_t DisplayUnit(char16_t unit) const;

 private:
  TMPHTranslationKind kind_ = tkAsIs;
  uint8_t mask_char_ = '.';
  std::bitset<256> masked_;
  std::array<uint8_t, 256> custom_to_ansi_{};
  std::array<uint8_t, 256> custom_from_ansi_{};
};

}  // namespace qarvo::hex
