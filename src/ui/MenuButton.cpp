#include "ui/MenuButton.h"

#include "ui/ImageNamed.h"

#include <QStringList>

MenuButton::MenuButton(QWidget* parent) : TrackingButton(parent) {}

QString MenuButton::highlightImageName(int tag) {
    static const QStringList names{QStringLiteral("ntw_white"), QStringLiteral("usr_white"),
                                   QStringLiteral("cng_white"), QStringLiteral("cd_white"),
                                   QStringLiteral("ext_white"), QStringLiteral("update_white")};
    return (tag >= 1 && tag <= names.size()) ? names.at(tag - 1) : QString();
}

void MenuButton::mouseEntered() {
    beforeImage = icon();
    const QString highlight = highlightImageName(m_tag);
    if (!highlight.isEmpty())
        setIcon(QIcon(imageNamed(highlight)));
}

void MenuButton::mouseExited() {
    if (isClicked) {
        isClicked = false;
        return;
    }
    setIcon(beforeImage);
}

void MenuButton::enterEvent(QEnterEvent* event) {
    TrackingButton::enterEvent(event);
    mouseEntered();
}

void MenuButton::leaveEvent(QEvent* event) {
    TrackingButton::leaveEvent(event);
    mouseExited();
}
