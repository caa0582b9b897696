#pragma once

#include <QAbstractListModel>

#include "engine/preview_list.h"

namespace spurfix::ui {

// The preview lines for a list view: the text for display (bytes that are not UTF-8
// shown as replacement characters), the kind of line under Qt::UserRole.
class PreviewModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    void setLines(PreviewList lines);
    [[nodiscard]] const PreviewList& lines() const { return lines_; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

  private:
    PreviewList lines_;
    mutable std::string scratch_;
};

}  // namespace spurfix::ui
