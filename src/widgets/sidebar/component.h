#pragma once
// The small component model the store and its items stand on: a QObject whose owner is its
// QObject parent and whose name is its objectName, with the loading / destroying / designing
// states, the hooks the form stream calls, and the registry of streamable classes.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <variant>

namespace sidebar {

// How a component comes into being: by code, or by the form stream (which fills it in).
enum class Creation { Normal, FromStream };

// A reference to another object of the form, carried by name.
struct ObjectReference {
    QString name;
    bool operator==(const ObjectReference&) const = default;
};

using PropertyValue = std::variant<qint32, QString, bool, QStringList, ObjectReference>;

// Finds the object a reference names while a form is read; nullptr when there is none.
using ReferenceResolver = std::function<QObject*(const QString& name)>;

class StreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PropertyWriter {
public:
    virtual ~PropertyWriter() = default;
    virtual void writeProperty(const QString& name, const PropertyValue& value) = 0;
};

class Component : public QObject {
    Q_OBJECT
public:
    explicit Component(QObject* owner, Creation creation = Creation::Normal);

    QObject* owner() const { return parent(); }
    QString name() const { return objectName(); }

    bool isLoading() const { return loading_; }
    bool isDestroying() const { return destroying_; }
    bool isDesigning() const { return designing_; }
    void setDesigning(bool on) { designing_ = on; }

    virtual QString className() const = 0;

    // Streaming: the properties worth storing, reading one back, the children written with
    // this component when `root` is written, and the parent a child is read under.
    virtual void writeProperties(PropertyWriter& writer) const = 0;
    virtual void readProperty(const QString& name, const PropertyValue& value,
                              const ReferenceResolver& resolve) = 0;
    virtual QList<Component*> streamChildren(const QObject* root) const;
    virtual Component* parentComponent() const;
    virtual void setParentComponent(Component* parent);

    // Called once the whole form has been read; ends the loading state.
    virtual void loaded();

protected:
    // Derived destructors call this first so that notifications see the state.
    void beginDestroying() { destroying_ = true; }

private:
    bool loading_ = false;
    bool destroying_ = false;
    bool designing_ = false;
};

// Streamable classes by name. A factory builds a component in the loading state.
using ComponentFactory = std::function<Component*(QObject* owner)>;

void registerComponentClass(const QString& className, ComponentFactory factory);
bool isComponentClassRegistered(const QString& className);
Component* createRegisteredComponent(const QString& className, QObject* owner);

// Helpers for readProperty: take a value of the expected kind or throw a StreamError.
qint32 intValue(const QString& property, const PropertyValue& value);
QString stringValue(const QString& property, const PropertyValue& value);
bool boolValue(const QString& property, const PropertyValue& value);
QStringList stringListValue(const QString& property, const PropertyValue& value);
QString referenceName(const QString& property, const PropertyValue& value);

// Resolves a reference to an object of type T; an empty name gives nullptr; a name that
// does not resolve to a T is a StreamError.
template <class T>
T* resolveReference(const QString& property, const PropertyValue& value, const ReferenceResolver& resolve)
{
    const QString target = referenceName(property, value);
    if (target.isEmpty())
        return nullptr;
    QObject* found = resolve ? resolve(target) : nullptr;
    T* typed = qobject_cast<T*>(found);
    if (!typed)
        throw StreamError("Unresolved reference '" + target.toStdString() + "' in property " +
                          property.toStdString());
    return typed;
}

}  // namespace sidebar
