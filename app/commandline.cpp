#include "app/commandline.h"

#include "files/boardpdf.h"
#include "files/imageimport.h"
#include "files/officekind.h"
#include "files/officekind.h"

#include <QDir>
#include <QFileInfo>

namespace {

enum class ArgRule { None, Required, RequiredPair, OptionalTemp, OptionalFixed };

struct SwitchRule
{
    const char *name;
    ArgRule rule;
    const char *fallback; // for OptionalFixed
    const char *argument; // how the usage text calls the argument (UTF-8)
    const char *help;     // what the switch does (UTF-8)
};

// Order matters: the first switch present in this table wins.
constexpr SwitchRule kSwitches[] = {
    { "--probe-touch", ArgRule::None, nullptr, "", "打开全屏的触摸与笔诊断窗口" },
    { "--help", ArgRule::None, nullptr, "", "显示本说明" },
    { "--version", ArgRule::None, nullptr, "", "显示版本号" },
    { "--new-board", ArgRule::OptionalFixed, "", "[样式]",
      "新建白板（blank grid lines tianzige mizige pinyin english staff graph，或中文名；默认上次的样式）" },
    { "--bench", ArgRule::Required, nullptr, "文件", "渲染与页面网格的测量（key=value 行）" },
    { "--bench-open", ArgRule::Required, nullptr, "文件或文件夹", "从启动到第一次绘制的耗时及其分解，与单纯 QtPdf 对比（文件夹：取中位数）" },
    { "--bench-forward", ArgRule::Required, nullptr, "文件", "第二个进程把文件交给已运行的窗口：从请求到第一次绘制的耗时" },
    { "--bench-paint", ArgRule::Required, nullptr, "文件", "4K 下书写、擦除、触摸与工具岛的重绘耗时" },
    { "--bench-docx", ArgRule::Required, nullptr, "文件", "Word 文档或演示文稿打开与直接调用 soffice 的耗时对比" },
    { "--bench-theme", ArgRule::Required, nullptr, "文件", "打开五份文件时切换外观的耗时" },
    { "--bench-shell", ArgRule::OptionalTemp, nullptr, "[文件夹]", "4K 下的页面切换、长文档标签与主页的耗时" },
    { "--selftest-ink", ArgRule::Required, nullptr, "PDF", "在该 PDF 上书写，检查笔迹的采集与绘制" },
    { "--selftest-tileclip", ArgRule::OptionalTemp, nullptr, "[文件夹]",
      "在不整的缩放比例下检查图块拼接（无缝、无缺口），截图写入文件夹" },
    { "--selftest-popup", ArgRule::OptionalTemp, nullptr, "[文件夹]", "检查弹出的卡片都落在屏幕以内，截图写入文件夹" },
    { "--selftest-update", ArgRule::OptionalFixed, "1.0.0", "[版本]", "以该版本号检查一次更新（默认 1.0.0）" },
    { "--selftest-scroll", ArgRule::OptionalTemp, nullptr, "[文件夹]", "检查滚动与惯性滑动，截图写入文件夹" },
    { "--selftest-log", ArgRule::None, nullptr, "", "检查诊断日志的写入与轮换" },
    { "--selftest-ui", ArgRule::None, nullptr, "", "按本屏的缩放检查界面尺寸与触摸目标" },
    { "--selftest-dialog", ArgRule::None, nullptr, "", "检查程序的对话框排版完整、没有被截断" },
    { "--selftest-theme", ArgRule::None, nullptr, "", "检查全部 64 套配色" },
    { "--selftest-home", ArgRule::None, nullptr, "", "检查主页与最近文件列表" },
    { "--selftest-docx", ArgRule::None, nullptr, "", "用本机的 LibreOffice 转换一份生成的 Word 文档" },
    { "--selftest-smoke", ArgRule::Required, nullptr, "文件", "打开文件、写三笔，然后像平常一样运行" },
    { "--selftest-crash", ArgRule::OptionalFixed, "stack", "[方式]", "故意崩溃，检查崩溃报告（默认 stack）" },
    { "--selftest-image", ArgRule::None, nullptr, "", "导入一张生成的图片并检查" },
    { "--selftest", ArgRule::None, nullptr, "", "依次运行所有不需要参数的自检，最后汇总" },
    { "--export-pdf", ArgRule::RequiredPair, nullptr, "输入 输出.pdf", "不开窗口，把输入连同批注导出为注入 PDF：保留原文（文字可搜索），批注以矢量叠加" },
    { "--export-png", ArgRule::RequiredPair, nullptr, "输入 输出名",
      "不开窗口，把每一页连同批注导出为 PNG（输出名-1.png …）" },
    { "--bench-export", ArgRule::Required, nullptr, "文件", "两种 PDF 导出方式的耗时、内存与大小，与 pdftoppm 对比" },
    { "--bench-workingcopy", ArgRule::Required, nullptr, "文件", "2000 笔时工作副本写入的耗时" },
    { "--bench-board", ArgRule::Required, nullptr, "文件", "新建白板到第一次绘制，以及在该文件中插入空白页后保存的耗时" },
};

// Qt's own options (and the session manager's) also come with two dashes;
// Qt takes them out of the argument list, so they are not unknown.
constexpr const char *kQtOptions[] = {
    "--platform", "--platformpluginpath", "--platformtheme", "--plugin", "--qwindowgeometry",
    "--qwindowtitle", "--qwindowicon", "--session", "--style", "--stylesheet", "--display",
    "--reverse", "--widgetcount", "--nograb", "--dograb", "--qmljsdebugger",
};

bool isQtOption(const QString &name)
{
    for (const char *option : kQtOptions) {
        if (name == QLatin1String(option))
            return true;
    }
    return false;
}

bool hasFileSuffix(const QString &path)
{
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
        || path.endsWith(QStringLiteral(".dpz"), Qt::CaseInsensitive) || isOfficeDocument(path)
        || isImageFile(path);
}

struct Found
{
    int order = -1;
    QString argument;
    QString second;
};

} // namespace

