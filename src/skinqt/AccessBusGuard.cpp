#include "skinqt/AccessBusGuard.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QHash>
#include <QLocale>
#include <QPointer>
#include <QSet>
#include <QXmlStreamReader>

namespace pelko {

// A reference to an accessible object: (bus name, object path).
struct AtspiObjectRef {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& arg, const AtspiObjectRef& ref)
{
    arg.beginStructure();
    arg << ref.service << ref.path;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, AtspiObjectRef& ref)
{
    arg.beginStructure();
    arg >> ref.service >> ref.path;
    arg.endStructure();
    return arg;
}

} // namespace pelko

Q_DECLARE_METATYPE(pelko::AtspiObjectRef)

namespace pelko {

namespace {

// The names Qt's bridge uses: its bus connection, the subtree of its
// accessible objects (the application is ".../root") and the object it
// registers itself at before its adaptor.
const QString kConnectionName = QStringLiteral("a11y");
const QString kAccessiblePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString kNullPath = QStringLiteral("/org/a11y/atspi/null");
const QString kBridgePath = QStringLiteral("/org/a11y/atspi/registry/deviceeventcontroller");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

QAccessibleInterface* interfaceAt(const QString& path)
{
    QAccessibleInterface* iface = nullptr;
    if (path == kRootPath) {
        iface = QAccessible::queryAccessibleInterface(QCoreApplication::instance());
    } else if (path.startsWith(kAccessiblePath + QLatin1Char('/'))) {
        bool ok = false;
        const uint id = path.mid(kAccessiblePath.size() + 1).toUInt(&ok);
        if (ok)
            iface = QAccessible::accessibleInterface(QAccessible::Id(id));
    }
    return iface && iface->isValid() ? iface : nullptr;
}

QString pathOf(QAccessibleInterface* iface)
{
    if (!iface || !iface->isValid())
        return kNullPath;
    if (iface->role() == QAccessible::Application)
        return kRootPath;
    return kAccessiblePath + QLatin1Char('/') + QString::number(QAccessible::uniqueId(iface));
}

QVariantMap allProperties(QAccessibleInterface* iface, const QString& interface, const QString& path,
                          const QDBusConnection& bus)
{
    QVariantMap props;
    if (interface == QLatin1String("org.a11y.atspi.Accessible")) {
        props[QStringLiteral("Name")] = iface->text(QAccessible::Name);
        props[QStringLiteral("Description")] = iface->text(QAccessible::Description);
        props[QStringLiteral("ChildCount")] = iface->childCount();
        QAccessibleInterface* parent = iface->parent();
        props[QStringLiteral("Parent")] =
            QVariant::fromValue(AtspiObjectRef{bus.baseService(), QDBusObjectPath(pathOf(parent))});
    } else if (interface == QLatin1String("org.a11y.atspi.Application") && path == kRootPath) {
        props[QStringLiteral("ToolkitName")] = QStringLiteral("Qt");
        props[QStringLiteral("Version")] = QString::fromLatin1(qVersion());
    } else if (interface == QLatin1String("org.a11y.atspi.Text") && iface->textInterface()) {
        props[QStringLiteral("CharacterCount")] = iface->textInterface()->characterCount();
        props[QStringLiteral("CaretOffset")] = iface->textInterface()->cursorPosition();
    } else if (interface == QLatin1String("org.a11y.atspi.Value") && iface->valueInterface()) {
        QAccessibleValueInterface* v = iface->valueInterface();
        props[QStringLiteral("MinimumValue")] = v->minimumValue().toDouble();
        props[QStringLiteral("MaximumValue")] = v->maximumValue().toDouble();
        props[QStringLiteral("MinimumIncrement")] = v->minimumStepSize().toDouble();
        props[QStringLiteral("CurrentValue")] = v->currentValue().toDouble();
    }
    return props;
}

class BusGuard : public QDBusVirtualObject {
public:
    BusGuard(const QDBusConnection& bus, QDBusVirtualObject* adaptor)
        : QDBusVirtualObject(QCoreApplication::instance()), bus_(bus), adaptor_(adaptor)
    {
    }

