#include <expat.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/io/xlsx/read_failure.h"
#include "engine/io/xlsx/xml_parser.h"

namespace plyfold::engine::xlsx_read {
namespace {

constexpr size_t kChunkSize = size_t{64} * 1024;

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

    auto feed = [&](const char* bytes, size_t length, bool last) {
        if (XML_Parse(parser, bytes, static_cast<int>(length), last ? XML_TRUE : XML_FALSE) ==
            XML_STATUS_OK) {
            return;
        }
        if (context.error) {
            std::rethrow_exception(context.error);
        }
        if (!context.refusal.empty()) {
            failAt(parser, context.refusal);
        }
        failAt(parser, XML_ErrorString(XML_GetErrorCode(parser)));
    };

    while (!firstBytes.empty()) {
        size_t n = std::min(firstBytes.size(), kChunkSize);
        feed(firstBytes.data(), n, false);
        firstBytes.remove_prefix(n);
    }
    std::unique_ptr<char[]> buffer(new char[kChunkSize]);
    for (;;) {
        size_t n = source.read(buffer.get(), kChunkSize);
        feed(buffer.get(), n, n == 0);
        if (n == 0) {
            break;
        }
    }
}

}  // namespace plyfold::engine::xlsx_read
