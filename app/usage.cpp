#include "app/usage.h"

#include "app/cliexport.h"
#include "app/commandline.h"
#include "app/pdfshare.h"
#include "app/pdfshare.h"

#include <QStringList>

#include <cstdio>

namespace {

// Terminal columns: CJK characters take two.
int columns(const QString &text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    return width;
}

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

} // namespace

QString usageText()
{
    QStringList left;
    QStringList right;
    int width = 0;
    for (const SwitchHelp &sw : switchHelp()) {
        const QString head = sw.argument.isEmpty() ? sw.name : sw.name + QLatin1Char(' ') + sw.argument;
        left.append(head);
        right.append(sw.text);
        width = qMax(width, columns(head));
    }
    QString options;
    for (int i = 0; i < left.size(); ++i)
        options += QStringLiteral("  %1%2  %3\n")
                       .arg(left.at(i), QString(width - columns(left.at(i)), QLatin1Char(' ')), right.at(i));
    return QStringLiteral(
               "用法：lectern [文件…]\n"
               "      lectern 选项 [参数]\n"
               "      lectern --new-board [样式]\n"
               "      lectern --export-pdf [--raster] 输入 输出.pdf\n"
               "      lectern --export-png 输入 输出名\n"
               "\n"
               "青简批注：在教室大屏上打开课件，用笔、手指或鼠标书写批注。\n"
               "\n"
               "  文件  PDF、批注包（.dpz）、Word 文档（.docx/.doc）、演示文稿（.pptx/.ppt/.pps/.ppsx/.pptm/.odp）、\n"
               "        其他文档（.odt/.rtf/.wps）或图片；程序已在运行时交给它打开\n"
               "\n"
               "选项（参数跟在选项后面，也可写成 --选项=参数；方括号里的参数可以省略，\n"
               "文件夹默认为系统临时文件夹；同时给出几个选项时只运行表中靠前的一个）：\n"
               "%1"
               "\n"
               "退出码：\n"
               "  %2  成功：导出的每个文件在标准输出占一行；自检全部通过。原文无法保留时改按整页图片导出，\n"
               "     标准错误给出「%6」，退出码仍为 %2\n"
               "  %3  失败：原因写在标准错误，没有写出任何文件；或有自检未通过（FAIL 行）\n"
               "  %4  已导出，但批注包已损坏（校验不符），内容可能不完整；警告写在标准错误\n"
               "  %5 命令行无法执行：未知选项或选项不该带参数\n"
               "\n"
               "手册：man lectern\n")
        .arg(options)
        .arg(0)
        .arg(kExportFailedExit)
        .arg(kExportDamagedExit)
        .arg(kUsageExit)
        .arg(keptAsPageImagesText());
}

int printUsage()
{
    print(stdout, usageText());
    return 0;
}

QString versionText()
{
    return QStringLiteral("lectern %1\n").arg(QStringLiteral(LECTERN_VERSION));
}

int printVersion()
{
    print(stdout, versionText());
    return 0;
}

int printUsageError(const QString &reason)
{
    print(stderr, QStringLiteral("lectern：%1\n用 lectern --help 查看全部选项。\n").arg(reason));
    return kUsageExit;
}
