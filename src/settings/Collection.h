// A collection a language file addresses by "Index" (status-bar panels, list-view columns).
#pragma once

#include <QObject>

class TOcCollection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual int Count() const = 0;
    // The item at 0 <= i < Count(); its properties are found through the registry.
    virtual QObject* Item(int i) const = 0;
};
