#pragma once

#include <string_view>

#include "engine/io/xlsx/byte_source.h"
#include "engine/io/xlsx/xml_handler.h"

namespace plyfold::engine::xlsx_read {

// Both parsers refuse document type declarations (so no entity is ever expanded or loaded)
// and report malformed XML as ReadFailure(Damaged, "XML error at line N: ...").

// Parses the document with expat. firstBytes, when given, are the document's first bytes,
// already taken from source.
void parseXmlWithExpat(ByteSource& source, XmlHandler& handler, std::string_view firstBytes = {});

// Parses the document with a scanner made for the large parts of a package (sheets, shared
// strings), several times faster than expat. Documents not in UTF-8 go to expat.
void parseXmlFast(ByteSource& source, XmlHandler& handler);

}  // namespace plyfold::engine::xlsx_read
