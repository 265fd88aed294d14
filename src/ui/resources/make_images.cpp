// Draws the pictures of the window: the four states of the "Donate!" button
// (84 x 20 pixels each) and the program icon in the sizes the desktop asks for.
// Usage: velmora_ui_images OUTPUT_FOLDER. The PNG files are committed; this program
// is run by hand only when the pictures change.

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

enum class ButtonState { kNormal, kPressed, kFocused, kDisabled };

QImage DrawDonate(ButtonState state) {
  QImage image(84, 20, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  QColor top("#ffcf5a");
  QColor bottom("#f08a24");
  QColor text("#ffffff");
  QColor border("#b85f12");
  if (state == ButtonState::kPressed) {
    top = QColor("#e07a1a");
    bottom = QColor("#f5b043");
    border = QColor("#8f4a0d");
  } else if (state == ButtonState::kDisabled) {
    top = QColor("#e4e4e4");
    bottom = QColor("#c8c8c8");
    text = QColor("#8c8c8c");
    border = QColor("#a0a0a0");
  }
  QRectF body(0.5, 0.5, 83, 19);
  QLinearGradient fill(0, 0, 0, 20);
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.setPen(QPen(border, 1));
  p.setBrush(fill);
  p.drawRoundedRect(body, 5, 5);

  if (state == ButtonState::kFocused) {
    // A second ring inside the border shows the keyboard focus without a dotted frame.
    p.setPen(QPen(QColor("#1d5fbf"), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2, 2, 80, 16), 4, 4);
  }

  // A small heart before the word.
  const double shift = state == ButtonState::kPressed ? 1 : 0;
  QPainterPath heart;
  const double hx = 10 + shift, hy = 6 + shift;
  heart.moveTo(hx + 4, hy + 9);
  heart.cubicTo(hx - 3, hy + 4, hx + 0.5, hy - 2, hx + 4, hy + 2);
  heart.cubicTo(hx + 7.5, hy - 2, hx + 11, hy + 4, hx + 4, hy + 9);
  p.setPen(Qt::NoPen);
  p.setBrush(state == ButtonState::kDisabled ? QColor("#a8a8a8") : QColor("#d7263d"));
  p.drawPath(heart);

  QFont font("NanumGothic");
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  QRectF textBox(24 + shift, shift, 56, 20);
  if (state != ButtonState::kDisabled) {
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(textBox.translated(0.8, 0.8), Qt::AlignVCenter | Qt::AlignLeft, "Donate!");
  }
  p.setPen(text);
  p.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft, "Donate!");
  return image;
}

// The icon: a page with a folded corner holding a picture, and two arrows pressing
// it together, drawn on a 256-unit square and scaled to the requested size.
QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  QPainterPath page;
  page.moveTo(56, 20);
  page.lineTo(168, 20);
  page.lineTo(212, 64);
  page.lineTo(212, 236);
  page.lineTo(56, 236);
  page.closeSubpath();
  p.setPen(QPen(QColor("#2b4c7e"), 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor("#ffffff"));
  p.drawPath(page);
  QPainterPath fold;
  fold.moveTo(168, 20);
  fold.lineTo(168, 64);
  fold.lineTo(212, 64);
  p.setBrush(QColor("#c9d8ef"));
  p.drawPath(fold);

  // The picture inside the page: sky, sun and a hill.
  QRectF frame(80, 92, 108, 80);
  p.setPen(Qt::NoPen);
  QLinearGradient sky(0, 92, 0, 172);
  sky.setColorAt(0, QColor("#7cc4f2"));
  sky.setColorAt(1, QColor("#d9f0ff"));
  p.setBrush(sky);
  p.drawRect(frame);
  p.setBrush(QColor("#ffb627"));
  p.drawEllipse(QPointF(160, 114), 12, 12);
  QPainterPath hill;
  hill.moveTo(80, 172);
  hill.lineTo(112, 128);
  hill.lineTo(136, 152);
  hill.lineTo(150, 138);
  hill.lineTo(188, 172);
  hill.closeSubpath();
  p.setBrush(QColor("#3a9d5d"));
  p.drawPath(hill);

  // Two arrows pointing at each other: the picture is made smaller.
  p.setBrush(QColor("#e4572e"));
  auto arrow = [&](double x, bool pointsRight) {
    const double d = pointsRight ? 1 : -1;
    QPainterPath a;
    a.moveTo(x, 190);
    a.lineTo(x + d * 28, 190);
    a.lineTo(x + d * 28, 178);
    a.lineTo(x + d * 50, 202);
    a.lineTo(x + d * 28, 226);
    a.lineTo(x + d * 28, 214);
    a.lineTo(x, 214);
    a.closeSubpath();
    p.drawPath(a);
  };
  arrow(12, true);
  arrow(244, false);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmora_ui_images OUTPUT_FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
  bool ok = Save(DrawDonate(ButtonState::kNormal), folder + "donate_normal.png") &&
            Save(DrawDonate(ButtonState::kPressed), folder + "donate_pressed.png") &&
            Save(DrawDonate(ButtonState::kFocused), folder + "donate_focused.png") &&
            Save(DrawDonate(ButtonState::kDisabled), folder + "donate_disabled.png");
  for (int size : {16, 32, 48, 256}) {
    ok = ok && Save(DrawIcon(size), folder + QString("icon_%1.png").arg(size));
  }
  return ok ? 0 : 1;
}
