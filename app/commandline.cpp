#include "app/commandline.h"

#include "files/imageimport.h"
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
};

// Order matters: the first switch present in this table wins.
constexpr SwitchRule kSwitches[] = {
    { "--probe-touch", ArgRule::None, nullptr },
    { "--bench", ArgRule::Required, nullptr },
    { "--bench-open", ArgRule::Required, nullptr },
    { "--bench-paint", ArgRule::Required, nullptr },
    { "--bench-docx", ArgRule::Required, nullptr },
    { "--bench-theme", ArgRule::Required, nullptr },
    { "--bench-shell", ArgRule::OptionalTemp, nullptr },
    { "--selftest-ink", ArgRule::Required, nullptr },
    { "--selftest-tileclip", ArgRule::OptionalTemp, nullptr },
    { "--selftest-popup", ArgRule::OptionalTemp, nullptr },
    { "--selftest-update", ArgRule::OptionalFixed, "1.0.0" },
    { "--selftest-scroll", ArgRule::OptionalTemp, nullptr },
    { "--selftest-log", ArgRule::None, nullptr },
    { "--selftest-ui", ArgRule::None, nullptr },
    { "--selftest-dialog", ArgRule::None, nullptr },
    { "--selftest-theme", ArgRule::None, nullptr },
    { "--selftest-home", ArgRule::None, nullptr },
    { "--selftest-docx", ArgRule::None, nullptr },
    { "--selftest-smoke", ArgRule::Required, nullptr },
    { "--selftest-crash", ArgRule::OptionalFixed, "stack" },
    { "--selftest-image", ArgRule::None, nullptr },
    { "--export-pdf", ArgRule::RequiredPair, nullptr },
    { "--export-png", ArgRule::RequiredPair, nullptr },
    { "--bench-export", ArgRule::Required, nullptr },
    { "--bench-workingcopy", ArgRule::Required, nullptr },
    { "--help", ArgRule::None, nullptr },
};

} // namespace

bool isCommandLineFile(const QString &argument)
{
    if (argument.startsWith(QLatin1Char('-')))
        return false;
    return argument.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
        || argument.endsWith(QStringLiteral(".dpz"), Qt::CaseInsensitive)
        || isOfficeDocument(argument) || isImageFile(argument);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QStringList args = arguments.mid(1);
    result.raster = args.removeAll(QStringLiteral("--raster")) > 0;
    for (const QString &arg : args) {
        if (isCommandLineFile(arg))
            result.files.append(arg);
    }
    for (const SwitchRule &sw : kSwitches) {
        const QString name = QString::fromLatin1(sw.name);
        const int at = args.indexOf(name);
        if (at < 0)
            continue;
        const bool hasNext = at + 1 < args.size();
        switch (sw.rule) {
        case ArgRule::None:
            break;
        case ArgRule::Required:
            if (!hasNext)
                continue; // ignored: start-up goes on as if it were absent
            result.switchArgument = args.at(at + 1);
            break;
        case ArgRule::RequiredPair:
            if (at + 2 >= args.size())
                continue;
            result.switchArgument = args.at(at + 1);
            result.secondArgument = args.at(at + 2);
            break;
        case ArgRule::OptionalTemp:
            result.switchArgument = hasNext ? args.at(at + 1) : QDir::tempPath();
            break;
        case ArgRule::OptionalFixed:
            result.switchArgument = hasNext ? args.at(at + 1) : QString::fromLatin1(sw.fallback);
            break;
        }
        result.devSwitch = name;
        return result;
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
