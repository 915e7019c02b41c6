#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

// One row of the selection list: flag, name, availability, carrier.
class CustomTableCell final : public QWidget {
    Q_OBJECT
public:
    explicit CustomTableCell(QWidget* parent = nullptr);

    QPointer<QLabel> countryFlagImage;
    QPointer<QLabel> serverName;
    QPointer<QLabel> serverStatus;
    QPointer<QLabel> serverTelecom;

    void configureCell(const QString& country, const QString& name, bool is_active, bool is_status,
                       const QString& telecom);
};
