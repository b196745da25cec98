#include "platform/desktopwords.h"

QString autoStartDescription()
{
    return QStringLiteral("登录 Windows 后自动打开本程序");
}

QString fileAssociationDescription()
{
    return QStringLiteral("Windows 不允许程序直接抢占默认应用：注册后还需要在「默认应用」中选择「青简批注」。");
}

QString registrationAdvice(bool)
{
    return QStringLiteral(
        "Windows 不允许程序直接抢占默认应用，需要你手动确认：\n接下来打开「默认应用」设置，在 .pdf（以及 .dpz）里选择「青简批注」。\n\n"
        "Word 文档和演示文稿只注册为「打开方式」候选，默认仍由原来的程序打开；\n需要时可右键 .docx / .pptx 等文件 →「打开方式」选择本程序。\n\n"
        "确认后，双击任意 PDF 或 .dpz 批注包都会用本程序打开。");
}

QString sofficeChooseButtonText()
{
    return QStringLiteral("选择 soffice.exe…");
}

QString sofficeChooseTitle()
{
    return QStringLiteral("选择 LibreOffice 的 soffice.exe");
}

QString sofficeWrongFileText()
{
    return QStringLiteral("请选择 LibreOffice 的 soffice.exe，通常位于 program 目录下");
}

QString sofficeMissingText()
{
    return QStringLiteral("未检测到。可下载 LibreOffice（或便携版）后用「选择 soffice.exe…」指定；也可把便携版解压到程序目录的 libreoffice\\ 下。");
}

QString wordReminderDescription()
{
    return QStringLiteral("转换 Word 文档需要它：会写入 Word 自己的两个开关值（HKCU\\Software\\Microsoft\\Office\\<版本>\\Word\\Options）。");
}

QString settingsWriteFailure(const QString &what)
{
    return QStringLiteral("无法写入注册表（%1）").arg(what);
}

QString conversionFailedHint(bool wordIsDocxDefault)
{
    return wordIsDocxDefault
        ? QStringLiteral("Word 里可能有对话框或卡住的实例：请关闭所有 Word 窗口（或重启）后重试")
        : QStringLiteral("请把 .docx 的默认程序设为 Word（设置 → 默认应用），或先用「用 Word 打开」");
}
