#pragma once

#include "ui/TrackingButton.h"

#include <QIcon>

// A side-menu button: shows its highlight image while the pointer is over it, and keeps
// it on leaving when the menu has just made it the current screen's button.
class MenuButton final : public TrackingButton {
    Q_OBJECT
public:
    explicit MenuButton(QWidget* parent = nullptr);

    // The image the button showed when the pointer entered; null when none was stored.
    QIcon beforeImage;
    // Set by the menu when this button switched the screen; the next exit consumes it.
    bool isClicked = false;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    void mouseEntered();
    void mouseExited();

    // The highlight image name of a tag 1 to 6; empty for any other tag.
    static QString highlightImageName(int tag);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int m_tag = 0;
};
