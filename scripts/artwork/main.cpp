// tarnwell-artwork-render: renders one SVG master into a PNG of the given size with a
// transparent background. The SVG module silently skips what it does not support (filters,
// clipping, masks, text without the right fonts), so a master may use only the elements listed
// below, and any complaint of the module fails the run: a master is never drawn half right.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextStream>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <optional>

namespace {

struct RenderRequest {
  QString input;
  QString output;
  int width = 0;
  int height = 0;
};

enum class RenderStatus { ok, unreadableSvg, unsupportedSvg, svgWarnings, writeFailed };

constexpr std::array kDrawableElements = {
    QLatin1StringView("svg"),           QLatin1StringView("g"),
    QLatin1StringView("defs"),          QLatin1StringView("title"),
    QLatin1StringView("desc"),          QLatin1StringView("rect"),
    QLatin1StringView("circle"),        QLatin1StringView("ellipse"),
    QLatin1StringView("line"),          QLatin1StringView("polyline"),
    QLatin1StringView("polygon"),       QLatin1StringView("path"),
    QLatin1StringView("stop"),          QLatin1StringView("linearGradient"),
    QLatin1StringView("radialGradient")};

constexpr std::array kIgnoredAttributes = {
    QLatin1StringView("filter"), QLatin1StringView("clip-path"), QLatin1StringView("mask")};

// True when every element of the file is one the renderer draws faithfully.
bool usesOnlyDrawableFeatures(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  QXmlStreamReader reader(&file);
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) {
      continue;
    }
    const auto isName = [&reader](QLatin1StringView name) { return reader.name() == name; };
    if (std::none_of(kDrawableElements.begin(), kDrawableElements.end(), isName)) {
      return false;
    }
    for (const QLatin1StringView attribute : kIgnoredAttributes) {
      if (reader.attributes().hasAttribute(attribute)) {
        return false;
      }
    }
  }
  return !reader.hasError();
}

// A message handler is a plain function, so what it counts lives here.
int svgWarningCount = 0;
QtMessageHandler previousHandler = nullptr;

void countSvgWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtDebugMsg && context.category != nullptr &&
      QString::fromLatin1(context.category).startsWith(QStringLiteral("qt.svg"))) {
    ++svgWarningCount;
  }
  if (previousHandler != nullptr) {
    previousHandler(type, context, message);
  }
}

std::optional<int> parseSize(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  // Larger than any icon size in use; keeps a typo from allocating gigabytes.
  constexpr int kMaxSize = 4096;
  if (!ok || value < 1 || value > kMaxSize) {
    return std::nullopt;
  }
  return value;
}

std::optional<RenderRequest> parseArguments(const QStringList& arguments) {
  if (arguments.size() != 4 && arguments.size() != 5) {
    return std::nullopt;
  }
  const std::optional<int> width = parseSize(arguments.at(3));
  const std::optional<int> height =
      parseSize(arguments.size() == 5 ? arguments.at(4) : arguments.at(3));
  if (!width || !height) {
    return std::nullopt;
  }
  return RenderRequest{arguments.at(1), arguments.at(2), *width, *height};
}

RenderStatus render(const RenderRequest& request) {
  if (!usesOnlyDrawableFeatures(request.input)) {
    return RenderStatus::unsupportedSvg;
  }
  QSvgRenderer svg(request.input);
  if (!svg.isValid()) {
    return RenderStatus::unreadableSvg;
  }
  QImage image(request.width, request.height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    svg.setAspectRatioMode(Qt::KeepAspectRatio);
    svg.render(&painter);
  }
  if (svgWarningCount > 0) {
    return RenderStatus::svgWarnings;
  }
  // Straight alpha is what PNG stores; converting here keeps Qt from doing it per save.
  const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
  return straight.save(request.output, "PNG") ? RenderStatus::ok : RenderStatus::writeFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The renderer needs the GUI module for painting, but no display.
  qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  const QGuiApplication application(argc, argv);
  previousHandler = qInstallMessageHandler(countSvgWarnings);

  QTextStream err(stderr);
  const std::optional<RenderRequest> request = parseArguments(QGuiApplication::arguments());
  if (!request) {
    err << "usage: tarnwell-artwork-render <input.svg> <output.png> <width> [<height>]\n";
    return 2;
  }
  switch (render(*request)) {
    case RenderStatus::ok:
      return 0;
    case RenderStatus::unreadableSvg:
      err << "tarnwell-artwork-render: cannot read " << request->input << '\n';
      return 1;
    case RenderStatus::unsupportedSvg:
      err << "tarnwell-artwork-render: " << request->input
          << " is not well-formed or uses elements the renderer would skip\n";
      return 1;
    case RenderStatus::svgWarnings:
      err << "tarnwell-artwork-render: " << request->input
          << " uses SVG features the renderer does not support\n";
      return 1;
    case RenderStatus::writeFailed:
      err << "tarnwell-artwork-render: cannot write " << request->output << '\n';
      return 1;
  }
  return 1;
}
