#pragma once

#include <QIcon>
#include <QString>

class QLabel;

// The artwork of the bundle's resources, by name ("illust_opening"): "<name>.png" and, for
// high-density screens, "<name>@2x.png", in the resources' "images" folder or beside them.
class ImageResource final {
 public:
  ImageResource() = delete;

  // A null icon when the bundle has no such image.
  static QIcon icon(const QString& name);
  // Shows the image scaled into the view's size; a missing image leaves the view empty.
  static void show(QLabel* view, const QString& name);
};
