#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/io/xlsx/zip_writer.h"

namespace plyfold::engine::xlsx {

// The XML text of one package part, built in a buffer that goes to the zip writer in
// chunks, so a part is never held whole. The hot paths (cells) take room with reserve(),
// write through the pointer it returns and commit(); everything else uses the functions
// that append.
class XmlStreamWriter {
public:
    // Starts the entry; the XML declaration is written first.
    XmlStreamWriter(ZipWriter& zip, std::string_view partName);
    XmlStreamWriter(const XmlStreamWriter&) = delete;
    XmlStreamWriter& operator=(const XmlStreamWriter&) = delete;

    // Hands the rest to the zip writer and ends the entry. Without it (an exception is
    // unwinding) the entry stays open and the archive is abandoned.
    void finish();

    // Room for n more bytes (at most kMaxReserve) at the returned pointer; a full buffer
    // goes to the zip writer first.
    static constexpr size_t kMaxReserve = size_t{64} * 1024;
    char* reserve(size_t n) {
        if (m_size + n > m_capacity) {
            grow(n);
        }
        return m_buffer.data() + m_size;
    }
    // Marks the bytes written through a pointer from reserve() as used.
    void commit(char* end) { m_size = static_cast<size_t>(end - m_buffer.data()); }

    void raw(std::string_view text) {
        if (text.size() > kMaxReserve / 4) {
            rawLarge(text);
            return;
        }
        char* p = reserve(text.size());
        std::memcpy(p, text.data(), text.size());
        m_size += text.size();
    }
    void raw(char c) {
        *reserve(1) = c;
        ++m_size;
    }
    void number(double value);
    void integer(int64_t value);
    // Text content of an element, escaped (see appendEscapedText).
    void text(std::string_view text);
    // An attribute value, escaped for use between double quotes.
    void attributeValue(std::string_view text);
    // name="value", with a leading blank.
    void attribute(std::string_view name, std::string_view value);
    void attribute(std::string_view name, int64_t value);
    void attributeNumber(std::string_view name, double value);

private:
    void grow(size_t n);
    void flush();
    void rawLarge(std::string_view text);

    ZipWriter& m_zip;
    std::string m_buffer;  // sized to its capacity; m_size bytes are used
    size_t m_size = 0;
    size_t m_capacity = 0;
    bool m_finished = false;
};

// Whether text needs xml:space="preserve" to keep its blanks: it begins or ends with a
// blank, a tab or a line break (readers keep white space inside a text anyway).
bool needsSpacePreserve(std::string_view text);

// Appends text escaped for element content: & < > as entities; characters that XML 1.0
// does not allow, and CR (which XML readers turn into LF), as _xHHHH_, the escape
// spreadsheet programs use; an underscore that would start such an escape as _x005F_;
// bytes that are not valid UTF-8 as U+FFFD.
void appendEscapedText(std::string& out, std::string_view text);
// The same for attribute values: also " as &quot;, and tab and LF as character
// references, since attribute values turn them into blanks.
void appendEscapedAttribute(std::string& out, std::string_view text);

// The shortest text that reads back as the same double; finite values only.
// Returns the number of characters written to out (at most 32).
size_t formatNumber(double value, char* out);

}  // namespace plyfold::engine::xlsx
