#include <expat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xml_parser.h"

namespace plyfold::engine::xlsx_read {
namespace {

constexpr size_t kChunkSize = size_t{64} * 1024;
// As long as the fast scanner lets a tag be: nothing a real part holds comes near it.
constexpr uint64_t kMaxToken = uint64_t{16} * 1024 * 1024;

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// Expat is C: exceptions must not cross it, so a handler's exception is kept here, the
// parser stopped, and the exception thrown again once XML_Parse has returned.
struct ExpatContext {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    std::exception_ptr error;
    std::string refusal;  // why the document was refused, when it was
    std::vector<XmlAttribute> attributes;

    bool stopped() const { return error || !refusal.empty(); }
    void stop(std::exception_ptr e) {
        if (!error) {
            error = std::move(e);
        }
        XML_StopParser(parser, XML_FALSE);
    }
    void refuse(std::string why) {
        if (refusal.empty() && !error) {
            refusal = std::move(why);
        }
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* context = static_cast<ExpatContext*>(data);
    if (context->stopped()) {
        return;  // expat may still deliver an event or two after being stopped
    }
    try {
        context->attributes.clear();
        for (const XML_Char** a = attributes; *a; a += 2) {
            context->attributes.push_back({attributeLocalName(a[0]), a[1]});
        }
        context->handler->startElement(localName(name), context->attributes);
    } catch (...) {
        context->stop(std::current_exception());
    }
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto* context = static_cast<ExpatContext*>(data);
    if (context->stopped()) {
        return;  // expat may still deliver an event or two after being stopped
    }
    try {
        context->handler->endElement(localName(name));
    } catch (...) {
        context->stop(std::current_exception());
    }
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto* context = static_cast<ExpatContext*>(data);
    if (context->stopped()) {
        return;  // expat may still deliver an event or two after being stopped
    }
    try {
        context->handler->characters(std::string_view(text, static_cast<size_t>(length)));
    } catch (...) {
        context->stop(std::current_exception());
    }
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<ExpatContext*>(data)->refuse("document type declarations are not allowed");
}

void XMLCALL onEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
    static_cast<ExpatContext*>(data)->refuse("entity declarations are not allowed");
}

[[noreturn]] void failAt(XML_Parser parser, const std::string& message) {
    fail(FailureKind::Damaged,
         "XML error at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + message);
}

// Throws what stopped the parser: a handler's exception, a refusal, or expat's own error.
[[noreturn]] void failParse(XML_Parser parser, const ExpatContext& context) {
    if (context.error) {
        std::rethrow_exception(context.error);
    }
    if (!context.refusal.empty()) {
        failAt(parser, context.refusal);
    }
    if (XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY) {
        throw std::bad_alloc();
    }
    failAt(parser, XML_ErrorString(XML_GetErrorCode(parser)));
}

}  // namespace

void parseXmlWithExpat(ByteSource& source, XmlHandler& handler, std::string_view firstBytes) {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> owner(XML_ParserCreate(nullptr));
    if (!owner) {
        throw std::bad_alloc();
    }
    XML_Parser parser = owner.get();
    ExpatContext context;
    context.parser = parser;
    context.handler = &handler;
    XML_SetUserData(parser, &context);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    XML_SetEntityDeclHandler(parser, onEntityDeclaration);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

    // Expat parses a token it has not seen the end of again from its start each time more
    // bytes come, so a long token fed in small pieces costs time quadratic in its length.
    // Each piece is therefore at least as long as the unfinished token before it, which
    // parses every byte a bounded number of times. A token longer than kMaxToken is refused.
    uint64_t fed = 0;
    for (bool last = false; !last;) {
        const XML_Index parsed = XML_GetCurrentByteIndex(parser);
        const uint64_t unfinished = parsed >= 0 && static_cast<uint64_t>(parsed) <= fed
                                        ? fed - static_cast<uint64_t>(parsed)
                                        : 0;
        if (unfinished >= kMaxToken) {
            failAt(parser, "a tag, comment or declaration is longer than 16 MB");
        }
        // Never so much that a token could pass the limit unseen within one piece.
        const auto wanted = static_cast<size_t>(
            std::min(std::max<uint64_t>(kChunkSize, unfinished), kMaxToken - unfinished));
        auto* buffer = static_cast<char*>(XML_GetBuffer(parser, static_cast<int>(wanted)));
        if (!buffer) {
            failParse(parser, context);
        }
        size_t filled = 0;
        while (filled < wanted) {
            size_t n = 0;
            if (!firstBytes.empty()) {
                n = std::min(firstBytes.size(), wanted - filled);
                std::memcpy(buffer + filled, firstBytes.data(), n);
                firstBytes.remove_prefix(n);
            } else {
                n = source.read(buffer + filled, wanted - filled);
                if (n == 0) {
                    last = true;
                    break;
                }
            }
            filled += n;
        }
        if (XML_ParseBuffer(parser, static_cast<int>(filled), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            failParse(parser, context);
        }
        fed += filled;
    }
}

}  // namespace plyfold::engine::xlsx_read
