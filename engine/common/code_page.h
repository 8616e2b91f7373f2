#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace plyfold::engine::dbf {

// Converts text of one 8-bit or multi-byte code page to UTF-8 (through iconv, or a table of
// our own for code pages iconv lacks). Bytes the code page cannot map become U+FFFD.
class CodePageConverter {
public:
    // name: an iconv name ("CP1251"), "UTF-8", "MAZOVIA", or empty for "not declared": then
    // each text that is valid UTF-8 is taken as such and any other as Windows-1252.
    explicit CodePageConverter(std::string name);
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    // The code page really used: the requested one, or "CP1252" when iconv does not know it.
    const std::string& name() const { return m_name; }
    bool isFallback() const { return m_fallback; }

    void appendUtf8(std::string& out, std::string_view bytes);

private:
    struct Iconv;
    std::string m_name;
    bool m_fallback = false;
    std::unique_ptr<Iconv> m_iconv;
};

// The code page a dBase language driver id stands for, as an iconv name; empty for 0 (none
// declared) and for ids not known.
std::string codePageOfLanguageDriver(unsigned char id);

// The code page named by the text of a .cpg file ("UTF-8", "1252", "CP1251", "ANSI 1251",
// "88591"...), as an iconv name; empty when the text names none.
std::string codePageOfCpgText(std::string_view text);

}  // namespace plyfold::engine::dbf
