#pragma once
// Turns the bytes of a text part or an encoded word into UTF-8 by their declared charset.
//
// - UTF-8, US-ASCII or no charset at all: read as UTF-8 (ASCII is a subset, and 8-bit text that
//   declares nothing is UTF-8 far more often than anything else); each invalid sequence becomes
//   one U+FFFD, the WHATWG rule.
// - ISO-8859-1 and the other labels the WHATWG Encoding Standard maps to Windows-1252: decoded
//   as Windows-1252, whose extra characters (curly quotes, the euro sign) senders use under
//   those labels.
// - Any other charset iconv knows: converted, each sequence it cannot convert becoming U+FFFD.
// - A charset nobody knows, or one labelled as unknown: read as UTF-8, with the same
//   replacement.
#include <string>
#include <string_view>

namespace mail::engine {

// `unfaithful`, when given, tells whether the bytes could not be read as their charset says: a
// sequence became U+FFFD, or the charset is unknown and 8-bit bytes were read as UTF-8.
std::string decode_charset(std::string_view bytes, std::string_view charset,
                           bool* unfaithful = nullptr);

// The character a Windows-1252 byte stands for; the five bytes the code page leaves undefined
// map to the C1 controls, as WHATWG says, so no byte is ever lost.
char32_t windows_1252(unsigned char byte);

// Whether the label is read as UTF-8 (so valid bytes need no decoding at all).
bool reads_as_utf8(std::string_view charset);

}  // namespace mail::engine
