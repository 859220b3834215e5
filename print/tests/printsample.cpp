// Renders the form for a realistic enterprise as a PDF, to look at the
// layout: printsample OUT.pdf [EMISSION-COUNT]
#include <QGuiApplication>

#include <cstdio>

#include "formfixture.h"
#include "print/frpainter.h"
#include "print/printform.h"

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: printsample OUT.pdf [EMISSION-COUNT]\n");
        return 2;
    }
    const int count = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 30;
    auto attr = formfixture::attr();
    auto data = formfixture::data(count);
    const emlo::print::TfrDocument doc = emlo::print::PrepareForm(*attr, *data);
    QString error;
    if (!emlo::print::RenderPdf(doc, QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
