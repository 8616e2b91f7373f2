// The fast XML scanner must deliver exactly what expat delivers for every well-formed
// document, however the input is cut into reads, and refuse what expat refuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xml_parser.h"
#include "engine/io/xlsx/zip_package.h"

namespace plyfold::engine::xlsx_read {
namespace {

namespace fs = std::filesystem;

// Writes the events as text, joining pieces of text, so that two parsers can be compared.
class TraceHandler : public XmlHandler {
public:
    void startElement(std::string_view name, XmlAttributes attributes) override {
        flush();
        trace += "<" + std::string(name);
        for (const XmlAttribute& a : attributes) {
            trace += " " + std::string(a.name) + "=[" + std::string(a.value) + "]";
        }
        trace += ">";
    }
    void endElement(std::string_view name) override {
        flush();
        trace += "</" + std::string(name) + ">";
    }
    void characters(std::string_view text) override { m_text += text; }

    std::string finish() {
        flush();
        return trace;
    }

    std::string trace;

private:
    void flush() {
        if (!m_text.empty()) {
            trace += "{" + m_text + "}";
            m_text.clear();
        }
    }
    std::string m_text;
};

// Hands out the bytes a few at a time, to cut tokens at every place.
class DrippingSource : public ByteSource {
public:
    DrippingSource(std::string_view bytes, size_t step) : m_bytes(bytes), m_step(step) {}
    size_t read(char* buffer, size_t capacity) override {
        size_t n = std::min({capacity, m_step, m_bytes.size()});
        std::copy_n(m_bytes.data(), n, buffer);
        m_bytes.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_bytes;
    size_t m_step;
};

std::string traceWithExpat(std::string_view document) {
    MemoryByteSource source(document);
    TraceHandler handler;
    parseXmlWithExpat(source, handler);
    return handler.finish();
}

std::string traceFast(std::string_view document, size_t step) {
    DrippingSource source(document, step);
    TraceHandler handler;
    parseXmlFast(source, handler);
    return handler.finish();
}

std::string repeated(std::string_view unit, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

std::string utf16le(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(FastXmlScanner, DeliversWhatExpatDelivers) {
    const std::vector<std::string> documents = {
        "<a/>",
        ("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<x:a xmlns:x=\"u\" "
         "x:b='1' c=\"2\"><x:b>text</x:b ><c/></x:a>"),
        "\xEF\xBB\xBF<a>bom</a>",
        "<a>&lt;&gt;&amp;&quot;&apos; &#233;&#x1F600;&#10;</a>",
        ("<a b=\"&lt;x&gt; &amp; &#x41;\" c='say \"hi\"' d=\"tab\there\nline\r\nend\" "
         "e=\"&#9;&#10;\"/>"),
        "<a>line\r\nbreaks\rand\nmore\r\n\r\n</a>",
        "<a><![CDATA[<not a tag> & ]] ]>\r\n]]></a>",
        "<a>before<!-- a comment with <tags> & - dashes -->after</a>",
        "<?pi some data?><a><?inner pi?>x</a><!-- trailing -->\n",
        "<a xmlns=\"n\" xmlns:r=\"m\" r:id=\"rId1\" id=\"plain\"/>",
        "<t xml:space=\"preserve\">  spaces kept  </t>",
        "<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80</a>",
        "<a><b><c><d><e>deep</e></d></c></b></a>",
        "<a  b = \"1\"\n\tc\t=\t'2'  />",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>",
        utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a b=\"c\">d</a>"),
        "<a>" + std::string(300000, 'x') + "&amp;" + std::string(300000, 'y') + "</a>",
        "<a b=\"" + std::string(200000, 'v') + "\"/>",
        "<a><![CDATA[" + std::string(300000, 'z') + "\r\n]]></a>",
        "<a><!--" + repeated("- ", 150000) + "-->y</a>",
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document.substr(0, 80));
        std::string expected = traceWithExpat(document);
        for (size_t step : {size_t(1), size_t(7), size_t(4096), size_t(1) << 20}) {
            if (step == 1 && document.size() > 10000) {
                continue;
            }
            EXPECT_EQ(traceFast(document, step), expected) << "reads of " << step;
        }
    }
}

TEST(FastXmlScanner, RefusesWhatIsNotWellFormed) {
    const std::vector<std::string> documents = {
        "",
        "   ",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "<a/>text",
        "text<a/>",
        "<a>&foo;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&amp</a>",
        "<a b=c/>",
        "<a b='1\"/>",
        "<a b=\"<\"/>",
        "<a b/>",
        "<a b='x'c='y'/>",
        "< a/>",
        "<1a/>",
        "<a></a",
        "<a><!-- unclosed </a>",
        "<a><![CDATA[ unclosed </a>",
        "<a><?pi unclosed </a>",
        "<!DOCTYPE a><a/>",
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "<a><!ELEMENT b ANY></a>",
        "<a>]]></a>x",
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        EXPECT_THROW(traceWithExpat(document), ReadFailure);
        for (size_t step : {size_t(1), size_t(4096)}) {
            try {
                traceFast(document, step);
                ADD_FAILURE() << "accepted with reads of " << step;
            } catch (const ReadFailure& failure) {
                EXPECT_EQ(failure.kind(), FailureKind::Damaged);
                EXPECT_TRUE(failure.message().starts_with("XML error at line "))
                    << failure.message();
            }
        }
    }
}

TEST(FastXmlScanner, ErrorsNameTheLine) {
    std::string document = "<a>\n<b>\n</c>\n</a>";
    for (bool fast : {true, false}) {
        try {
            fast ? traceFast(document, 2) : traceWithExpat(document);
            ADD_FAILURE() << "accepted";
        } catch (const ReadFailure& failure) {
            EXPECT_TRUE(failure.message().starts_with("XML error at line 3: "))
                << failure.message();
            EXPECT_NE(failure.message().find("mismatched tag"), std::string::npos);
        }
    }
    try {
        traceFast("<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">]>\n<a/>", 3);
        ADD_FAILURE() << "accepted a document type declaration";
    } catch (const ReadFailure& failure) {
        EXPECT_EQ(failure.message(),
                  "XML error at line 2: document type declarations are not allowed");
    }
}

TEST(FastXmlScanner, BoundsWhatAHostileDocumentCanMakeItHold) {
    // Nesting deeper than any sheet has, and one tag bigger than the limit.
    std::string deep = repeated("<a>", 5000) + repeated("</a>", 5000);
    EXPECT_NO_THROW(traceWithExpat(deep));
    try {
        traceFast(deep, 1 << 16);
        ADD_FAILURE() << "accepted 5000 levels";
    } catch (const ReadFailure& failure) {
        EXPECT_NE(failure.message().find("nested"), std::string::npos) << failure.message();
    }
    std::string huge = "<a b=\"" + std::string(17u << 20, 'x') + "\"/>";
    try {
        traceFast(huge, 1 << 20);
        ADD_FAILURE() << "accepted a 17 MB tag";
    } catch (const ReadFailure& failure) {
        EXPECT_NE(failure.message().find("longer than 16 MB"), std::string::npos);
    }
    // Text of any length streams through in pieces.
    std::string longText = "<a>" + std::string(40u << 20, 't') + "</a>";
    struct Counter : XmlHandler {
        size_t bytes = 0;
        size_t largestPiece = 0;
        void startElement(std::string_view, XmlAttributes) override {}
        void endElement(std::string_view) override {}
        void characters(std::string_view text) override {
            bytes += text.size();
            largestPiece = std::max(largestPiece, text.size());
        }
    } counter;
    MemoryByteSource source(longText);
    parseXmlFast(source, counter);
    EXPECT_EQ(counter.bytes, 40u << 20);
    EXPECT_LT(counter.largestPiece, 4u << 20);
}

// A dripping source that keeps the most any read asked for.
class RecordingSource : public DrippingSource {
public:
    using DrippingSource::DrippingSource;
    size_t read(char* buffer, size_t capacity) override {
        largestRequest = std::max(largestRequest, capacity);
        return DrippingSource::read(buffer, capacity);
    }
    size_t largestRequest = 0;
};

TEST(XmlParsers, LongTokensCutIntoSmallReadsAreParsedWhole) {
    // Tokens that reach the handler only once they are complete, read 4 KB at a time. Each
    // time more bytes come, a parser scans the unfinished token again from its start, so it
    // must wait for as many new bytes as the token already has: expat is fed pieces that grow
    // with the token, or else a long token costs time quadratic in its length.
    const size_t length = size_t{3} << 20;
    struct Case {
        const char* kind;
        std::string document;
        std::string expected;
    };
    const std::string value(length, 'v');
    const Case cases[] = {
        {"attribute", "<a b=\"" + value + "\"/>", "<a b=[" + value + "]></a>"},
        {"element name", "<a" + value + "/>", "<a" + value + "></a" + value + ">"},
        {"comment", "<a><!--" + value + "-->x</a>", "<a>{x}</a>"},
        {"processing instruction", "<a><?pi " + value + "?>x</a>", "<a>{x}</a>"},
        {"attribute in UTF-16", utf16le("<a b=\"" + value + "\"/>"), "<a b=[" + value + "]></a>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        RecordingSource source(c.document, 4096);
        TraceHandler handler;
        parseXmlWithExpat(source, handler);
        EXPECT_EQ(handler.finish(), c.expected);
        EXPECT_GE(source.largestRequest, c.document.size() / 2);
        EXPECT_EQ(traceFast(c.document, 4096), c.expected);
    }
}

TEST(ExpatParser, RefusesATokenLongerThan16MB) {
    // A tag of 16 MB exactly is read; one byte more is refused.
    const std::string longest((size_t{16} << 20) - 9, 'x');
    EXPECT_EQ(traceWithExpat("<a b=\"" + longest + "\"/>"), "<a b=[" + longest + "]></a>");
    // Text and character data come in pieces: no limit holds for them.
    EXPECT_EQ(traceWithExpat("<a>" + longest + longest + "</a>"),
              "<a>{" + longest + longest + "}</a>");
    EXPECT_EQ(traceWithExpat("<a><![CDATA[" + longest + longest + "]]></a>"),
              "<a>{" + longest + longest + "}</a>");
    const std::string value((size_t{16} << 20) + 1, 'x');
    for (const std::string& document :
         {"<a b=\"" + longest + "x\"/>", "<a b=\"" + value + "\"/>", "<a><!--" + value + "--></a>",
          "<a><?pi " + value + "?></a>", "<?xml version=\"1.0\"?>\n\n<a" + value + "/>"}) {
        SCOPED_TRACE(document.substr(0, 30));
        MemoryByteSource source(document);
        TraceHandler handler;
        try {
            parseXmlWithExpat(source, handler);
            ADD_FAILURE() << "accepted";
        } catch (const ReadFailure& failure) {
            EXPECT_EQ(failure.kind(), FailureKind::Damaged);
            EXPECT_TRUE(failure.message().starts_with("XML error at line "));
            EXPECT_TRUE(
                failure.message().ends_with(": a tag, comment or declaration is longer than 16 MB"))
                << failure.message();
        }
    }
}

TEST(FastXmlScanner, AgreesWithExpatOnEveryPartOfTheCorpus) {
    size_t parts = 0;
    for (const auto& entry : fs::directory_iterator(PLYFOLD_CORPUS_DIR)) {
        std::string extension = entry.path().extension().string();
        if (extension != ".xlsx" && extension != ".xlsm") {
            continue;
        }
        std::unique_ptr<ZipPackage> package;
        try {
            package = ZipPackage::openFile(entry.path().string());
        } catch (const ReadFailure&) {
            continue;  // not a zip archive: the reader's own tests cover these
        }
        for (const std::string& name : package->partNames()) {
            if (!name.ends_with(".xml") && !name.ends_with(".rels")) {
                continue;
            }
            SCOPED_TRACE(entry.path().filename().string() + " " + name);
            std::string bytes;
            try {
                auto source = package->openPart(name, kMaxLargePartBytes);
                char buffer[65536];
                while (size_t n = source->read(buffer, sizeof buffer)) {
                    bytes.append(buffer, n);
                }
            } catch (const ReadFailure&) {
                continue;  // a damaged entry
            }
            std::optional<std::string> expected;
            try {
                expected = traceWithExpat(bytes);
            } catch (const ReadFailure&) {
            }
            if (expected) {
                EXPECT_EQ(traceFast(bytes, 8191), *expected);
                ++parts;
            } else {
                EXPECT_THROW(traceFast(bytes, 8191), ReadFailure);
            }
        }
    }
    EXPECT_GT(parts, 400u);
}

}  // namespace
}  // namespace plyfold::engine::xlsx_read
