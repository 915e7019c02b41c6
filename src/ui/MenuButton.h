#pragma once

#include <QIcon>
#include <QPushButton>

// A side-menu button: shows its highlight image while the pointer is over it, and keeps
// it on leaving when the menu has just made it the current screen's button.
class MenuButton final : public QPushButton {
    Q_OBJECT
public:
    explicit MenuButton(QWidget* parent = nullptr);

    // The image the button showed when the pointer entered; null when none was stored.
    QIcon beforeImage;
    // Set by the menu when this button switched the screen; the next exit consumes it.
    bool isClicked = false;

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    void updateTrackingAreas();
    QRect trackingArea() const { return m_trackingArea; }

    void mouseEntered();
    void mouseExited();

    // The highlight image name of a tag 1 to 6; empty for any other tag.
    static QString highlightImageName(int tag);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The one region watched for the pointer: the bounds at the last geometry change.
    QRect m_trackingArea;
    int m_tag = 0;
};
