#pragma once

#include <QList>
#include <QString>

#include <functional>

class QObject;
class QWidget;

// What loading an interface file does after creating its objects: the artwork named in each
// object's "image" property (put in place by the caller, who knows the artwork), the outlets
// (pointer properties named like an object of the file), the actions (each button's "action" names
// an operation of a view around it, or of the file's owner), and last awakeFromNib on every object
// that has it.
class KPNibWiring
{
public:
    using ImageSetter = std::function<void(QWidget* widget, const QString& imageName)>;

    static void wire(QWidget* root, QObject* owner, const ImageSetter& setImage);

private:
    static void connectOutlets(const QList<QObject*>& objects, QWidget* root);
    static void connectActions(const QList<QWidget*>& objects, QObject* owner);
};
