// The one place where byte text meets QString (the GUI edge).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace ocelis {

inline QString ToQ(std::string_view s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string FromQ(const QString& s) {
    const QByteArray b = s.toLocal8Bit();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

} // namespace ocelis
