#include "HVTextPrinter.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QPageLayout>
#include <QPrinter>
#include <QTextDocument>
#include <QTextOption>

void HVPrintText(std::u16string_view text, const QFont& font, QPrinter& printer) {
    printer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
    QTextDocument document;
    document.setDefaultFont(font);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    // Plain text: markup in the file is printed as it reads, not interpreted.
    QString plain = QString::fromUtf16(text.data(), qsizetype(text.size()));
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar(u'\r'), QChar(u'\n'));
    document.setPlainText(plain);
    document.print(&printer);
}
