#include "ui/cd_insert.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "ui/byte_text.h"
#include "ui/fonts.h"

namespace spurfix::ui {

namespace {

// Millimetres on A4, where the squares stand.
constexpr double kPageWidth = 210;
constexpr double kSquare = 120;
constexpr double kSquareLeft = (kPageWidth - kSquare) / 2;
constexpr double kSquareTops[] = {18, 18 + kSquare + 21};
constexpr double kPadding = 6;
constexpr double kInner = kSquare - 2 * kPadding;
constexpr double kColumnGap = 4;
constexpr double kFooter = 4.5;
constexpr double kMillimetresPerPoint = 25.4 / 72;
constexpr double kLineSpacing = 1.22;
constexpr double kSmallestPoints = 6;
constexpr double kLargestPoints = 14;
constexpr double kReferencePoints = 10;
constexpr double kNumberGap = 1.6;

struct Item {
    bool label;
    QString number;  // a file line's number, empty where it has none
    QString title;
};

std::vector<Item> ItemsOf(const PreviewList& preview) {
    std::vector<Item> items;
    items.reserve(preview.size());
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        const QString text = DisplayText(preview.text(i, scratch));
        Item item{preview.kind(i) == EntryKind::DirectoryLabel, {}, text};
        // "001 - Title": the number stands in a column of its own.
        const qsizetype dash = text.indexOf(QStringLiteral(" - "));
        if (!item.label && dash > 0) {
            bool digits = true;
            for (qsizetype c = 0; c < dash && digits; ++c) {
                digits = text[c].isDigit();
            }
            if (digits) {
                // The number keeps its dash, so that the text reads as the list does.
                item.number = text.left(dash + 2);
                item.title = text.mid(dash + 3);
            }
        }
        items.push_back(std::move(item));
    }
    return items;
}

QFont ListFont(double points, bool bold) {
    QFont font = SansFont(10, bold);
    font.setPointSizeF(points);
    font.setKerning(false);  // widths add up as they are measured
    return font;
}

// Widths of characters in millimetres at the reference size; the PDF draws outlines
// without hinting, so they scale with the size.
class Widths {
  public:
    explicit Widths(QPaintDevice* device) : device_(device) {}
    double of(QChar c, bool bold) {
        QHash<QChar, double>& cache = bold ? bold_ : regular_;
        const auto found = cache.constFind(c);
        if (found != cache.constEnd()) {
            return *found;
        }
        const QFontMetricsF metrics(ListFont(kReferencePoints, bold), device_);
        const double width =
            metrics.horizontalAdvance(c) * 25.4 / device_->logicalDpiX() / kReferencePoints;
        cache.insert(c, width);
        return width;
    }
    double of(const QString& text, bool bold) {
        double width = 0;
        for (const QChar c : text) {
            width += of(c, bold);
        }
        return width;
    }

  private:
    QPaintDevice* device_;
    QHash<QChar, double> regular_;
    QHash<QChar, double> bold_;
};

// Where a text breaks into rows of at most `width` millimetres at `points`: the start
// of every row after the first. Breaks after a space where one is near, else anywhere.
std::vector<qsizetype> Breaks(const QString& text, double points, double width, bool bold,
                              Widths& widths) {
    std::vector<qsizetype> breaks;
    double used = 0;
    qsizetype lastSpace = -1;
    qsizetype rowStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const double w = widths.of(text[i], bold) * points;
        if (used + w > width && i > rowStart) {
            const qsizetype at = lastSpace > rowStart + (i - rowStart) / 2 ? lastSpace + 1 : i;
            breaks.push_back(at);
            rowStart = at;
            used = 0;
            for (qsizetype k = at; k < i; ++k) {
                used += widths.of(text[k], bold) * points;
            }
            lastSpace = -1;
        }
        if (text[i] == QLatin1Char(' ')) {
            lastSpace = i;
        }
        used += w;
    }
    return breaks;
}

struct Config {
    double points;
    int columns;
};

// One row of the list at its place: square, column, row; the part of the item's text.
struct Placed {
    int square;
    int column;
    int row;
    const Item* item;
    bool first;  // the item's first row, which shows its number
    qsizetype from;
    qsizetype to;
};

double LineHeight(double points) {
    return points * kLineSpacing * kMillimetresPerPoint;
}

