#include "app/usage.h"

#include "app/cliexport.h"
#include "app/commandline.h"
#include "app/pdfshare.h"

#include <QStringList>

#include <cstdio>

QString usageText()
{
    QStringList others = developerSwitchNames();
    others.removeAll(QStringLiteral("--export-pdf"));
    others.removeAll(QStringLiteral("--export-png"));
    others.removeAll(QStringLiteral("--help"));
    return QStringLiteral(
               "用法：lectern [文件…]\n"
               "      lectern --export-pdf [--raster] 输入 输出.pdf\n"
               "      lectern --export-png 输入 输出名\n"
               "\n"
               "  文件          PDF、批注包（.dpz）、Word 文档（.docx/.doc）、演示文稿（.pptx/.ppt/.pps/.ppsx/.pptm/.odp）、\n"
               "                其他文档（.odt/.rtf/.wps）或图片；程序已在运行时交给它打开\n"
               "  --export-pdf  不开窗口，把输入连同批注导出为注入 PDF：保留原文（文字可搜索），批注以矢量叠加\n"
               "  --raster      与 --export-pdf 同用：每页导出为一张整页图片（兼容性最好）\n"
               "  --export-png  不开窗口，把输入的每一页连同批注导出为一张 PNG（输出名-1.png …）\n"
               "  --help        显示本说明\n"
               "\n"
               "导出的退出码：\n"
               "  %1  导出成功；每个写出的文件在标准输出占一行。原文无法保留时改按整页图片导出，\n"
               "     标准错误给出「%4」，退出码仍为 %1\n"
               "  %2  导出失败；原因写在标准错误，没有写出任何文件\n"
               "  %3  已导出，但批注包已损坏（校验不符），内容可能不完整；警告写在标准错误\n"
               "\n"
               "开发者开关：%5\n")
        .arg(0)
        .arg(kExportFailedExit)
        .arg(kExportDamagedExit)
        .arg(keptAsPageImagesText(), others.join(QLatin1Char(' ')));
}

int printUsage()
{
    std::fputs(usageText().toUtf8().constData(), stdout);
    std::fflush(stdout);
    return 0;
}
