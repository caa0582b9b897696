#include "ui/fonts.h"

#include <QStringList>

namespace spurfix::ui {

namespace {
QFont Font(const QString& family, const QString& fallback, int pixelHeight, bool bold,
           bool italic) {
    QFont font(family);
    font.setFamilies(QStringList{family, fallback});
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
}  // namespace

QFont SansFont(int pixelHeight, bool bold) {
    // "MS Sans Serif" has no stand-in of its own: a sans-serif face of similar width.
    return Font(QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif"), pixelHeight, bold,
                false);
}

QFont WindowFont() {
    return SansFont(11);
}

QFont ArialFont(int pixelHeight, bool bold, bool italic) {
    return Font(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), pixelHeight, bold,
                italic);
}

QFont CourierFont(int pixelHeight) {
    return Font(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), pixelHeight,
                false, false);
}

}  // namespace spurfix::ui
