#pragma once

#include <QFileDialog>
#include <functional>
#include <memory>

namespace spurfix::ui {

struct SaveRequest {
    QString fileName;
    QString defaultSuffix;
    QString filter;  // as Qt writes it: "Textdatei (*.txt)"
};

// Qt's save dialog, which would also take a name in a folder that does not exist: this
// one reports it and stays open instead.
class SaveFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    using ReportError = std::function<void(const QString& message)>;

    explicit SaveFileDialog(ReportError reportError);
    void accept() override;

  private:
    ReportError reportError_;
};

// The save dialog as the export shows it.
std::unique_ptr<SaveFileDialog> BuildSaveDialog(const SaveRequest& request,
                                                SaveFileDialog::ReportError reportError);

}  // namespace spurfix::ui
