#include "widgets/sidebar/component_stream.h"

#include <QPointer>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace sidebar {

namespace {

constexpr char kMagic[4] = {'S', 'B', 'F', '1'};
constexpr int kMaxDepth = 32;
constexpr quint32 kMaxString = 1u << 20;

enum Kind : quint8 { KindInt = 1, KindString = 2, KindBool = 3, KindStringList = 4, KindReference = 5 };

// ---- writing

class Writer : public PropertyWriter {
public:
    QByteArray out;

    void u8(quint8 v) { out.append(char(v)); }
    void u32(quint32 v)
    {
        for (int i = 0; i < 4; ++i)
            u8(quint8(v >> (8 * i)));
    }
    void string(const QString& s)
    {
        const QByteArray bytes = s.toUtf8();
        u32(quint32(bytes.size()));
        out.append(bytes);
    }

    void writeProperty(const QString& name, const PropertyValue& value) override
    {
        string(name);
        std::visit(
            [this](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, qint32>) {
                    u8(KindInt);
                    u32(quint32(v));
                } else if constexpr (std::is_same_v<T, QString>) {
                    u8(KindString);
                    string(v);
                } else if constexpr (std::is_same_v<T, bool>) {
                    u8(KindBool);
                    u8(v ? 1 : 0);
                } else if constexpr (std::is_same_v<T, QStringList>) {
                    u8(KindStringList);
                    u32(quint32(v.size()));
                    for (const QString& s : v)
                        string(s);
                } else {
                    u8(KindReference);
                    string(v.name);
                }
            },
            value);
        ++count;
    }

    int count = 0;
};

// Properties are counted before they are written, so each object is laid out in a buffer
// of its own first.
void writeObject(Writer& w, const Component& c, const QObject* root)
{
    w.string(c.className());
    w.string(c.objectName());
    Writer props;
    c.writeProperties(props);
    w.u32(quint32(props.count));
    w.out.append(props.out);
    const QList<Component*> children = c.streamChildren(root);
    w.u32(quint32(children.size()));
    for (const Component* child : children)
        writeObject(w, *child, root);
}

// ---- reading

struct PropertyRecord {
    QString name;
    PropertyValue value;
};

struct ObjectRecord {
    QString className;
    QString name;
    std::vector<PropertyRecord> properties;
    std::vector<ObjectRecord> children;
};

class Parser {
public:
    explicit Parser(QByteArrayView data) : data_(data) {}

    ObjectRecord parse()
    {
        if (data_.size() < 4 || std::memcmp(data_.data(), kMagic, 4) != 0)
            fail("not a side-bar form stream");
        pos_ = 4;
        ObjectRecord root = object(0);
        if (pos_ != data_.size())
            fail("unexpected data after the last object");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw StreamError("Form stream error at byte " + std::to_string(pos_) + ": " + what);
    }

    qsizetype left() const { return data_.size() - pos_; }

    void need(qsizetype n) const
    {
        if (n > left())
            fail("stream ends too early");
    }

    quint8 u8()
    {
        need(1);
        return quint8(data_[pos_++]);
    }

    quint32 u32()
    {
        need(4);
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v |= quint32(quint8(data_[pos_ + i])) << (8 * i);
        pos_ += 4;
        return v;
    }

    // A count of records each at least `minSize` bytes long must fit in what is left.
    quint32 count(qsizetype minSize)
    {
        const quint32 n = u32();
        if (qsizetype(n) > left() / minSize)
            fail("count larger than the stream");
        return n;
    }

    QString string()
    {
        const quint32 n = u32();
        if (n > kMaxString)
            fail("string too long");
        need(qsizetype(n));
        const QString s = QString::fromUtf8(data_.data() + pos_, qsizetype(n));
        pos_ += qsizetype(n);
        return s;
    }

    PropertyValue value()
    {
        switch (u8()) {
        case KindInt:
            return qint32(u32());
        case KindString:
            return string();
        case KindBool: {
            const quint8 b = u8();
            if (b > 1)
                fail("boolean neither 0 nor 1");
            return b == 1;
        }
        case KindStringList: {
            const quint32 n = count(4);
            QStringList list;
            list.reserve(qsizetype(n));
            for (quint32 i = 0; i < n; ++i)
                list.append(string());
            return list;
        }
        case KindReference:
            return ObjectReference{string()};
        default:
            fail("unknown property kind");
        }
    }

    ObjectRecord object(int depth)
    {
        if (depth > kMaxDepth)
            fail("objects nested too deeply");
        ObjectRecord o;
        o.className = string();
        if (o.className.isEmpty())
            fail("object without a class name");
        o.name = string();
        const quint32 propertyCount = count(6);
        o.properties.reserve(propertyCount);
        for (quint32 i = 0; i < propertyCount; ++i) {
            PropertyRecord p;
            p.name = string();
            p.value = value();
            o.properties.push_back(std::move(p));
        }
        const quint32 childCount = count(16);
        o.children.reserve(childCount);
        for (quint32 i = 0; i < childCount; ++i)
            o.children.push_back(object(depth + 1));
        return o;
    }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

class Builder {
public:
    Builder(QObject* owner, const ReferenceResolver& resolve) : owner_(owner), resolve_(resolve) {}

    Component* build(const ObjectRecord& record, Component* parent)
    {
        Component* c = createRegisteredComponent(record.className, owner_);
        if (!c)
            throw StreamError("Class " + record.className.toStdString() + " not found");
        created.emplace_back(c);
        c->setObjectName(record.name);
        if (parent) {
            c->setParentComponent(parent);
            // Only a child that takes the parent as its own belongs under it in a form.
            if (c->parentComponent() != parent)
                throw StreamError(record.className.toStdString() + " cannot be read under " +
                                  parent->className().toStdString());
        }
        for (const PropertyRecord& p : record.properties)
            c->readProperty(p.name, p.value, resolve_);
        for (const ObjectRecord& child : record.children)
            build(child, c);
        return c;
    }

    void discard()
    {
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            delete it->data();
        created.clear();
    }

    std::vector<QPointer<Component>> created;

private:
    QObject* owner_;
    const ReferenceResolver& resolve_;
};

}  // namespace

QByteArray writeComponent(const Component& component, const QObject* root)
{
    Writer w;
    w.out.append(kMagic, 4);
    writeObject(w, component, root);
    return w.out;
}

Component* readComponent(QByteArrayView data, QObject* owner, const ReferenceResolver& resolve)
{
    const ObjectRecord record = Parser(data).parse();
    Builder builder(owner, resolve);
    try {
        Component* root = builder.build(record, nullptr);
        for (const QPointer<Component>& c : builder.created)
            if (c)
                c->loaded();
        return root;
    } catch (...) {
        builder.discard();
        throw;
    }
}

}  // namespace sidebar
