#pragma once

#include <QFileDialog>

namespace spurfix::ui {

// Qt's save dialog, which would also take a name in a folder that does not exist: this
// one says so and stays open instead.
class SaveFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    using QFileDialog::QFileDialog;
    void accept() override;
};

}  // namespace spurfix::ui