bool isCommandLineFile(const QString &argument)
{
    return !argument.startsWith(QLatin1Char('-')) && hasFileSuffix(argument);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QStringList args = arguments.mid(1);
    // A qualifier of the export wherever it stands, never a switch's value.
    result.raster = args.removeAll(QStringLiteral("--raster")) > 0;
    Found winner;
    bool switchesEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (switchesEnded || !arg.startsWith(QLatin1String("--"))) {
            if (switchesEnded ? hasFileSuffix(arg) : isCommandLineFile(arg))
                result.files.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            switchesEnded = true;
            continue;
        }
        const int equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        const QString inlineValue = equals < 0 ? QString() : arg.mid(equals + 1);
        int order = -1;
        for (int k = 0; k < int(std::size(kSwitches)); ++k) {
            if (name == QLatin1String(kSwitches[k].name))
                order = k;
        }
        if (order < 0) {
            if (!isQtOption(name) && result.error.isEmpty())
                result.error = QStringLiteral("未知选项 %1").arg(name);
            continue;
        }
        const SwitchRule &sw = kSwitches[order];
        const bool hasNext = i + 1 < args.size();
        Found found;
        found.order = order;
        switch (sw.rule) {
        case ArgRule::None:
            if (equals >= 0 && result.error.isEmpty())
                result.error = QStringLiteral("%1 不带参数").arg(name);
            break;
        case ArgRule::Required:
            if (equals >= 0) {
                found.argument = inlineValue;
            } else if (hasNext) {
                found.argument = args.at(++i);
            } else {
                result.notices.append(QStringLiteral("%1 缺少参数，已忽略").arg(name));
                continue;
            }
            break;
        case ArgRule::RequiredPair: {
            const int needed = equals >= 0 ? 1 : 2;
            if (i + needed >= args.size()) {
                result.notices.append(QStringLiteral("%1 需要两个参数，已忽略").arg(name));
                continue;
            }
            found.argument = equals >= 0 ? inlineValue : args.at(++i);
            found.second = args.at(++i);
            break;
        }
        case ArgRule::OptionalTemp:
        case ArgRule::OptionalFixed:
            if (equals >= 0)
                found.argument = inlineValue;
            else if (hasNext && !args.at(i + 1).startsWith(QLatin1Char('-')))
                found.argument = args.at(++i);
            else
                found.argument = sw.rule == ArgRule::OptionalTemp ? QDir::tempPath()
                                                                  : QString::fromLatin1(sw.fallback);
            break;
        }
        if (winner.order < 0 || found.order < winner.order)
            winner = found;
    }
    if (winner.order >= 0 && qstrcmp(kSwitches[winner.order].name, "--new-board") == 0) {
        BoardKind kind;
        if (!winner.argument.isEmpty() && !boardKindFromName(winner.argument, &kind) && result.error.isEmpty())
            result.error = QStringLiteral("未知的白板样式 %1（可选：%2）").arg(winner.argument, boardKindKeyList());
    }
    if (winner.order >= 0) {
        result.devSwitch = QString::fromLatin1(kSwitches[winner.order].name);
        result.switchArgument = winner.argument;
        result.secondArgument = winner.second;
    }
    return result;
}

QStringList absoluteFilePaths(const QStringList &files)
{
    QStringList absolute;
    for (const QString &file : files)
        absolute.append(QFileInfo(file).absoluteFilePath());
    return absolute;
}

QStringList developerSwitchNames()
{
    QStringList names;
    for (const SwitchRule &sw : kSwitches)
        names.append(QString::fromLatin1(sw.name));
    return names;
}

QList<SwitchHelp> switchHelp()
{
    QList<SwitchHelp> help;
    for (const SwitchRule &sw : kSwitches) {
        help.append({ QString::fromLatin1(sw.name), QString::fromUtf8(sw.argument), QString::fromUtf8(sw.help) });
        if (qstrcmp(sw.name, "--export-pdf") == 0)
            help.append({ QStringLiteral("--raster"), QString(),
                          QStringLiteral("与 --export-pdf 同用：每页导出为一张整页图片（兼容性最好）") });
    }
    return help;
}

namespace {

QString boardRequestPrefix()
{
    return QStringLiteral("lectern:new-board:");
}

} // namespace

QString newBoardRequest(const QString &kind)
{
    return boardRequestPrefix() + kind;
}

bool isNewBoardRequest(const QString &message, QString *kind)
{
    if (!message.startsWith(boardRequestPrefix()))
        return false;
    *kind = message.mid(boardRequestPrefix().size());
    return true;
}