double HeadingHeight(double points) {
    return LineHeight(points + 4) + 2.5;
}

double NumberColumn(const std::vector<Item>& items, double points, Widths& widths) {
    double widest = 0;
    for (const Item& item : items) {
        if (!item.number.isEmpty()) {
            widest = std::max(widest, widths.of(item.number, false) * points);
        }
    }
    return widest > 0 ? widest + kNumberGap : 0;
}

// Lays the items out with `config`, calling `place` for every row; the number of
// squares, or 0 where an item does not fit a column at all.
int Place(const std::vector<Item>& items, const Config& config, Widths& widths,
          const std::function<void(const Placed&)>& place) {
    const double line = LineHeight(config.points);
    const double columnWidth = (kInner - (config.columns - 1) * kColumnGap) / config.columns;
    const double numberColumn = NumberColumn(items, config.points, widths);
    auto rowsIn = [&](int square) {
        const double height = kInner - kFooter - (square == 0 ? HeadingHeight(config.points) : 0);
        return static_cast<int>(std::floor(height / line));
    };
    int square = 0;
    int column = 0;
    int row = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const double indent = item.label ? 0 : numberColumn;
        const std::vector<qsizetype> breaks =
            Breaks(item.title, config.points, columnWidth - indent, item.label, widths);
        const int rows = static_cast<int>(breaks.size()) + 1;
        // A label stays with the line it heads.
        const int keep = rows + (item.label && i + 1 < items.size() ? 1 : 0);
        if (rows > rowsIn(1) || columnWidth - indent <= 0) {
            return 0;
        }
        if (row > 0 && row + keep > rowsIn(square)) {
            row = 0;
            if (++column == config.columns) {
                column = 0;
                ++square;
            }
        }
        if (row + rows > rowsIn(square)) {
            return 0;  // the first square's heading leaves no room for it
        }
        for (int r = 0; r < rows; ++r) {
            const qsizetype from = r == 0 ? 0 : breaks[static_cast<size_t>(r - 1)];
            const qsizetype to = r + 1 < rows ? breaks[static_cast<size_t>(r)] : item.title.size();
            if (place) {
                place({square, column, row + r, &item, r == 0, from, to});
            }
        }
        row += rows;
    }
    return square + 1;
}

// The largest size that needs no more squares than the smallest does, and the number of
// columns it takes.
Config Choose(const std::vector<Item>& items, Widths& widths) {
    auto squares = [&](const Config& config) {
        const int needed = Place(items, config, widths, nullptr);
        return needed == 0 ? INT32_MAX : needed;
    };
    int fewest = INT32_MAX;
    for (int columns = 1; columns <= 3; ++columns) {
        fewest = std::min(fewest, squares({kSmallestPoints, columns}));
    }
    Config best{0, 1};
    for (int columns = 1; columns <= 3; ++columns) {
        // Fewer squares at a smaller size: the first size that reaches the fewest.
        int low = 0;  // in half points above the smallest
        int high = static_cast<int>((kLargestPoints - kSmallestPoints) * 2);
        if (squares({kSmallestPoints, columns}) > fewest) {
            continue;
        }
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (squares({kSmallestPoints + middle / 2.0, columns}) <= fewest) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        const double points = kSmallestPoints + low / 2.0;
        if (points > best.points) {
            best = {points, columns};
        }
    }
    return best.points > 0 ? best : Config{kSmallestPoints, 3};
}

void DrawCutMarks(QPainter& painter, const QRectF& square, double dpmm) {
    constexpr double kMark = 6;
    constexpr double kAway = 1.5;
    painter.setPen(QPen(Qt::black, 0.15 * dpmm));
    for (const QPointF corner :
         {square.topLeft(), square.topRight(), square.bottomLeft(), square.bottomRight()}) {
        const double sx = corner.x() == square.left() ? -1 : 1;
        const double sy = corner.y() == square.top() ? -1 : 1;
        painter.drawLine(QPointF(corner.x() + sx * kAway * dpmm, corner.y()),
                         QPointF(corner.x() + sx * (kAway + kMark) * dpmm, corner.y()));
        painter.drawLine(QPointF(corner.x(), corner.y() + sy * kAway * dpmm),
                         QPointF(corner.x(), corner.y() + sy * (kAway + kMark) * dpmm));
    }
}

}  // namespace

