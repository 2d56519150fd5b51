#include "settings/KPSettingsViewCell.h"

#include "platform/KPDeviceIdiom.h"
#include "ui/KPImages.h"

#include <QLabel>

KPSettingsViewCell::KPSettingsViewCell(const QString& cellIdentifier, QWidget* parent)
    : KPSmartTableViewCell(cellIdentifier, parent)
{
    QFont font = textLabel()->font();
    font.setBold(true);
    font.setPixelSize(KPDeviceIdiom::isPhone() ? 16 : 26);
    textLabel()->setFont(font);

    const QString mark = KPImages::nameWithSuffix(QStringLiteral("settings_table_accessory"),
                                                  QStringLiteral("@2x"), KPDeviceIdiom::isPad());
    auto* accessory = new QLabel(this);
    accessory->setObjectName(QStringLiteral("accessoryView"));
    accessory->setPixmap(KPImages::named(mark));
    accessory->resize(KPImages::sizeOf(mark));
    setAccessoryView(accessory);
}

void KPSettingsViewCell::showSelected(bool selected)
{
    if (accessoryView())
        accessoryView()->setVisible(selected);
}
