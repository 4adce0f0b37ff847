#include "widgets/sidebar/component.h"

#include <QHash>

namespace sidebar {

Component::Component(QObject* owner, Creation creation)
    : QObject(owner), loading_(creation == Creation::FromStream)
{
}

QList<Component*> Component::streamChildren(const QObject*) const { return {}; }

Component* Component::parentComponent() const { return nullptr; }

void Component::setParentComponent(Component*) {}

void Component::loaded() { loading_ = false; }

namespace {

QHash<QString, ComponentFactory>& registry()
{
    static QHash<QString, ComponentFactory> classes;
    return classes;
}

[[noreturn]] void wrongKind(const QString& property, const char* expected)
{
    throw StreamError("Property " + property.toStdString() + " is not " + expected);
}

}  // namespace

void registerComponentClass(const QString& className, ComponentFactory factory)
{
    registry().insert(className, std::move(factory));
}

bool isComponentClassRegistered(const QString& className) { return registry().contains(className); }

Component* createRegisteredComponent(const QString& className, QObject* owner)
{
    const auto it = registry().constFind(className);
    if (it == registry().constEnd())
        return nullptr;
    return it.value()(owner);
}

qint32 intValue(const QString& property, const PropertyValue& value)
{
    if (const auto* v = std::get_if<qint32>(&value))
        return *v;
    wrongKind(property, "an integer");
}

QString stringValue(const QString& property, const PropertyValue& value)
{
    if (const auto* v = std::get_if<QString>(&value))
        return *v;
    wrongKind(property, "a string");
}

bool boolValue(const QString& property, const PropertyValue& value)
{
    if (const auto* v = std::get_if<bool>(&value))
        return *v;
    wrongKind(property, "a boolean");
}

QStringList stringListValue(const QString& property, const PropertyValue& value)
{
    if (const auto* v = std::get_if<QStringList>(&value))
        return *v;
    wrongKind(property, "a list of strings");
}

QString referenceName(const QString& property, const PropertyValue& value)
{
    if (const auto* v = std::get_if<ObjectReference>(&value))
        return v->name;
    wrongKind(property, "a reference");
}

}  // namespace sidebar
