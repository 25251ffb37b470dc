#include "platform/BoundedRead.h"

#include <QFile>

std::optional<QByteArray> readFileAtMost(const QString& path, qint64 maxSize) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize) {
    return std::nullopt;
  }
  constexpr qint64 kPiece = qint64{64} * 1024;
  QByteArray data;
  data.reserve(file.size());
  while (true) {
    const QByteArray piece = file.read(kPiece);
    if (file.error() != QFileDevice::NoError) {
      return std::nullopt;
    }
    if (piece.isEmpty()) {
      return data;
    }
    if (data.size() + piece.size() > maxSize) {
      return std::nullopt;
    }
    data += piece;
  }
}
