#include "ui/UserTop.h"

#include "core/AppState.h"
#include "ui/ImageNamed.h"

#include <QLabel>
#include <QVBoxLayout>

UserTop::UserTop(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 22, 16, 18);
    auto* icon = new QLabel(this);
    icon->setPixmap(imageNamed(QStringLiteral("usr_white"))
                        .scaled(56, 56, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setAlignment(Qt::AlignCenter);
    EmailLabel = new QLabel(this);
    EmailLabel->setAlignment(Qt::AlignCenter);
    EmailLabel->setStyleSheet(QStringLiteral("color: white;"));
    EmailLabel->setWordWrap(true);
    column->addWidget(icon);
    column->addWidget(EmailLabel);
    viewDidLoad();
}

void UserTop::viewDidLoad() {
    setFixedHeight(180);
    setMinimumWidth(150);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(110, 65, 230));
    setPalette(colours);
    EmailLabel->setText(appState().userEmail);
    QFont font = EmailLabel->font();
    font.setPointSize(15);
    EmailLabel->setFont(font);
}
