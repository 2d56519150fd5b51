#include "platform/KPNibWiring.h"

#include <QAbstractButton>
#include <QMetaMethod>
#include <QMetaProperty>

namespace {

// The operation `name` of the object, taking no argument or the sending button.
QMetaMethod actionOf(const QObject* object, const QByteArray& name)
{
    const QMetaObject* meta = object->metaObject();
    for (const QByteArray& signature : {name + "()", name + "(QAbstractButton*)"}) {
        const int index = meta->indexOfMethod(signature.constData());
        if (index >= 0)
            return meta->method(index);
    }
    return {};
}

} // namespace

void KPNibWiring::wire(QWidget* root, QObject* owner, const ImageSetter& setImage)
{
    QList<QWidget*> widgets{root};
    widgets += root->findChildren<QWidget*>();
    QList<QObject*> objects{owner};
    for (QWidget* widget : std::as_const(widgets))
        objects << widget;

    for (QWidget* widget : std::as_const(widgets)) {
        const QString image = widget->property("image").toString();
        if (!image.isEmpty())
            setImage(widget, image);
    }
    connectOutlets(objects, root);
    connectActions(widgets, owner);
    for (QWidget* widget : std::as_const(widgets)) {
        if (widget->metaObject()->indexOfMethod("awakeFromNib()") >= 0)
            QMetaObject::invokeMethod(widget, "awakeFromNib", Qt::DirectConnection);
    }
}

void KPNibWiring::connectOutlets(const QList<QObject*>& objects, QWidget* root)
{
    for (QObject* object : objects) {
        const QMetaObject* meta = object->metaObject();
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (!(property.metaType().flags() & QMetaType::PointerToQObject) ||
                !property.isWritable())
                continue;
            QObject* target = root->objectName() == QLatin1String(property.name())
                                  ? root
                                  : root->findChild<QObject*>(QLatin1String(property.name()));
            if (!target || !property.write(object, QVariant::fromValue(target)))
                qWarning("KPNibWiring: Outlet %s of %s not connected", property.name(),
                         meta->className());
        }
    }
}

void KPNibWiring::connectActions(const QList<QWidget*>& objects, QObject* owner)
{
    for (QWidget* widget : objects) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        const QByteArray name = widget->property("action").toByteArray();
        if (!button || name.isEmpty())
            continue;
        // The nearest view around the button that answers the action, else the file's owner.
        QObject* target = nullptr;
        QMetaMethod action;
        for (QObject* candidate = button->parent(); candidate && !target;
             candidate = candidate->parent()) {
            if ((action = actionOf(candidate, name)).isValid())
                target = candidate;
        }
        if (!target && (action = actionOf(owner, name)).isValid())
            target = owner;
        if (!target) {
            qWarning("KPNibWiring: Action %s of %s not found", name.constData(),
                     qPrintable(button->objectName()));
            continue;
        }
        QObject::connect(button, &QAbstractButton::clicked, target, [target, action, button] {
            if (action.parameterCount() == 0)
                action.invoke(target, Qt::DirectConnection);
            else
                action.invoke(target, Qt::DirectConnection, Q_ARG(QAbstractButton*, button));
        });
    }
}
