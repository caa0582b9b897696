#include "export/pdf/cd_insert.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "engine/list_file.h"
#include "engine/name_rules.h"
#include "engine/song_line.h"

namespace spurfix::exporting {

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
constexpr double kTimeGap = 2.5;

struct Item {
    bool label;
    QString number;  // a file line's number, empty where it has none
    QString title;
    QString time;  // a song's playing time, right-aligned in the column; empty without one
};

// What the insert shows: its rows, and the total time on the first square.
struct Content {
    std::vector<Item> items;
    QString total;  // "Gesamtdauer 1:02:03", empty where there is none to show
};

QString DisplayText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The list keeps every song's number apart from its title: the number stands in a column
// of its own, and a title that begins with digits stays a title. A song's playing time
// leaves the title for a column of its own at the right.
Content ContentOf(const PreviewList& preview, const SongInfoTable* times, Progress& progress) {
    Content content;
    std::vector<Item>& items = content.items;
    items.reserve(preview.size());
    std::string scratch;
    for (size_t i = 0; i < preview.size(); ++i) {
        if (i % 4096 == 0 && progress.cancelled()) {
            throw Cancelled();
        }
        if (preview.kind(i) == EntryKind::DirectoryLabel) {
            items.push_back({true, {}, DisplayText(preview.text(i, scratch)), {}});
            continue;
        }
        const int32_t number = preview.number(i);
        // The number keeps its dash, so that the text reads as the list does.
        QString numberText =
            number > 0 ? QString::fromStdString(PadLeft(number, preview.numberWidth(), '0')) +
                             QStringLiteral(" -")
                       : QString();
        const TimedText timed = SplitPlayingTime(preview, i, preview.title(i, scratch), times);
        items.push_back({false, std::move(numberText), DisplayText(timed.text),
                         timed.song != nullptr
                             ? QString::fromStdString(PlayingTimeText(timed.song->milliseconds,
                                                                      timed.song->timeIsEstimate))
                             : QString()});
    }
    // A total that leaves out a song whose time is not known would be too short: there is
    // none then, as for a folder's %DAUER%.
    if (const std::optional<TotalTime> total = TotalPlayingTime(preview, times)) {
        content.total = QStringLiteral("Gesamtdauer ") + QString::fromStdString(PlayingTimeText(
                                                             total->milliseconds, total->estimate));
    }
    return content;
}

QFont ListFont(double points, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")});
    font.setBold(bold);
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

// One row of an item's text: [from, to), with a hyphen after it where a word was broken.
struct Row {
    qsizetype from;
    qsizetype to;
    bool hyphen;
};

// Breaks a text into rows of at most `width` millimetres at `points`: between words, and
// inside a word only where the word alone is wider than a row, with a hyphen.
std::vector<Row> Rows(const QString& text, double points, double width, bool bold, Widths& widths) {
    std::vector<Row> rows;
    const double hyphen = widths.of(QLatin1Char('-'), bold) * points;
    qsizetype start = 0;
    while (start < text.size() || rows.empty()) {
        double used = 0;
        qsizetype end = start;
        while (end < text.size() && used + widths.of(text[end], bold) * points <= width) {
            used += widths.of(text[end], bold) * points;
            ++end;
        }
        if (end == text.size()) {
            rows.push_back({start, end, false});
            break;
        }
        // The last space that still fits ends the row; the spaces after it start none.
        qsizetype space = end;
        while (space > start && text[space] != QLatin1Char(' ')) {
            --space;
        }
        if (space > start) {
            rows.push_back({start, space, false});
            start = space;
            while (start < text.size() && text[start] == QLatin1Char(' ')) {
                ++start;
            }
            continue;
        }
        // A word wider than the row: as much of it as fits beside a hyphen, at least one
        // character, so that every row makes progress.
        while (end > start + 1 && used + hyphen > width) {
            --end;
            used -= widths.of(text[end], bold) * points;
        }
        end = std::max(end, start + 1);
        rows.push_back({start, end, end < text.size()});
        start = end;
    }
    return rows;
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
    Row part;
};

double LineHeight(double points) {
    return points * kLineSpacing * kMillimetresPerPoint;
}

// The heading, the total below it where there is one, and the rule under them.
double HeadingHeight(double points, const Content& content) {
    return LineHeight(points + 4) + (content.total.isEmpty() ? 0 : LineHeight(points)) + 2.5;
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

// The column of the songs' times at the right of a list column, with the gap before it.
double TimeColumn(const std::vector<Item>& items, double points, Widths& widths) {
    double widest = 0;
    for (const Item& item : items) {
        if (!item.time.isEmpty()) {
            widest = std::max(widest, widths.of(item.time, false) * points);
        }
    }
    return widest > 0 ? widest + kTimeGap : 0;
}

// Lays the items out with `config`, calling `place` for every row; the number of
// squares, or 0 where an item does not fit a column at all.
int Place(const Content& content, const Config& config, Widths& widths, Progress& progress,
          const std::function<void(const Placed&)>& place) {
    const std::vector<Item>& items = content.items;
    const double line = LineHeight(config.points);
    const double columnWidth = (kInner - (config.columns - 1) * kColumnGap) / config.columns;
    const double numberColumn = NumberColumn(items, config.points, widths);
    const double timeColumn = TimeColumn(items, config.points, widths);
    auto rowsIn = [&](int square) {
        const double height =
            kInner - kFooter - (square == 0 ? HeadingHeight(config.points, content) : 0);
        return static_cast<int>(std::floor(height / line));
    };
    int square = 0;
    int column = 0;
    int row = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i % 4096 == 0 && progress.cancelled()) {
            throw Cancelled();
        }
        const Item& item = items[i];
        // A song's title wraps before the column of the times.
        const double titleWidth = columnWidth - (item.label ? 0 : numberColumn + timeColumn);
        if (titleWidth <= 0) {
            return 0;
        }
        const std::vector<Row> parts =
            Rows(item.title, config.points, titleWidth, item.label, widths);
        const int rows = static_cast<int>(parts.size());
        // A label stays with the line it heads.
        const int keep = rows + (item.label && i + 1 < items.size() ? 1 : 0);
        if (rows > rowsIn(1)) {
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
        for (int r = 0; r < rows && place; ++r) {
            place({square, column, row + r, &item, r == 0, parts[static_cast<size_t>(r)]});
        }
        row += rows;
    }
    return square + 1;
}

// The largest size that needs no more squares than the smallest does, and the number of
// columns it takes.
Config Choose(const Content& content, Widths& widths, Progress& progress) {
    auto squares = [&](const Config& config) {
        const int needed = Place(content, config, widths, progress, nullptr);
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

// For callers that need no progress and never stop.
class Unwatched : public Progress {
  public:
    void report(uint64_t, uint64_t) override {}
    [[nodiscard]] bool cancelled() const override { return false; }
};

}  // namespace

CdInsertLayout LayOutCdInsert(const PreviewList& preview, const SongInfoTable* times) {
    QBuffer unused;
    unused.open(QIODevice::WriteOnly);
    QPdfWriter writer(&unused);
    Widths widths(&writer);
    Unwatched progress;
    const Content content = ContentOf(preview, times, progress);
    const Config config = Choose(content, widths, progress);
    return {config.points, config.columns, Place(content, config, widths, progress, nullptr)};
}

QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading) {
    Unwatched progress;
    return RenderCdInsert(preview, heading, nullptr, progress);
}

QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading, Progress& progress) {
    return RenderCdInsert(preview, heading, nullptr, progress);
}

QByteArray RenderCdInsert(const PreviewList& preview, const QString& heading,
                          const SongInfoTable* times, Progress& progress) {
    // Laying out takes about as long as drawing: half the way each.
    const uint64_t total = 2 * static_cast<uint64_t>(preview.size()) + 1;
    progress.report(0, total);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(heading);
    writer.setCreator(QStringLiteral("Spurfix"));
    const double dpmm = writer.resolution() / 25.4;
    Widths widths(&writer);
    const Content content = ContentOf(preview, times, progress);
    const std::vector<Item>& items = content.items;
    const Config config = Choose(content, widths, progress);
    const int squares = std::max(1, Place(content, config, widths, progress, nullptr));
    progress.report(items.size(), total);

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
            if (!content.total.isEmpty()) {
                painter.setFont(regular);
                painter.drawText(
                    QPointF(inner.left(),
                            inner.top() + LineHeight(config.points + 4) * dpmm + ascent),
                    content.total);
            }
            const double below = inner.top() + (HeadingHeight(config.points, content) - 1.2) * dpmm;
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
    size_t drawn = 0;
    Place(content, config, widths, progress, [&](const Placed& placed) {
        if (placed.first && ++drawn % 1024 == 0) {
            progress.report(items.size() + drawn, total);
        }
        while (current < placed.square) {
            beginSquare(++current);
        }
        const QRectF inner =
            squareRect(placed.square)
                .adjusted(kPadding * dpmm, kPadding * dpmm, -kPadding * dpmm, -kPadding * dpmm);
        const double top =
            inner.top() + (placed.square == 0 ? HeadingHeight(config.points, content) * dpmm : 0);
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
        if (placed.first && !item.time.isEmpty()) {
            const double timeWidth = QFontMetricsF(regular, &writer).horizontalAdvance(item.time);
            painter.drawText(QPointF(x + columnWidth - timeWidth, baseline), item.time);
        }
        const Row& part = placed.part;
        QString text = item.title.mid(part.from, part.to - part.from);
        if (part.hyphen) {
            text += QLatin1Char('-');
        }
        painter.drawText(QPointF(x + (item.label ? 0 : numberColumn), baseline), text);
    });
    while (current < squares - 1) {
        beginSquare(++current);
    }
    painter.end();
    progress.report(total, total);
    return buffer.data();
}

std::string CdInsertOutput::write(const ExportList& list, const std::string& target,
                                  Progress& progress) const {
    const QByteArray pdf =
        RenderCdInsert(*list.lines, QString::fromStdString(list.heading), list.songTimes, progress);
    if (progress.cancelled()) {
        throw Cancelled();
    }
    WriteFileBytes(target, std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())));
    return {};
}

}  // namespace spurfix::exporting
