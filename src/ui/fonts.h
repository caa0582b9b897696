#pragma once

#include <QFont>

namespace spurfix::ui {

// The windows were drawn for Windows fonts; these ask for the same families (with
// fonts-liberation, metric-compatible stand-ins) at the same pixel heights.
QFont WindowFont();                                  // "MS Sans Serif", 11 pixels
QFont SansFont(int pixelHeight, bool bold = false);  // "MS Sans Serif" at another height
QFont ArialFont(int pixelHeight, bool bold, bool italic);
QFont CourierFont(int pixelHeight);

}  // namespace spurfix::ui
