#include "ui/folder_trace.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
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

QString ElideKeepingEnd(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    const QString ellipsis(QChar(0x2026));
    const int room = std::max(0, width - metrics.horizontalAdvance(ellipsis));
    // The beginning takes a third at most, the end all that is left: both are found by
    // bisection on whole characters, the end's length last, so it takes any slack.
    const auto longestFitting = [&](qsizetype most, const auto& part, int pixels) {
        qsizetype low = 0;
        qsizetype high = most;
        while (low < high) {
            const qsizetype middle = (low + high + 1) / 2;
            if (metrics.horizontalAdvance(part(middle)) <= pixels) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        return low;
    };
    const qsizetype headLength = longestFitting(
        text.size(), [&](qsizetype n) { return text.left(n); }, room / 3);
    const QString head = text.left(headLength);
    const int left = room - metrics.horizontalAdvance(head);
    const qsizetype tailLength = longestFitting(
        text.size() - headLength, [&](qsizetype n) { return text.right(n); }, left);
    return head + ellipsis + text.right(tailLength);
}

namespace {

// Draws each line shortened to its cell; the tooltip of a shortened line is the whole
// line, before what the model says about it.
class TraceLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QStyle* style =
            option->widget != nullptr ? option->widget->style() : QApplication::style();
        const int margin =
            style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
        option->text =
            ElideKeepingEnd(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
    }

  public:
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid()) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        QStyleOptionViewItem shown = option;
        initStyleOption(&shown, index);
        const QString whole = index.data(Qt::DisplayRole).toString();
        QStringList tip;
        if (shown.text != whole) {
            tip << whole;
        }
        if (const QString said = index.data(Qt::ToolTipRole).toString(); !said.isEmpty()) {
            tip << said;
        }
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(event->globalPos(), tip.join(QLatin1Char('\n')), view,
                               view->visualRect(index));
        }
        return true;
    }
};

}  // namespace

FolderTraceView::FolderTraceView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    // Laid out in one pass: in batches, the newest lines at the bottom would wait for the
    // batches before them, and the frames between would show an empty trace. With lines
    // of one size the pass costs little.
    setLayoutMode(QListView::SinglePass);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(false);
    setItemDelegate(new TraceLineDelegate(this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fitGridToView();
}

void FolderTraceView::fitGridToView() {
    setGridSize(QSize(viewport()->width(), fontMetrics().height() + 2));
}

void FolderTraceView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    fitGridToView();
}

void FolderTraceView::followNewLines() {
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