    QString introspect(const QString& path) const override
    {
        QDBusVirtualObject* a = adaptor();
        return a ? a->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QVariantList args = message.arguments();
        if (message.interface() == kProperties)
            return properties(message, args, connection);
        if (args.size() < declaredArguments(message))
            return refuse(message, connection);
        QDBusVirtualObject* a = adaptor();
        return a && a->handleMessage(message, connection);
    }

private:
    // Qt's adaptor: given when it was registered before the guard, else the
    // child of the bridge (which registers itself first) that is one.
    QDBusVirtualObject* adaptor() const
    {
        if (!adaptor_) {
            if (QObject* bridge = bus_.objectRegisteredAt(kBridgePath)) {
                const auto children = bridge->findChildren<QDBusVirtualObject*>(Qt::FindDirectChildrenOnly);
                for (QDBusVirtualObject* child : children)
                    if (child != this)
                        adaptor_ = child;
            }
        }
        return adaptor_;
    }

    bool properties(const QDBusMessage& message, const QVariantList& args, const QDBusConnection& connection)
    {
        const auto isString = [&](int i) { return args.size() > i && args.at(i).userType() == QMetaType::QString; };
        const QString member = message.member();
        if (member == QLatin1String("GetAll")) {
            if (args.size() != 1 || !isString(0))
                return refuse(message, connection);
            QAccessibleInterface* iface = interfaceAt(message.path());
            if (!iface)
                return false;
            connection.send(message.createReply(
                QVariant::fromValue(allProperties(iface, args.at(0).toString(), message.path(), connection))));
            return true;
        }
        const int wanted = member == QLatin1String("Get") ? 2 : member == QLatin1String("Set") ? 3 : -1;
        if (args.size() != wanted || !isString(0) || !isString(1))
            return refuse(message, connection);
        QDBusVirtualObject* a = adaptor();
        return a && a->handleMessage(message, connection);
    }

    bool refuse(const QDBusMessage& message, const QDBusConnection& connection)
    {
        connection.send(message.createErrorReply(
            kInvalidArgs, QStringLiteral("Wrong arguments for %1.%2").arg(message.interface(), message.member())));
        return true;
    }

    // The number of arguments the adaptor's introspection gives the method
    // (0 for a method it does not declare), learnt once per interface.
    int declaredArguments(const QDBusMessage& message)
    {
        const QString key = message.interface() + QLatin1Char('.') + message.member();
        if (!learnt_.contains(message.interface()))
            learn(introspect(message.path()));
        return declared_.value(key, 0);
    }

    void learn(const QString& xml)
    {
        QXmlStreamReader r(xml);
        QString interface, method;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                const auto name = r.name();
                const auto attr = r.attributes();
                if (name == QLatin1String("interface")) {
                    interface = attr.value(QLatin1String("name")).toString();
                    learnt_.insert(interface);
                } else if (name == QLatin1String("method")) {
                    method = interface + QLatin1Char('.') + attr.value(QLatin1String("name")).toString();
                    declared_.insert(method, 0);
                } else if (name == QLatin1String("arg") && !method.isEmpty() &&
                           attr.value(QLatin1String("direction")) != QLatin1String("out")) {
                    ++declared_[method];
                }
            } else if (r.isEndElement() && r.name() == QLatin1String("method")) {
                method.clear();
            }
        }
    }

    QDBusConnection bus_;
    mutable QPointer<QDBusVirtualObject> adaptor_;
    QSet<QString> learnt_;
    QHash<QString, int> declared_;
};

} // namespace

void GuardAccessibilityBus()
{
    static QPointer<BusGuard> guard;
    if (guard || !QCoreApplication::instance())
        return;
    QDBusConnection bus(kConnectionName);
    if (!bus.isConnected())
        return;
    qDBusRegisterMetaType<AtspiObjectRef>();
    auto* qtAdaptor = qobject_cast<QDBusVirtualObject*>(bus.objectRegisteredAt(kAccessiblePath));
    auto* g = new BusGuard(bus, qtAdaptor);
    if (qtAdaptor)
        bus.unregisterObject(kAccessiblePath);
    if (!bus.registerVirtualObject(kAccessiblePath, g, QDBusConnection::SubPath)) {
        delete g;
        if (qtAdaptor)
            bus.registerVirtualObject(kAccessiblePath, qtAdaptor, QDBusConnection::SubPath);
        return;
    }
    guard = g;
}

} // namespace pelko