CdInsertLayout LayOutCdInsert(const PreviewList& preview, const QString&) {
    QBuffer unused;
    unused.open(QIODevice::WriteOnly);
    QPdfWriter writer(&unused);
    Widths widths(&writer);
    const std::vector<Item> items = ItemsOf(preview);
    const Config config = Choose(items, widths);
    return {config.points, config.columns, Place(items, config, widths, nullptr)};
}

QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(heading);
    writer.setCreator(QStringLiteral("Spurfix"));
    const double dpmm = writer.resolution() / 25.4;
    Widths widths(&writer);
    const std::vector<Item> items = ItemsOf(preview);
    const Config config = Choose(items, widths);
    const int squares = std::max(1, Place(items, config, widths, nullptr));

    QPainter painter(&writer);
    const QFont regular = ListFont(config.points, false);
    const QFont bold = ListFont(config.points, true);
    const double line = LineHeight(config.points) * dpmm;
    const double columnWidth = (kInner - (config.columns - 1) * kColumnGap) / config.columns * dpmm;
    const double numberColumn = NumberColumn(items, config.points, widths) * dpmm;
    const double ascent = QFontMetricsF(regular, &writer).ascent();

    auto squareRect = [&](int square) {
        return QRectF(kSquareLeft * dpmm, kSquareTops[square % 2] * dpmm, kSquare * dpmm,
                      kSquare * dpmm);
    };
    int page = -1;
    auto beginSquare = [&](int square) {
        if (square / 2 != page) {
            if (page >= 0) {
                writer.newPage();
            }
            page = square / 2;
        }
        const QRectF rect = squareRect(square);
        DrawCutMarks(painter, rect, dpmm);
        const QRectF inner =
            rect.adjusted(kPadding * dpmm, kPadding * dpmm, -kPadding * dpmm, -kPadding * dpmm);
        if (square == 0) {
            QFont font = ListFont(config.points + 4, true);
            painter.setFont(font);
            painter.setPen(Qt::black);
            const QString text =
                QFontMetricsF(font, &writer).elidedText(heading, Qt::ElideMiddle, inner.width());
            painter.drawText(
                QPointF(inner.left(), inner.top() + QFontMetricsF(font, &writer).ascent()), text);
            const double below = inner.top() + (HeadingHeight(config.points) - 1.2) * dpmm;
            painter.setPen(QPen(Qt::black, 0.2 * dpmm));
            painter.drawLine(QPointF(inner.left(), below), QPointF(inner.right(), below));
        }
        if (squares > 1) {
            QFont font = ListFont(7, false);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(inner.left(), inner.bottom() - kFooter * dpmm, inner.width(),
                                    kFooter * dpmm),
                             Qt::AlignRight | Qt::AlignBottom,
                             QStringLiteral("Seite %1 von %2").arg(square + 1).arg(squares));
        }
    };
    int current = -1;
    Place(items, config, widths, [&](const Placed& placed) {
        while (current < placed.square) {
            beginSquare(++current);
        }
        const QRectF inner =
            squareRect(placed.square)
                .adjusted(kPadding * dpmm, kPadding * dpmm, -kPadding * dpmm, -kPadding * dpmm);
        const double top =
            inner.top() + (placed.square == 0 ? HeadingHeight(config.points) * dpmm : 0);
        const double x = inner.left() + placed.column * (columnWidth + kColumnGap * dpmm);
        const double baseline = top + placed.row * line + ascent;
        const Item& item = *placed.item;
        painter.setPen(Qt::black);
        painter.setFont(item.label ? bold : regular);
        if (placed.first && !item.number.isEmpty()) {
            const double numberWidth =
                QFontMetricsF(regular, &writer).horizontalAdvance(item.number);
            painter.drawText(QPointF(x + numberColumn - kNumberGap * dpmm - numberWidth, baseline),
                             item.number);
        }
        painter.drawText(QPointF(x + (item.label ? 0 : numberColumn), baseline),
                         item.title.mid(placed.from, placed.to - placed.from));
    });
    while (current < squares - 1) {
        beginSquare(++current);
    }
    painter.end();
    return buffer.data();
}

}  // namespace spurfix::ui
