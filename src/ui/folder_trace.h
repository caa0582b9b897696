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

// The trace as the reading page shows it: read-only lines, no wrapping, a vertical
// scroll bar. Selected lines are copied with the usual shortcut.
class FolderTraceView : public QListView {
    Q_OBJECT
  public:
    explicit FolderTraceView(QWidget* parent = nullptr);
    // All lines, as shown.
    [[nodiscard]] QStringList lines() const;
    // After new lines: the view is as wide as its widest line, and shows the last one
    // from the start of its line.
    void followNewLines();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Every line has the height of the first, and the view measures only lines that
    // could be wider than the widest so far: a reading may add a hundred thousand.
    int measuredRows_ = 0;
    int widestCharacters_ = 0;
    int widestPixels_ = 0;
};

}  // namespace spurfix::ui
