// Linux has no Office keys: only the program's own key exists, kept in the
// settings store, so a backup written on Windows-like logic still lands
// somewhere real and the restore paths behave as on a machine without Office.
#include "system/settingsstore.h"
#include "system/wordreminder.h"

namespace {

class SettingsBackedStore : public KeyValueStore
{
public:
    QStringList subkeys(const QString &) const override { return {}; }

    bool hasValue(const QString &key, const QString &name) const override
    {
        return key == lecternKey() && m_settings->contains(name);
    }

    QVariant value(const QString &key, const QString &name) const override
    {
        return key == lecternKey() ? m_settings->value(name) : QVariant();
    }

    void setValue(const QString &key, const QString &name, const QVariant &value) override
    {
        if (key == lecternKey())
            m_settings->setValue(name, value);
    }

    void removeValue(const QString &key, const QString &name) override
    {
        if (key == lecternKey())
            m_settings->remove(name);
    }

    bool flush(const QString &key) override
    {
        if (key != lecternKey())
            return false;
        m_settings->sync();
        return m_settings->status() == QSettings::NoError;
    }

private:
    std::unique_ptr<QSettings> m_settings = openSettingsStore();
};

} // namespace

std::unique_ptr<KeyValueStore> openWordOptionsStore()
{
    return std::make_unique<SettingsBackedStore>();
}
