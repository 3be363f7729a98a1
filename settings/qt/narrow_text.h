// Text in the system's narrow code page <-> the window's text.
#pragma once
#include <QString>
#include <string>

namespace zubeto {

inline QString from_narrow(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string to_narrow(const QString& text) { return text.toLocal8Bit().toStdString(); }

}  // namespace zubeto
