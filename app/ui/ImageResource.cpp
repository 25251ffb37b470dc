#include "app/ui/ImageResource.h"

#include "platform/Bundle.h"

#include <QLabel>

namespace {

QString imagePath(const QString& name) {
  const Bundle& bundle = Bundle::main();
  const QString path = bundle.resourcePath(QStringLiteral("images/") + name, QStringLiteral("png"));
  return path.isEmpty() ? bundle.resourcePath(name, QStringLiteral("png")) : path;
}

}  // namespace

QIcon ImageResource::icon(const QString& name) {
  QIcon result;
  const QString normal = imagePath(name);
  if (!normal.isEmpty()) {
    result.addFile(normal);
  }
  const QString dense = imagePath(name + QStringLiteral("@2x"));
  if (!dense.isEmpty()) {
    result.addFile(dense);
  }
  return result;
}

void ImageResource::show(QLabel* view, const QString& name) {
  if (view == nullptr) {
    return;
  }
  const QIcon image = icon(name);
  if (image.isNull()) {
    view->clear();
    return;
  }
  // The icon picks the file that suits the screen's pixel ratio.
  view->setPixmap(image.pixmap(view->size(), view->devicePixelRatioF()));
}
