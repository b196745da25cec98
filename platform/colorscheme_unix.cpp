#include "platform/colorscheme.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QVector>

// The desktop portal's settings interface carries the freedesktop
// appearance preference on GNOME, KDE and others.

namespace {

const char kService[] = "org.freedesktop.portal.Desktop";
const char kPath[] = "/org/freedesktop/portal/desktop";
const char kInterface[] = "org.freedesktop.portal.Settings";
const char kNamespace[] = "org.freedesktop.appearance";
const char kKey[] = "color-scheme";
// Asked without waiting: the window is built and painted meanwhile and
// takes the answer when it comes. A portal that never answers leaves the
// preference unknown.
constexpr int kCallTimeoutMs = 2000;

// Without an address libdbus would try to auto-launch a bus; a machine
// without a session bus (a service, CI) simply has no portal.
bool sessionBusConfigured()
{
    // Set but empty means no bus on purpose (the tests' sandbox).
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

// Read returns the value wrapped in one more variant than ReadOne.
uint unwrapUint(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint result = value.toUInt(&ok);
    return ok ? result : 0;
}

class Watcher : public QObject
{
    Q_OBJECT
public:
    Watcher()
    {
        if (!sessionBusConfigured())
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        // The slot's argument type must be known by name before Qt can
        // match the signal to it.
        qRegisterMetaType<QDBusVariant>();
        // Matched by path and interface, not by the portal's name: naming it
        // would make Qt look up its owner with a blocking call.
        bus.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                    QStringLiteral("SettingChanged"), this, SLOT(onSettingChanged(QString, QString, QDBusVariant)));
        askPortal(bus, "ReadOne");
    }

    DesktopScheme scheme() const { return m_scheme; }

    void add(QObject *context, std::function<void()> changed)
    {
        if (!m_filtering) {
            QCoreApplication::instance()->installEventFilter(this);
            m_filtering = true;
        }
        m_listeners.append({context, std::move(changed)});
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Every top-level window gets its own copy of the event.
        if (event->type() == QEvent::ThemeChange)
            notifySoon();
        return QObject::eventFilter(watched, event);
    }

private slots:
    void onSettingChanged(const QString &group, const QString &key, const QDBusVariant &value)
    {
        if (group != QLatin1String(kNamespace) || key != QLatin1String(kKey))
            return;
        m_scheme = schemeFromPortalValue(unwrapUint(value.variant()));
        m_answered = true;
        notifySoon();
    }

private:
    struct Listener
    {
        QPointer<QObject> context;
        std::function<void()> changed;
    };

    void askPortal(QDBusConnection &bus, const char *method)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                           QString::fromLatin1(kInterface), QString::fromLatin1(method));
        call << QString::fromLatin1(kNamespace) << QString::fromLatin1(kKey);
        auto *pending = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs), this);
        const bool first = qstrcmp(method, "ReadOne") == 0;
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, first] {
            pending->deleteLater();
            const QDBusMessage reply = pending->reply();
            // Portals before version 2 only have the older Read.
            if (first && reply.type() == QDBusMessage::ErrorMessage
                && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
                QDBusConnection bus = QDBusConnection::sessionBus();
                askPortal(bus, "Read");
                return;
            }
            // A change signal that came first is newer than this answer.
            if (m_answered || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                return;
            const DesktopScheme scheme = schemeFromPortalValue(unwrapUint(reply.arguments().constFirst()));
            m_answered = true;
            if (scheme == m_scheme)
                return;
            m_scheme = scheme;
            notifySoon();
        });
    }

    void notifySoon()
    {
        if (m_pending)
            return;
        m_pending = true;
        QTimer::singleShot(0, this, [this] {
            m_pending = false;
            const QVector<Listener> listeners = m_listeners;
            for (const Listener &listener : listeners) {
                if (listener.context)
                    listener.changed();
            }
            m_listeners.removeIf([](const Listener &l) { return l.context.isNull(); });
        });
    }

    DesktopScheme m_scheme = DesktopScheme::Unknown;
    bool m_answered = false;
    QVector<Listener> m_listeners;
    bool m_pending = false;
    bool m_filtering = false;
};

Watcher &watcher()
{
    // Parented to the application so that it goes before the bus does.
    static QPointer<Watcher> instance;
    if (!instance) {
        instance = new Watcher;
        instance->setParent(QCoreApplication::instance());
    }
    return *instance;
}

} // namespace

DesktopScheme schemeFromPortalValue(uint value)
{
    switch (value) {
    case 1:
        return DesktopScheme::Dark;
    case 2:
        return DesktopScheme::Light;
    default:
        return DesktopScheme::Unknown;
    }
}

DesktopScheme desktopColorScheme()
{
    if (!QCoreApplication::instance())
        return DesktopScheme::Unknown;
    return watcher().scheme();
}

bool paletteIsDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

void watchDesktopColorScheme(QObject *context, std::function<void()> changed)
{
    if (!QCoreApplication::instance())
        return;
    watcher().add(context, std::move(changed));
}

#include "colorscheme_unix.moc"
