#include "engine/io/xlsx/shared_strings_reader.h"

#include <optional>

#include "engine/common/memory_budget.h"
#include "engine/common/text.h"
#include "engine/io/xlsx/opc_package.h"
#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/value_parsing.h"
#include "engine/model/limits.h"
#include "engine/model/workbook.h"

namespace plyfold::engine::xlsx_read {
namespace {

// sst > si > (t | r > (rPr, t)); everything else, phonetic runs (rPh) included, is skipped.
class SharedStringsHandler : public XmlHandler {
public:
    SharedStringsHandler(StringPool& strings, std::vector<uint32_t>& ids, MemoryAccount& memory,
                         SharedStringRuns* runs)
        : m_strings(strings), m_ids(ids), m_count(memory), m_runs(runs) {
        if (runs) {
            m_collector.emplace(runs->fonts);
        }
    }

    void startElement(std::string_view name, XmlAttributes attributes) override {
        ++m_depth;
        if (m_depth == 2) {
            m_inItem = name == "si";
            m_text.clear();
            if (m_collector) {
                m_collector->clear();
            }
        } else if (m_depth == 3 && m_inItem) {
            m_inRun = name == "r";
            m_collecting = name == "t";
            if (m_inRun && m_collector) {
                m_collector->startRun();
            }
        } else if (m_depth == 4 && m_inRun) {
            m_collecting = name == "t";
            m_inProperties = name == "rPr";
        } else if (m_depth == 5 && m_inProperties && m_collector) {
            m_collector->runProperty(name, attributes);
        }
    }

    void endElement(std::string_view) override {
        if (m_depth == 2 && m_inItem) {
            finishItem();
            m_inItem = false;
        } else if (m_depth == 3) {
            if (m_inRun && m_collector) {
                m_collector->endRun();
            }
            m_inRun = false;
            m_collecting = false;
        } else if (m_depth == 4) {
            m_collecting = false;
            m_inProperties = false;
        }
        --m_depth;
    }

    void characters(std::string_view text) override {
        if (!m_collecting) {
            return;
        }
        if (m_text.size() + text.size() > kMaxRawTextBytes) {
            tooLong();
        }
        m_text += text;
        if (m_collector && m_inRun) {
            m_collector->runText() += text;
        }
    }

private:
    void finishItem() {
        if (!isXmlText(m_text)) {
            fail(FailureKind::Damaged,
                 "shared string " + std::to_string(m_ids.size()) + " is not valid text");
        }
        decodeEscapes(m_text);
        if (utf16Length(m_text) > static_cast<size_t>(kMaxCellTextLength)) {
            tooLong();
        }
        m_count.add(sizeof(uint32_t));
        m_ids.push_back(m_strings.intern(m_text));
        if (m_collector && m_collector->hasRuns()) {
            keepRuns();
        }
    }

    // A text written in runs keeps them, even a single run in the cell's font.
    void keepRuns() {
        RichText text;
        if (!m_collector->take(text) || text.runs.empty()) {
            return;
        }
        std::vector<uint32_t>& richIds = m_runs->richIds;
        if (richIds.size() < m_ids.size()) {
            m_count.add((m_ids.size() - richIds.size()) * sizeof(uint32_t));
            richIds.resize(m_ids.size(), 0);
        }
        richIds.back() = m_runs->workbook.addRichText(std::move(text)) + 1;
    }

    [[noreturn]] void tooLong() {
        fail(FailureKind::TooLarge,
             "shared string " + std::to_string(m_ids.size()) + " is longer than the " +
                 std::to_string(kMaxCellTextLength) + " characters a cell can hold");
    }

    StringPool& m_strings;
    std::vector<uint32_t>& m_ids;
    ChunkedCount m_count;
    std::string m_text;
    int m_depth = 0;
    bool m_inItem = false;
    bool m_inRun = false;
    bool m_collecting = false;
    bool m_inProperties = false;
    SharedStringRuns* m_runs;
    std::optional<RunCollector> m_collector;
};

}  // namespace

std::vector<uint32_t> readSharedStrings(ZipPackage& package, const std::string& storedName,
                                        StringPool& strings, MemoryAccount& memory,
                                        SharedStringRuns* runs) {
    std::vector<uint32_t> ids;
    SharedStringsHandler handler(strings, ids, memory, runs);
    parsePart(package, storedName, handler, kMaxLargePartBytes, true);
    return ids;
}

}  // namespace plyfold::engine::xlsx_read
