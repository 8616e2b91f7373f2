#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace plyfold::gui {

// The core keeps texts as UTF-8 bytes; Qt as QString.
inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace plyfold::gui
