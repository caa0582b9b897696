#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <vector>

#include "engine/line_list.h"

namespace spurfix::ui {

// The folders a reading entered, one line each: the source folder, then every folder
// line of the scan list in its order. The lines are shown from the scan list itself,
// so that a reading of a million files does not hold its folders twice.
class FolderTraceModel : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit FolderTraceModel(const ScanList& lines, QObject* parent = nullptr);

    // Empties the trace; the scan list stays as it is.
    void clear();
    // The first line, the source folder.
    void setSource(std::string_view folderPath);
    // A folder entered: the scan list's line `line`. Shown at the next flush().
    void addFolder(size_t line);
    // The folder added last could not be read: its line is marked, "nicht lesbar".
    void markLastUnreadable();
    // Shows the folders added since the last flush; true when there were any.
    bool flush();
    [[nodiscard]] bool hasSource() const { return hasSource_; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

  private:
    const ScanList& lines_;
    std::string source_;
    bool hasSource_ = false;
    std::vector<uint32_t> folders_;         // the scan list's folder lines, in order
    size_t shown_ = 0;                      // of them, how many the view knows
    std::vector<uint32_t> unreadableRows_;  // ascending
};

// `text` as it fits into `width` pixels: whole where it fits, else with an ellipsis in
// the middle that leaves the beginning's first third and as much of the end as fits, so
// that paths with the same long beginning still show their own folder's name.
QString ElideKeepingEnd(const QString& text, const QFontMetrics& metrics, int width);

// The trace as the reading page shows it: read-only lines as wide as the view, each
// from its start, a line wider than the view shortened in its middle (the whole line in
// its tooltip and on copy), a vertical scroll bar and no horizontal one, so that the
// lines' beginnings are in view in every frame of a reading. Selected lines are copied
// with the usual shortcut.
class FolderTraceView : public QListView {
    Q_OBJECT
  public:
    explicit FolderTraceView(QWidget* parent = nullptr);
    // All lines, whole.
    [[nodiscard]] QStringList lines() const;
    // After new lines: shows the last one.
    void followNewLines();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Every line is one grid cell as wide as the view: nothing is measured per line, and
    // a reading may add a hundred thousand.
    void fitGridToView();
};

}  // namespace spurfix::ui
