#pragma once

#include <string>
#include <string_view>

namespace plyfold::engine::csv {

enum class TextEncoding { Utf8, Utf8WithBom, Utf16Le, Utf16Be, Windows1252 };

// The encoding of a text file judged by its byte order mark, else by whether its bytes are
// valid UTF-8; bytes that are not are read as Windows-1252, the commonest 8-bit code page.
TextEncoding detectTextEncoding(std::string_view bytes);

// The text as UTF-8. Where no conversion is needed the result views bytes itself (without a
// byte order mark); else it views storage, which receives the converted text.
std::string_view decodeText(std::string_view bytes, TextEncoding encoding, std::string& storage);

// True when every byte is a valid part of UTF-8; fast on long ASCII runs.
bool isUtf8(std::string_view bytes);

// Appends the UTF-8 form of Windows-1252 bytes. The five bytes the code page leaves undefined
// become the C1 controls of the same value, as Windows converts them.
void appendWindows1252AsUtf8(std::string& out, std::string_view bytes);

}  // namespace plyfold::engine::csv
