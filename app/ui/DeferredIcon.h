#pragma once

#include <QIcon>
#include <QProxyStyle>

#include <functional>

// Icons decoded when first drawn or measured rather than when made. The wizard's start-up
// made two it does not draw: the menu bar's extension button (shown only when the menus do
// not fit) and the window icon (read by X11 when the window is made, never on Wayland,
// which finds the icon through tarnwell.desktop).

// An icon whose pixmaps come from load(), called once, on first use.
QIcon deferredIcon(std::function<QIcon()> load);

// The style Qt chose, with its tool bar extension icons deferred. Every menu bar asks for
// one when it is made, and loading an icon by file name has Qt load each image plug-in to
// ask whether it knows the file.
class DeferredIconStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                     const QWidget* widget) const override;
};
