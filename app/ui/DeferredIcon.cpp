#include "app/ui/DeferredIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>

#include <utility>

namespace {

class DeferredIconEngine final : public QIconEngine {
 public:
  explicit DeferredIconEngine(std::function<QIcon()> load) : load_(std::move(load)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return loaded().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    return loaded().pixmap(size, scale, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return loaded().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return loaded().availableSizes(mode, state);
  }
  QIconEngine* clone() const override { return new DeferredIconEngine(*this); }

 private:
  const QIcon& loaded() {
    if (load_) {
      loaded_ = std::exchange(load_, nullptr)();
    }
    return loaded_;
  }

  std::function<QIcon()> load_;
  QIcon loaded_;
};

}  // namespace

QIcon deferredIcon(std::function<QIcon()> load) {
  return QIcon(new DeferredIconEngine(std::move(load)));
}

QIcon DeferredIconStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                      const QWidget* widget) const {
  if (icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton) {
    // In the application's layout direction: the option and widget do not outlive the call.
    return deferredIcon([style = QPointer<QStyle>(baseStyle()), icon] {
      QStyle* const base = style.data();
      return base != nullptr ? base->standardIcon(icon) : QIcon();
    });
  }
  return QProxyStyle::standardIcon(icon, option, widget);
}
