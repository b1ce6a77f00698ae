#include "report/reportflow.h"

#include <QPdfWriter>
#include <algorithm>
#include <utility>

namespace {

// Points: the space between blocks, around a cell's text, and the footer's room.
constexpr double KGap = 8;
constexpr double KPad = 2.5;
constexpr double KFooterRoom = 18;
const QColor KRule(160, 160, 160);
const QColor KHeaderShade(225, 225, 225);

QFont Font(double points, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    font.setBold(bold);
    // Unshaped, the text has no ligatures: "fi" stays two letters for whoever searches the PDF.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

} // namespace

TReportFlow::TReportFlow(QPdfWriter& writer, const QString& footer)
    : FWriter(writer), FFooter(footer), FBody(Font(8.5, false)), FBold(Font(8.5, true)),
      FHeader(Font(7.5, true)), FHeadingFont(Font(12, true)), FTitleFont(Font(16, true)),
      FSmall(Font(7, false)) {
    FWriter.setResolution(72);
    FWriter.setPageSize(QPageSize(QPageSize::A4));
    FWriter.setPageMargins(QMarginsF(18, 15, 18, 12), QPageLayout::Millimeter);
    FPainter.begin(&FWriter);
    FWidth = FWriter.width();
    FBottom = FWriter.height() - KFooterRoom;
}

double TReportFlow::TextHeight(const QString& text, double width, const QFont& font) {
    FPainter.setFont(font);
    return FPainter.boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height();
}

void TReportFlow::Room(double height) {
    const double heading = FHeading.isEmpty() ? 0 : TextHeight(FHeading, FWidth, FHeadingFont) + KGap;
    if (FY > 0 && FY + heading + height > FBottom)
        NewPage();
    if (!FHeading.isEmpty()) {
        FPainter.setFont(FHeadingFont);
        FPainter.setPen(Qt::black);
        FPainter.drawText(QRectF(0, FY, FWidth, heading), Qt::TextWordWrap, std::exchange(FHeading, {}));
        FY += heading;
    }
}

void TReportFlow::Footer() {
    FPainter.setFont(FSmall);
    FPainter.setPen(Qt::darkGray);
    FPainter.drawText(QRectF(0, FBottom + 6, FWidth, KFooterRoom - 6), Qt::AlignLeft | Qt::AlignBottom,
                      FFooter);
    FPainter.drawText(QRectF(0, FBottom + 6, FWidth, KFooterRoom - 6), Qt::AlignRight | Qt::AlignBottom,
                      QStringLiteral("strona %1").arg(FPage));
}

void TReportFlow::NewPage() {
    Footer();
    FWriter.newPage();
    ++FPage;
    FY = 0;
}

void TReportFlow::Block(const QString& text, const QFont& font, double gap) {
    const double height = TextHeight(text, FWidth, font);
    Room(height);
    FPainter.setFont(font);
    FPainter.setPen(Qt::black);
    FPainter.drawText(QRectF(0, FY, FWidth, height), Qt::TextWordWrap, text);
    FY += height + gap;
}

void TReportFlow::Title(const QString& text) {
    Block(text, FTitleFont, KGap);
}

void TReportFlow::Heading(const QString& text) {
    FY += FY > 0 ? KGap : 0;
    // Placed with the next block.
    FHeading = text;
}

void TReportFlow::Paragraph(const QString& text) {
    Block(text, FBody, KGap / 2);
}

double TReportFlow::RowHeight(const std::vector<TColumn>& columns, const std::vector<QString>& cells,
                              const QFont& font) {
    double height = 0;
    for (std::size_t c = 0; c < columns.size() && c < cells.size(); ++c)
        height = std::max(height, TextHeight(cells[c], columns[c].Share * FWidth - 2 * KPad, font));
    return height + 2 * KPad;
}

void TReportFlow::Row(const std::vector<TColumn>& columns, const std::vector<QString>& cells,
                      const QFont& font, double height, bool shaded) {
    if (shaded)
        FPainter.fillRect(QRectF(0, FY, FWidth, height), KHeaderShade);
    FPainter.setFont(font);
    double x = 0;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const double width = columns[c].Share * FWidth;
        FPainter.setPen(Qt::black);
        if (c < cells.size())
            FPainter.drawText(QRectF(x + KPad, FY + KPad, width - 2 * KPad, height - 2 * KPad),
                              Qt::TextWordWrap, cells[c]);
        x += width;
    }
    FPainter.setPen(QPen(KRule, 0.5));
    FPainter.drawLine(QPointF(0, FY + height), QPointF(FWidth, FY + height));
    FY += height;
}

void TReportFlow::Table(const std::vector<TColumn>& columns, const std::vector<std::vector<QString>>& rows,
                        const std::function<bool(std::size_t row)>& bold) {
    std::vector<QString> header;
    for (const TColumn& column : columns)
        header.push_back(column.Header);
    const bool headed =
        std::any_of(header.begin(), header.end(), [](const QString& h) { return !h.isEmpty(); });
    const double headerHeight = headed ? RowHeight(columns, header, FHeader) : 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QFont& font = bold && bold(r) ? FBold : FBody;
        const double height = RowHeight(columns, rows[r], font);
        const int page = FPage;
        Room((r == 0 ? headerHeight : 0) + height);
        // The header heads the table and every page the table goes on to.
        if (headed && (r == 0 || FPage != page))
            Row(columns, header, FHeader, headerHeight, true);
        Row(columns, rows[r], font, height, false);
    }
    FY += KGap;
}

void TReportFlow::Drawing(double height, const std::function<void(QPainter& painter, double width)>& draw) {
    Room(height);
    FPainter.save();
    FPainter.translate(0, FY);
    FPainter.setClipRect(QRectF(0, 0, FWidth, height));
    draw(FPainter, FWidth);
    FPainter.restore();
    FY += height + KGap;
}

void TReportFlow::End() {
    Footer();
    FPainter.end();
}
