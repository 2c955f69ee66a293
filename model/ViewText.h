#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

// The engine's UTF-8 texts as the views' Qt strings.
namespace ViewText {

[[nodiscard]] inline QString text(const std::string& value) {
    return QString::fromStdString(value);
}

[[nodiscard]] inline QStringList texts(const std::vector<std::string>& values) {
    QStringList list;
    for (const std::string& value : values) {
        list << text(value);
    }
    return list;
}

} // namespace ViewText
