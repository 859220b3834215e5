#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

namespace emlo {

// Where a remark leads: the section of the main window and, inside it, a
// control code (sections 0 and 1) or an emission record number (section 2).
class TErrorData {
public:
    qint32 Target = 0;
    quint8 Section = 0;
};

// Sections of the main window a remark can concern.
enum RemarkSection : quint8 {
    SectionAttr = 0,   // attributes page
    SectionCodes = 1,  // statistical codes page
    SectionData = 2,   // emissions page
    SectionAllClear = 100,
};

// Control codes carried by remarks of the attributes and codes sections; each
// names one control of the main window (see ControlName).
enum ControlCode : qint32 {
    ccEDRPOU = 1,
    ccEnAddr = 2,
    ccEnChName = 3,
    ccEnChPos = 4,
    ccEnName = 5,
    ccEnPhone = 6,
    ccCityDescr = 7,
    ccCityID = 8,
    ccKfvID = 9,
    ccKvedID = 10,
    ccSpoduID = 13,
    ccX1 = 14,
    ccX2 = 15,
    ccX3 = 16,
    ccY1 = 17,
    ccY2 = 18,
    ccY3 = 19,
};

// One row of the check report.
struct Remark {
    QString Description;
    QString SectionText;  // as the report's section column shows it
    TErrorData Data;
};

using RemarkList = QList<Remark>;

// Text of the section column for a section; empty for the all-clear row and
// any unknown section.
QString SectionText(quint8 section);

// Object name of the main-window control a control code names ("edEnName" for
// 5), or an empty string for a code that names none (0, 11, 12, above 19).
QString ControlName(qint32 code);

}  // namespace emlo

Q_DECLARE_METATYPE(emlo::TErrorData)
