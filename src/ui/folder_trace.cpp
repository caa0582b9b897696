#include "ui/folder_trace.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QKeyEvent>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>

#include "ui/byte_text.h"

namespace spurfix::ui {

FolderTraceModel::FolderTraceModel(const ScanList& lines, QObject* parent)
    : QAbstractListModel(parent), lines_(lines) {}

void FolderTraceModel::clear() {
    beginResetModel();
    source_.clear();
    hasSource_ = false;
    folders_.clear();
    folders_.shrink_to_fit();
    unreadableRows_.clear();
    shown_ = 0;
    endResetModel();
}

void FolderTraceModel::setSource(std::string_view folderPath) {
    beginResetModel();
    source_ = folderPath;
    hasSource_ = true;
    folders_.clear();
    unreadableRows_.clear();
    shown_ = 0;
    endResetModel();
}

void FolderTraceModel::addFolder(size_t line) {
    folders_.push_back(static_cast<uint32_t>(line));
}

void FolderTraceModel::markLastUnreadable() {
    unreadableRows_.push_back(static_cast<uint32_t>(folders_.size()));
}

bool FolderTraceModel::flush() {
    const int shownRows = hasSource_ ? 1 + static_cast<int>(shown_) : 0;
    if (!hasSource_ || shown_ == folders_.size()) {
        return false;
    }
    beginInsertRows({}, shownRows, shownRows + static_cast<int>(folders_.size() - shown_) - 1);
    shown_ = folders_.size();
    endInsertRows();
    return true;
}

int FolderTraceModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !hasSource_) {
        return 0;
    }
    return 1 + static_cast<int>(shown_);
}

QVariant FolderTraceModel::data(const QModelIndex& index, int role) const {
    if ((role == Qt::ToolTipRole || role == Qt::ForegroundRole) && index.isValid() &&
        std::binary_search(unreadableRows_.begin(), unreadableRows_.end(),
                           static_cast<uint32_t>(index.row()))) {
        if (role == Qt::ToolTipRole) {
            return QStringLiteral("nicht lesbar");
        }
        // Red that keeps its contrast on a light and on a dark base.
        const bool darkBase = QApplication::palette().color(QPalette::Base).lightness() < 128;
        return QColor(darkBase ? QColor(0xFF, 0x8A, 0x80) : QColor(0xB0, 0x00, 0x20));
    }
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (index.row() == 0) {
        return DisplayText(source_);
    }
    const uint32_t line = folders_[static_cast<size_t>(index.row() - 1)];
    return line < lines_.size() ? DisplayText(lines_[line]) : QVariant();
}

FolderTraceView::FolderTraceView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void FolderTraceView::followNewLines() {
    const int rows = model()->rowCount();
    if (rows < measuredRows_) {
        measuredRows_ = 0;
        widestCharacters_ = 0;
        widestPixels_ = 0;
    }
    int widest = widestPixels_;
    for (int row = measuredRows_; row < rows; ++row) {
        // Only a line longer than all before it is measured, with room for a line of as
        // many characters that are wider: measuring every line would cost more than
        // reading the folders.
        const QString text = model()->index(row, 0).data().toString();
        if (text.size() > widestCharacters_) {
            widestCharacters_ = static_cast<int>(text.size());
            widest = std::max(widest, fontMetrics().horizontalAdvance(text) * 6 / 5);
        }
    }
    measuredRows_ = rows;
    if (widest > widestPixels_ || !gridSize().isValid()) {
        widestPixels_ = widest;
        // A grid as wide as the widest line lets the horizontal scroll bar reach it.
        setGridSize(QSize(widestPixels_ + 8, fontMetrics().height() + 2));
    }
    scrollToBottom();
    horizontalScrollBar()->setValue(0);
}

QStringList FolderTraceView::lines() const {
    QStringList all;
    for (int row = 0; model() != nullptr && row < model()->rowCount(); ++row) {
        all << model()->index(row, 0).data().toString();
    }
    return all;
}

void FolderTraceView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QModelIndexList selected = selectionModel()->selectedRows();
        std::sort(selected.begin(), selected.end());
        QStringList texts;
        for (const QModelIndex& index : selected) {
            texts << index.data().toString();
        }
        QApplication::clipboard()->setText(texts.join(QLatin1Char('\n')));
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

}  // namespace spurfix::ui
