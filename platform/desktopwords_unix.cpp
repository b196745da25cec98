#include "platform/desktopwords.h"

// Linux: a desktop session instead of a Windows sign-in, an INI file
// instead of the registry, the file manager's "open with" instead of the
// default-apps page, and soffice without ".exe".

QString autoStartDescription()
{
    return QStringLiteral("登录桌面后自动打开本程序");
}

QString fileAssociationDescription()
{
    return QStringLiteral("把本程序加入 PDF、批注包、Word 文档和演示文稿的「打开方式」；原来的默认程序保持不变，"
                          "需要时在文件管理器里改选「青简批注」。");
}

QString registrationAdvice(bool settingsPage)
{
    const QString how = settingsPage
        ? QStringLiteral("点「打开设置」，在文件类型列表里找到 application/pdf（以及 application/x-lectern-dpz），"
                         "把「青简批注」移到最前；")
        : QString();
    return QStringLiteral("本程序不会替你更改默认程序：原来打开 PDF、Word 文档和演示文稿的程序保持不变。\n"
                          "要让双击 PDF 用本程序打开：%1或在文件管理器里右键任意 .pdf 文件 →"
                          "「打开方式」（有的桌面在「属性」→「打开方式」里），选择「青简批注」并设为默认；"
                          ".dpz 批注包同样。\n\n"
                          "Word 文档和演示文稿只注册为「打开方式」候选，默认仍由原来的程序打开；\n"
                          "需要时可右键 .docx / .pptx 等文件 →「打开方式」选择本程序。")
        .arg(how);
}

QString sofficeChooseButtonText()
{
    return QStringLiteral("选择 soffice…");
}

QString sofficeChooseTitle()
{
    return QStringLiteral("选择 LibreOffice 的 soffice");
}

QString sofficeWrongFileText()
{
    return QStringLiteral("请选择 LibreOffice 的 soffice，通常位于 /usr/bin 或 LibreOffice 的 program 目录下");
}

QString sofficeMissingText()
{
    return QStringLiteral("未检测到。可用系统的软件包安装 LibreOffice（Word 文档用 libreoffice-writer，"
                          "演示文稿用 libreoffice-impress）后用「选择 soffice…」指定；也可把它解压到程序目录的 libreoffice/ 下。");
}

QString wordReminderDescription()
{
    return QStringLiteral("这台电脑用 LibreOffice 转换 Word 文档，用不到这个开关：它只改 Word 自己的设置，而这里没有 Word。");
}

QString settingsWriteFailure(const QString &what)
{
    return QStringLiteral("无法写入设置文件（%1）").arg(what);
}

QString conversionFailedHint(bool)
{
    return QStringLiteral("请确认这份文档能在 LibreOffice 中单独打开（它可能已损坏或受密码保护），"
                          "或在那里另存为 PDF 后再打开");
}
