#include "engine/io/xlsx/theme_writer.h"

#include <string>

#include "engine/io/xlsx/xml_stream_writer.h"

namespace plyfold::engine::xlsx {
namespace {

void colour(XmlStreamWriter& out, std::string_view slot, std::string_view rgb) {
    out.raw("<a:");
    out.raw(slot);
    out.raw("><a:srgbClr val=\"");
    out.raw(rgb);
    out.raw("\"/></a:");
    out.raw(slot);
    out.raw(">");
}

void fonts(XmlStreamWriter& out, std::string_view slot, std::string_view latin) {
    out.raw("<a:");
    out.raw(slot);
    out.raw("><a:latin typeface=\"");
    out.raw(latin);
    out.raw("\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:");
    out.raw(slot);
    out.raw(">");
}

// The format scheme wants three of each style; plain ones in the placeholder colour do.
void threeTimes(XmlStreamWriter& out, std::string_view item) {
    for (int i = 0; i < 3; ++i) {
        out.raw(item);
    }
}

}  // namespace

void writeTheme(ZipWriter& zip) {
    XmlStreamWriter out(zip, "xl/theme/theme1.xml");
    out.raw(
        "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "name=\"Office Theme\"><a:themeElements><a:clrScheme name=\"Office\">"
        "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
        "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>");
    colour(out, "dk2", "1F497D");
    colour(out, "lt2", "EEECE1");
    colour(out, "accent1", "4F81BD");
    colour(out, "accent2", "C0504D");
    colour(out, "accent3", "9BBB59");
    colour(out, "accent4", "8064A2");
    colour(out, "accent5", "4BACC6");
    colour(out, "accent6", "F79646");
    colour(out, "hlink", "0000FF");
    colour(out, "folHlink", "800080");
    out.raw("</a:clrScheme><a:fontScheme name=\"Office\">");
    fonts(out, "majorFont", kThemeMajorFont);
    fonts(out, "minorFont", kThemeMinorFont);
    out.raw("</a:fontScheme><a:fmtScheme name=\"Office\"><a:fillStyleLst>");
    threeTimes(out, "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>");
    out.raw("</a:fillStyleLst><a:lnStyleLst>");
    for (std::string_view width : {"9525", "25400", "38100"}) {
        out.raw("<a:ln w=\"");
        out.raw(width);
        out.raw("\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln>");
    }
    out.raw("</a:lnStyleLst><a:effectStyleLst>");
    threeTimes(out, "<a:effectStyle><a:effectLst/></a:effectStyle>");
    out.raw("</a:effectStyleLst><a:bgFillStyleLst>");
    threeTimes(out, "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>");
    out.raw(
        "</a:bgFillStyleLst></a:fmtScheme></a:themeElements><a:objectDefaults/>"
        "<a:extraClrSchemeLst/></a:theme>");
    out.finish();
}

}  // namespace plyfold::engine::xlsx
