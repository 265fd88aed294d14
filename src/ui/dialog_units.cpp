#include "ui/dialog_units.h"

#include <QString>

namespace velmora {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  // The average over the Latin letters, rounded to the nearest pixel, is what the
  // unit of the original layout was measured in.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  if (letters > 0) baseX_ = (letters / 26 + 1) / 2;
  if (metrics.height() > 0) baseY_ = metrics.height();
}

}  // namespace velmora
