#include "ui/preview_model.h"

#include "ui/byte_text.h"

namespace spurfix::ui {

void PreviewModel::setLines(PreviewList lines) {
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= lines_.size()) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    if (role == Qt::DisplayRole) {
        return DisplayText(lines_.text(row, scratch_));
    }
    if (role == Qt::UserRole) {
        return static_cast<int>(lines_.kind(row));
    }
    return {};
}

}  // namespace spurfix::ui
