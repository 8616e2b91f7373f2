#include "engine/io/xls/biff_records.h"

#include <cmath>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/text.h"

namespace plyfold::engine::xls {

double rkNumber(uint32_t rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return rk & 0x01 ? value / 100.0 : value;
}

std::string biffCodePageName(uint16_t codePage) {
    switch (codePage) {
        case 367:
            return "ASCII";
        case 10000:
        case 32768:
            return "MACINTOSH";
        case 32769:
        case 1252:
            return "CP1252";
        default:
            return "CP" + std::to_string(codePage);
    }
}

std::optional<BiffRecord> BiffRecordCursor::next() {
    if (m_at >= m_stream.size()) {
        return std::nullopt;
    }
    if (m_stream.size() - m_at < 4) {
        m_cutShort = true;
        return std::nullopt;
    }
    BiffRecord record;
    record.type = le16(m_stream, m_at);
    size_t length = le16(m_stream, m_at + 2);
    if (m_stream.size() - m_at - 4 < length) {
        m_cutShort = true;
        return std::nullopt;
    }
    record.data = m_stream.substr(m_at + 4, length);
    m_at += 4 + length;
    return record;
}

std::optional<uint16_t> BiffRecordCursor::peekType() const {
    if (m_stream.size() < 4 || m_at > m_stream.size() - 4) {
        return std::nullopt;
    }
    return le16(m_stream, m_at);
}

void BiffRecordCursor::takeContinues(std::vector<std::string_view>& segments) {
    while (peekType() == kBiffContinue) {
        auto record = next();
        if (!record) {
            return;
        }
        segments.push_back(record->data);
    }
}

size_t BiffContinuedReader::available() {
    while (m_segment < m_segments.size() && m_at >= m_segments[m_segment].size()) {
        ++m_segment;
        m_at = 0;
    }
    return m_segment < m_segments.size() ? m_segments[m_segment].size() - m_at : 0;
}

bool BiffContinuedReader::atEnd() {
    return available() == 0;
}

uint8_t BiffContinuedReader::u8() {
    if (available() == 0) {
        damaged();
    }
    return static_cast<uint8_t>(m_segments[m_segment][m_at++]);
}

uint16_t BiffContinuedReader::u16() {
    uint16_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
}

uint32_t BiffContinuedReader::u32() {
    uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
}

void BiffContinuedReader::skip(uint64_t count) {
    while (count > 0) {
        size_t here = available();
        if (here == 0) {
            damaged();
        }
        size_t step = static_cast<size_t>(std::min<uint64_t>(count, here));
        m_at += step;
        count -= step;
    }
}

void BiffContinuedReader::appendCharacters(size_t count, bool wide, std::string& out) {
    uint32_t highSurrogate = 0;
    auto emit = [&](uint32_t unit) {
        if (highSurrogate) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
                highSurrogate = 0;
                return;
            }
            appendUtf8(out, 0xFFFD);
            highSurrogate = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate = unit;
        } else {
            appendUtf8(out, unit);  // a lone low surrogate becomes U+FFFD there
        }
    };
    while (count > 0) {
        if (m_segment >= m_segments.size() || m_at >= m_segments[m_segment].size()) {
            // The characters go on in the next record, which states their width afresh.
            wide = (u8() & 0x01) != 0;
        }
        size_t here = available();
        if (here == 0 || (wide && here < 2)) {
            damaged();
        }
        std::string_view bytes = m_segments[m_segment].substr(m_at);
        size_t take = std::min(count, wide ? here / 2 : here);
        for (size_t i = 0; i < take; ++i) {
            emit(wide ? le16(bytes, 2 * i) : static_cast<unsigned char>(bytes[i]));
        }
        m_at += wide ? 2 * take : take;
        count -= take;
        if (wide && count > 0 && here % 2) {
            damaged();  // a character split between two records
        }
    }
    if (highSurrogate) {
        appendUtf8(out, 0xFFFD);
    }
}

std::string BiffContinuedReader::unicodeString(int countBytes, Layout layout,
                                               std::vector<BiffTextRun>* runList) {
    size_t count = countBytes == 1 ? u8() : u16();
    uint8_t options = u8();
    uint16_t runs = 0;
    uint32_t extended = 0;
    if (layout == Layout::WithFormatting) {
        if (options & 0x08) {
            runs = u16();
        }
        if (options & 0x04) {
            extended = u32();
        }
    }
    std::string text;
    text.reserve(count);
    appendCharacters(count, (options & 0x01) != 0, text);
    if (runList) {
        runList->clear();
        for (uint16_t i = 0; i < runs; ++i) {
            BiffTextRun run;
            run.character = u16();
            run.font = u16();
            runList->push_back(run);
        }
        runs = 0;
    }
    skip(uint64_t{runs} * 4 + extended);
    return text;
}

}  // namespace plyfold::engine::xls
