#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

#include "frexpression.h"
#include "frvalue.h"

namespace emlo::print {

/// Form units per inch: positions and sizes of templates and laid-out pages
/// are in these units (one unit is about 0.2772 mm).
inline constexpr double kUnitsPerInch = 91.6256157635468;

enum class TfrHAlign { Left, Centre, Right };
enum class TfrVAlign { Top, Middle, Bottom };

struct TfrFont {
    QString family = QStringLiteral("Times New Roman");
    double size = 11;  ///< points
    bool bold = false;
    bool italic = false;

    bool operator==(const TfrFont&) const = default;
};

/// Which sides of a box carry a thin solid black line, and its width in units.
struct TfrFrame {
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
    double width = 1;

    bool any() const { return left || top || right || bottom; }
    bool all() const { return left && top && right && bottom; }
};

/// A text box of a band as designed.
struct TfrMemo {
    QString name;
    QRectF rect;  ///< x from the sheet's left edge, y from the band's top
    QStringList lines;
    TfrFont font;
    TfrFrame frame;
    TfrHAlign hAlign = TfrHAlign::Left;
    TfrVAlign vAlign = TfrVAlign::Top;
    double insetLeft = 2;
    double insetTop = 1;
    double insetRight = 2;
    double insetBottom = 1;
    double lineSpacing = 2;  ///< extra units between lines
    bool wordWrap = true;
    bool stretch = true;           ///< grows to its text in a stretching band
    bool underlined = false;       ///< every line ruled across the box, also when empty
    bool hideZeros = false;        ///< a numeric value of zero prints as nothing
    bool suppressRepeats = false;  ///< prints nothing when its text equals the last it printed
    bool autoWidth = false;        ///< takes the width of its text
    bool plain = false;            ///< text printed unchanged, without expressions
    TfrNumberFormat format;
    QString scriptSource;

    TfrTextTemplate text;  ///< parsed from lines (joined with line breaks)
    TfrScript script;      ///< parsed from scriptSource
};

enum class TfrBandKind {
    PageHeader,
    PageFooter,
    MasterHeader,
    MasterData,
    MasterFooter,
    DetailHeader,
    DetailData,
    DetailFooter,
};

struct TfrBand {
    QString name;
    TfrBandKind kind = TfrBandKind::MasterData;
    double height = 0;
    QString dataSource;  ///< adapter name for data bands ("frAttr")
    bool stretch = false;
    bool repeat = false;
    bool onFirstPage = false;
    bool onLastPage = false;
    bool printIfDetailEmpty = false;
    QVector<TfrMemo> memos;
};

/// Paper and margins of a section. Sizes of paper in tenths of a millimetre,
/// margins in units; a margin of 0 stands for the printer's printable limit.
struct TfrPageSettings {
    int paperSize = 9;  ///< 9 is A4
    int paperWidth = 2100;
    int paperHeight = 2970;
    bool portrait = true;
    double marginLeft = 72;
    double marginTop = 72;
    double marginRight = 0;
    double marginBottom = 0;

    /// The sheet in units, turned for landscape.
    QSizeF sheetSize() const;
};

struct TfrSection {
    TfrPageSettings page;
    QVector<TfrBand> bands;

    /// The first band of the kind, or nullptr.
    const TfrBand* band(TfrBandKind kind) const;
};

/// A report template: its sections with their bands and boxes, the report's
/// title and the names of its variables. Loaded from JSON (see form.json for
/// the layout of the file); every box text and script is parsed at load, so a
/// malformed template is refused there and not while a report is prepared.
struct TfrTemplate {
    QString title;
    QString printerName;
    QStringList variables;
    QVector<TfrSection> sections;

    /// Reads a template; on failure returns false and sets *error to a text
    /// naming the faulty element.
    static bool FromJson(const QByteArray& json, TfrTemplate* out, QString* error);
};

}  // namespace emlo::print
