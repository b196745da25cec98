#include "app/officeopen.h"

#include "files/imageimport.h"
#include "files/wordconvert.h"
#include "platform/desktopwords.h"

#include <QRegularExpression>
#include <QStringList>

QString openDialogFilter()
{
    // The image filter's patterns, from between its parentheses.
    const QString images = imageFileFilter();
    const QRegularExpression inParentheses(QStringLiteral("\\((.*)\\)"));
    const QString imagePatterns = inParentheses.match(images).captured(1);
    const QString join = QStringLiteral(" ");
    const QStringList everything = QStringList{QStringLiteral("*.pdf"), QStringLiteral("*.dpz")}
        + allOfficePatterns() + QStringList{imagePatterns};
    return QStringLiteral("所有支持的文件 (%1);;PDF 文件 (*.pdf);;批注包 (*.dpz);;Word 文档 (%2);;"
                          "演示文稿 (%3);;其他文档 (%4);;")
               .arg(everything.join(join), officePatterns(OfficeKind::Word).join(join),
                    officePatterns(OfficeKind::Presentation).join(join), officePatterns(OfficeKind::Text).join(join))
        + images + QStringLiteral(";;所有文件 (*.*)");
}

QString noConverterText(OfficeKind kind)
{
    switch (kind) {
    case OfficeKind::Presentation:
        return QStringLiteral("未检测到 LibreOffice，无法打开该演示文稿（可先另存为 PDF）");
    case OfficeKind::Text:
        return QStringLiteral("未检测到 Word/WPS 或 LibreOffice，无法打开该文档（可先另存为 PDF）");
    case OfficeKind::Word:
    case OfficeKind::None:
        break;
    }
    return QStringLiteral("未检测到 Word/WPS 或 LibreOffice，无法打开该 Word 文档（可先另存为 PDF）");
}

QString conversionHint(OfficeKind kind)
{
    switch (kind) {
    case OfficeKind::Presentation:
        return QStringLiteral("请确认这份演示文稿能在 LibreOffice Impress 中单独打开（它可能已损坏或受密码保护），"
                              "或在演示软件里另存为 PDF 后再打开");
    case OfficeKind::Text:
        return QStringLiteral("请确认这份文档能在 LibreOffice 中单独打开（它可能已损坏或受密码保护），"
                              "或在那里另存为 PDF 后再打开");
    case OfficeKind::Word:
    case OfficeKind::None:
        break;
    }
    return conversionFailedHint(isWordDefaultForDocx());
}
