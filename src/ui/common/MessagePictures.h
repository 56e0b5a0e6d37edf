#pragma once

#include <QPixmap>

namespace talvex {

// The message dialog's pictures, drawn for this tool at their logical size
// (sharp on high-density screens).

/// A warning triangle with an exclamation mark, 50 × 50.
QPixmap warningPicture(qreal devicePixelRatio = 1.0);
/// A round sign with a question mark, 50 × 50.
QPixmap questionPicture(qreal devicePixelRatio = 1.0);
/// The faint background: a smartcard with its contacts, 203 × 152, drawn
/// at the given opacity.
QPixmap backgroundPicture(qreal opacity, qreal devicePixelRatio = 1.0);

} // namespace talvex
