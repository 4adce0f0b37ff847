#pragma once
// The form stream: a component, its properties and its stream children, written as a small
// binary record and read back through the registry of component classes.
//
//   stream   = "SBF1" object
//   object   = string className, string name, u32 propertyCount, property*,
//              u32 childCount, object*
//   property = string name, u8 kind, value
//              kind 1 int (i32), 2 string, 3 bool (u8 0/1), 4 string list (u32 count,
//              string*), 5 reference (string: the name of the object referred to)
//   string   = u32 byte count, UTF-8 bytes
// Integers are little-endian. Every count is checked against the bytes left before use.

#include "widgets/sidebar/component.h"

#include <QByteArray>
#include <QByteArrayView>

namespace sidebar {

// Writes `component` with every child it streams for `root` (usually the owner of the form).
QByteArray writeComponent(const Component& component, const QObject* root);

// Reads one component (and its children) created with `owner`; references are looked up
// through `resolve`. Every component read is loaded before this returns. On bad input a
// StreamError is thrown and nothing read is left behind.
Component* readComponent(QByteArrayView data, QObject* owner, const ReferenceResolver& resolve = {});

}  // namespace sidebar
