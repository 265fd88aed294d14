#pragma once
// Dialog units: the window's controls are laid out in units of the dialog font, so
// that the proportions hold whatever font size the desktop uses. A horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of
// its height.

#include <QFont>
#include <QFontMetrics>

namespace velmora {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }

 private:
  int baseX_ = 6;
  int baseY_ = 13;
};

}  // namespace velmora
