#include "ui/scripted_export.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/dialog_seam.h"
#include "ui/tform1.h"

namespace spurfix::ui {

namespace {
// Answers the export's questions: the list file for the save dialog, "Abbrechen" for
// the last question; any error box ends the run.
class ScriptedAnswers : public Prompter {
  public:
    explicit ScriptedAnswers(QString listFile) : listFile_(std::move(listFile)) {}
    std::optional<QString> askSaveFileName(const SaveRequest&) override { return listFile_; }
    Answer message(BoxKind kind, const QString& text) override {
        if (kind != BoxKind::Confirmation) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            QCoreApplication::exit(1);
        }
        return Answer::Cancel;
    }

  private:
    QString listFile_;
};
}  // namespace

void StartScriptedExport(TForm1& form, const QString& listFile) {
    static ScriptedAnswers answers(listFile);
    SetPrompter(&answers);
    QTimer::singleShot(0, &form, [&form] {
        for (QPushButton* button :
             {form.ForwardToChooseDir, form.ForwardToInput, form.StartInput, form.ForwardToFiles,
              form.ForwardToDirs, form.ForwardToPreview, form.ForwardToOutput, form.SaveButton}) {
            button->click();
        }
    });
}

}  // namespace spurfix::ui
