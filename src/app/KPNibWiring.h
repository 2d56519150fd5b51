#pragma once

#include <QList>

class QObject;
class QWidget;

// What loading an interface file does after creating its objects: the artwork named in each
// object's "image" property, the outlets (pointer properties named like an object of the file),
// the actions (each button's "action" names an operation of a view around it, or of the file's
// owner), and last awakeFromNib on every object that has it.
class KPNibWiring
{
public:
    static void wire(QWidget* root, QObject* owner);

private:
    static void applyImages(const QList<QWidget*>& objects);
    static void connectOutlets(const QList<QObject*>& objects, QWidget* root);
    static void connectActions(const QList<QWidget*>& objects, QObject* owner);
};
