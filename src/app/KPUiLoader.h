#pragma once

#include <QUiLoader>

// Loads an interface file, creating our own view classes where the file names them.
class KPUiLoader : public QUiLoader
{
    Q_OBJECT

public:
    using QUiLoader::QUiLoader;

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override;
};
