#pragma once

#include <string>
#include <string_view>

namespace plyfold::engine::csv {

// Utf8WithStrayBytes: UTF-8 in which some bytes are not, each read as Windows-1252 (a file
// written in UTF-8 into which a few bytes of an 8-bit code page were pasted).
enum class TextEncoding { Utf8, Utf8WithBom, Utf16Le, Utf16Be, Windows1252, Utf8WithStrayBytes };

// The encoding of a text file judged by its byte order mark, else by whether its bytes are
// valid UTF-8: when some are not, it is UTF-8 with stray bytes if more characters are valid
// UTF-8 sequences of two bytes or more than there are stray bytes, and else Windows-1252, the
// commonest 8-bit code page (whose text seldom forms such sequences by chance).
TextEncoding detectTextEncoding(std::string_view bytes);

// The text as UTF-8. Where no conversion is needed the result views bytes itself (without a
// byte order mark); else it views storage, which receives the converted text.
std::string_view decodeText(std::string_view bytes, TextEncoding encoding, std::string& storage);

// True when every byte is a valid part of UTF-8; fast on long ASCII runs.
bool isUtf8(std::string_view bytes);

// Appends bytes that are mostly UTF-8: valid sequences as they are, each other byte as the
// Windows-1252 character it is.
void appendUtf8WithStrayBytes(std::string& out, std::string_view bytes);

// Appends the UTF-8 form of Windows-1252 bytes. The five bytes the code page leaves undefined
// become the C1 controls of the same value, as Windows converts them.
void appendWindows1252AsUtf8(std::string& out, std::string_view bytes);

}  // namespace plyfold::engine::csv
