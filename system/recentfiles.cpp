#include "system/settings.h"

#include "platform/desktopwords.h"
#include "system/settingsstore.h"
#include "system/temppath.h"

#include <QDir>

namespace {

constexpr int kMaxRecentFiles = 8;

void removeIgnoringCase(QStringList &list, const QString &path)
{
    list.removeIf([&path](const QString &entry) {
        return entry.compare(path, Qt::CaseInsensitive) == 0;
    });
}

bool writeRecentFiles(const QStringList &list, QString *error)
{
    return writeSettingsStore(
        [&list](QSettings &store) {
            if (list.isEmpty())
                store.remove(QStringLiteral("RecentFiles"));
            else
                store.setValue(QStringLiteral("RecentFiles"), list);
        },
        settingsWriteFailure(QStringLiteral("最近项目")), error);
}

} // namespace

QStringList readRecentFiles()
{
    const auto store = openSettingsStore();
    const QVariant value = store->value(QStringLiteral("RecentFiles"));
    // A single string (one entry, or edited by hand) reads as a one-entry list.
    const QStringList stored = value.typeId() == QMetaType::QString ? QStringList{ value.toString() }
                                                                     : value.toStringList();
    QStringList result;
    for (const QString &entry : stored) {
        const QString path = entry.trimmed();
        if (path.isEmpty())
            continue;
        const bool seen = std::any_of(result.cbegin(), result.cend(), [&path](const QString &kept) {
            return kept.compare(path, Qt::CaseInsensitive) == 0;
        });
        if (!seen)
            result.append(path);
    }
    return result;
}

bool addRecentFile(const QString &path, QString *error)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty()) {
        if (error)
            error->clear();
        return true;
    }
    if (isTemporaryPath(trimmed)) {
        if (error)
            *error = QStringLiteral("临时文件不会加入最近项目");
        return false;
    }
    QStringList list = readRecentFiles();
    removeIgnoringCase(list, trimmed);
    list.prepend(trimmed);
    while (list.size() > kMaxRecentFiles)
        list.removeLast();
    return writeRecentFiles(list, error);
}

bool removeRecentFile(const QString &path, QString *error)
{
    QStringList list = readRecentFiles();
    removeIgnoringCase(list, path.trimmed());
    return writeRecentFiles(list, error);
}

bool clearRecentFiles(QString *error) { return writeRecentFiles({}, error); }
