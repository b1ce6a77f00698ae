#pragma once

#include <QFont>
#include <QPainter>
#include <QString>
#include <functional>
#include <vector>

class QPdfWriter;

// Lays a document out on the pages of a PDF writer, top to bottom: headings, paragraphs, tables and
// drawings. A page breaks between blocks and between a table's rows, never inside a row or a
// drawing; a heading stays with what follows it, and a table continued on a new page repeats its
// header there. Each page ends with a footer line and its number. Coordinates are points.
class TReportFlow {
public:
    TReportFlow(QPdfWriter& writer, const QString& footer);
    TReportFlow(const TReportFlow&) = delete;
    TReportFlow& operator=(const TReportFlow&) = delete;

    void Title(const QString& text);
    void Heading(const QString& text);
    void Paragraph(const QString& text);

    struct TColumn {
        QString Header; // a table whose headers are all empty has no header row
        double Share;   // of the width; the shares of a table add up to 1
    };
    // The rows, each as many cells as columns; a cell's text wraps at its width. Bold rows are those
    // the predicate names.
    void Table(const std::vector<TColumn>& columns, const std::vector<std::vector<QString>>& rows,
               const std::function<bool(std::size_t row)>& bold = {});
    // A drawing across the width, height points high; draw paints within (0, 0, width, height).
    void Drawing(double height, const std::function<void(QPainter& painter, double width)>& draw);

    // Ends the last page; the document is complete once the writer goes.
    void End();
    int Pages() const { return FPage; }
    double Width() const { return FWidth; }

private:
    // Starts a new page unless height fits in what is left of this one.
    void Room(double height);
    void NewPage();
    void Footer();
    // A wrapped text across the width, then the gap.
    void Block(const QString& text, const QFont& font, double gap);
    double TextHeight(const QString& text, double width, const QFont& font);
    // One row of a table at the cursor; the cells' heights were measured.
    void Row(const std::vector<TColumn>& columns, const std::vector<QString>& cells, const QFont& font,
             double height, bool shaded);
    double RowHeight(const std::vector<TColumn>& columns, const std::vector<QString>& cells,
                     const QFont& font);

    QPdfWriter& FWriter;
    QPainter FPainter;
    QString FFooter;
    double FWidth = 0;
    double FBottom = 0; // where the page's content ends, above the footer
    double FY = 0;
    int FPage = 1;
    // A heading waits to be placed with what comes after it.
    QString FHeading;
    QFont FBody, FBold, FHeader, FHeadingFont, FTitleFont, FSmall;
};
