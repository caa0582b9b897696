#pragma once

class QWidget;

namespace spurfix::ui {

// Moves a window so that its frame, as it is laid out now, is centred on the screen.
void CentreOnScreen(QWidget& window);

}  // namespace spurfix::ui
