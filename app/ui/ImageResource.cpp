#include "app/ui/ImageResource.h"

#include "platform/Bundle.h"

#include <QImageReader>
#include <QLabel>
#include <QPixmap>

namespace {

QString imagePath(const QString& name) {
  const Bundle& bundle = Bundle::main();
  const QString path = bundle.resourcePath(QStringLiteral("images/") + name, QStringLiteral("png"));
  return path.isEmpty() ? bundle.resourcePath(name, QStringLiteral("png")) : path;
}

// The artwork is PNG, which Qt decodes itself. Told so, and told not to guess, the reader
// leaves alone the image plug-ins, which it would otherwise each load to ask whether they
// know the file: a tenth of the wizard's start-up.
QPixmap pixmap(const QString& path) {
  if (path.isEmpty()) {
    return {};
  }
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  return QPixmap::fromImage(reader.read());
}

}  // namespace

QIcon ImageResource::icon(const QString& name) {
  QIcon result;
  for (const QString& file : {name, name + QStringLiteral("@2x")}) {
    const QPixmap image = pixmap(imagePath(file));
    if (!image.isNull()) {
      result.addPixmap(image);
    }
  }
  return result;
}

void ImageResource::show(QLabel* view, const QString& name) {
  if (view == nullptr) {
    return;
  }
  // The dense picture on a dense screen, where there is one.
  QPixmap image;
  if (view->devicePixelRatioF() > 1.0) {
    image = pixmap(imagePath(name + QStringLiteral("@2x")));
  }
  if (image.isNull()) {
    image = pixmap(imagePath(name));
  }
  if (image.isNull()) {
    view->clear();
    return;
  }
  // Scaled down into the view, never up, as an icon would.
  const qreal ratio = view->devicePixelRatioF();
  const QSize room = view->size() * ratio;
  if (image.width() > room.width() || image.height() > room.height()) {
    image = image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  image.setDevicePixelRatio(ratio);
  view->setPixmap(image);
}
