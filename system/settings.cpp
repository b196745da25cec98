#include "system/settings.h"

#include "platform/desktopwords.h"
#include "system/settingsstore.h"

#include <QDir>

bool writeSettingsStore(const std::function<void(QSettings &)> &change,
                        const QString &failureMessage, QString *error)
{
    auto store = openSettingsStore();
    change(*store);
    store->sync();
    if (store->status() == QSettings::FormatError) {
        // A file damaged by hand is only noticed while flushing, and that
        // first status hides whether the rewrite worked. Qt has rewritten it
        // cleanly if it could, so the same change on a fresh store tells.
        store = openSettingsStore();
        change(*store);
        store->sync();
    }
    const bool ok = store->status() == QSettings::NoError;
    if (error) {
        if (ok)
            error->clear();
        else
            *error = failureMessage;
    }
    return ok;
}

namespace {

// A value that is not a whole number, or lies outside 0..max, reads as 0.
int readInt(const QString &key, int max)
{
    const auto store = openSettingsStore();
    const QVariant value = store->value(key);
    if (!value.isValid())
        return 0;
    bool ok = false;
    const qlonglong n = value.toString().trimmed().toLongLong(&ok);
    if (!ok || n < 0 || n > max)
        return 0;
    return int(n);
}

bool writeInt(const QString &key, int value, int max, const QString &failure, QString *error)
{
    const int stored = qBound(0, value, max);
    return writeSettingsStore([&](QSettings &store) { store.setValue(key, stored); }, failure, error);
}

// Anything but a recognisable boolean (hand-edited garbage) reads as the default.
bool readBool(const QString &key, bool fallback)
{
    const auto store = openSettingsStore();
    const QVariant value = store->value(key);
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

bool writeBool(const QString &key, bool on, const QString &failure, QString *error)
{
    return writeSettingsStore([&](QSettings &store) { store.setValue(key, on); }, failure, error);
}

QString readString(const QString &key)
{
    const auto store = openSettingsStore();
    const QVariant value = store->value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// An empty text removes the value; anything else is stored with native separators.
bool writePath(const QString &key, const QString &path, const QString &failure, QString *error)
{
    const QString native = QDir::toNativeSeparators(path);
    return writeSettingsStore(
        [&](QSettings &store) {
            if (native.isEmpty())
                store.remove(key);
            else
                store.setValue(key, native);
        },
        failure, error);
}

} // namespace

int themeMode() { return readInt(QStringLiteral("ThemeMode"), 2); }
bool setThemeMode(int value, QString *error)
{
    return writeInt(QStringLiteral("ThemeMode"), value, 2,
                    settingsWriteFailure(QStringLiteral("外观设置")), error);
}

int themePreset() { return readInt(QStringLiteral("ThemePreset"), 7); }
bool setThemePreset(int value, QString *error)
{
    return writeInt(QStringLiteral("ThemePreset"), value, 7,
                    settingsWriteFailure(QStringLiteral("主题色")), error);
}

int themeStyle() { return readInt(QStringLiteral("ThemeStyle"), 3); }
bool setThemeStyle(int value, QString *error)
{
    return writeInt(QStringLiteral("ThemeStyle"), value, 3,
                    settingsWriteFailure(QStringLiteral("调色板风格")), error);
}

int toolbarStyle() { return readInt(QStringLiteral("ToolbarStyle"), 1); }
bool setToolbarStyle(int value, QString *error)
{
    return writeInt(QStringLiteral("ToolbarStyle"), value, 1,
                    settingsWriteFailure(QStringLiteral("工具栏风格")), error);
}

int wordOpenMode() { return readInt(QStringLiteral("WordOpenMode"), 2); }
bool setWordOpenMode(int value, QString *error)
{
    return writeInt(QStringLiteral("WordOpenMode"), value, 2,
                    settingsWriteFailure(QStringLiteral("Word 文档打开方式")), error);
}

int wordConvertEngine() { return readInt(QStringLiteral("WordConvertEngine"), 2); }
bool setWordConvertEngine(int value, QString *error)
{
    return writeInt(QStringLiteral("WordConvertEngine"), value, 2,
                    settingsWriteFailure(QStringLiteral("Word 转换引擎")), error);
}

bool wordNagFix() { return readBool(QStringLiteral("WordNagFix"), true); }
bool setWordNagFix(bool on, QString *error)
{
    return writeBool(QStringLiteral("WordNagFix"), on,
                     settingsWriteFailure(QStringLiteral("Word 提醒设置")), error);
}

bool palmEraser() { return readBool(QStringLiteral("PalmEraser"), false); }
bool setPalmEraser(bool on, QString *error)
{
    return writeBool(QStringLiteral("PalmEraser"), on, settingsWriteFailure(QStringLiteral("手掌擦除设置")), error);
}

bool reduceMotionSetting() { return readBool(QStringLiteral("ReduceMotion"), false); }
bool setReduceMotionSetting(bool on, QString *error)
{
    return writeBool(QStringLiteral("ReduceMotion"), on, settingsWriteFailure(QStringLiteral("减少动效")), error);
}

bool debugLogSetting() { return readBool(QStringLiteral("DebugLog"), false); }
bool setDebugLogSetting(bool on, QString *error)
{
    return writeBool(QStringLiteral("DebugLog"), on, settingsWriteFailure(QStringLiteral("调试日志设置")), error);
}

int pdfExportMode() { return readInt(QStringLiteral("PdfExportMode"), 1); }
bool setPdfExportMode(int value, QString *error)
{
    return writeInt(QStringLiteral("PdfExportMode"), value, 1,
                    settingsWriteFailure(QStringLiteral("导出 PDF 方式")), error);
}

QString defaultSavePath()
{
    const QString path = readString(QStringLiteral("DefaultSavePath")).trimmed();
    return path.isEmpty() ? QString() : QDir::toNativeSeparators(path);
}

bool setDefaultSavePath(const QString &path, QString *error)
{
    return writePath(QStringLiteral("DefaultSavePath"), path.trimmed(),
                     settingsWriteFailure(QStringLiteral("默认保存路径")), error);
}

QString boardKindSetting() { return readString(QStringLiteral("BoardKind")); }
bool setBoardKindSetting(const QString &key, QString *error)
{
    return writeSettingsStore([&](QSettings &store) { store.setValue(QStringLiteral("BoardKind"), key); },
                              settingsWriteFailure(QStringLiteral("白板样式")), error);
}

bool boardChalkSetting() { return readBool(QStringLiteral("BoardChalk"), false); }
bool setBoardChalkSetting(bool on, QString *error)
{
    return writeBool(QStringLiteral("BoardChalk"), on, settingsWriteFailure(QStringLiteral("白板样式")), error);
}

QString libreOfficePath() { return readString(QStringLiteral("LibreOfficePath")); }
bool setLibreOfficePath(const QString &path, QString *error)
{
    return writePath(QStringLiteral("LibreOfficePath"), path,
                     settingsWriteFailure(QStringLiteral("LibreOffice 路径")), error);
}
