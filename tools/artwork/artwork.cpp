// Draws the button, progress and menu images of the client into resources/images.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <functional>

namespace {
using Draw = std::function<void(QPainter&, const QColor&)>;

QString g_folder;

void save(const QString& name, int width, int height, const std::function<void(QPainter&)>& draw) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    image.save(g_folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QPen stroke(const QColor& colour, qreal width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void powerButton(QPainter& p, bool on) {
    const QPointF c(150, 150);
    if (on) {
        QRadialGradient glow(c, 150);
        glow.setColorAt(0.6, QColor(64, 224, 160, 120));
        glow.setColorAt(1.0, QColor(64, 224, 160, 0));
        p.setBrush(glow);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, 150, 150);
    }
    QRadialGradient face(QPointF(120, 110), 140);
    face.setColorAt(0, on ? QColor(92, 236, 176) : QColor(128, 104, 240));
    face.setColorAt(1, on ? QColor(22, 168, 118) : QColor(70, 46, 170));
    p.setBrush(face);
    p.setPen(stroke(on ? QColor(200, 255, 230) : QColor(170, 150, 255), 6));
    p.drawEllipse(c, 112, 112);
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(Qt::white, 16));
    p.drawArc(QRectF(95, 95, 110, 110), 120 * 16, 300 * 16);
    p.drawLine(QPointF(150, 78), QPointF(150, 146));
}

void bar(QPainter& p, const QColor& track, const QColor& dots) {
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawRoundedRect(QRectF(0, 4, 320, 16), 8, 8);
    p.setBrush(dots);
    for (int i = 0; i < 9; ++i)
        p.drawEllipse(QPointF(24 + i * 34, 12), 4, 4);
}

void globe(QPainter& p, const QColor& c) {
    p.setPen(stroke(c, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(28, 28), 20, 20);
    p.drawEllipse(QRectF(19, 8, 18, 40));
    p.drawLine(QPointF(8, 28), QPointF(48, 28));
    p.drawLine(QPointF(12, 18), QPointF(44, 18));
    p.drawLine(QPointF(12, 38), QPointF(44, 38));
}

void person(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(28, 19), 10, 10);
    QPainterPath body;
    body.moveTo(8, 50);
    body.cubicTo(8, 30, 48, 30, 48, 50);
    body.closeSubpath();
    p.drawPath(body);
}

void lock(QPainter& p, const QColor& c) {
    p.setPen(stroke(c, 4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(17, 8, 22, 26), 0, 180 * 16);
    p.drawLine(QPointF(17, 21), QPointF(17, 26));
    p.drawLine(QPointF(39, 21), QPointF(39, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(11, 25, 34, 24), 4, 4);
    p.setBrush(Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QPointF(28, 35), 3.5, 3.5);
    p.drawRect(QRectF(26.5, 36, 3, 7));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void card(QPainter& p, const QColor& c) {
    p.setPen(stroke(c, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6, 13, 44, 30), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(6, 20, 44, 6));
    p.drawRoundedRect(QRectF(12, 33, 12, 4), 2, 2);
}

void exitDoor(QPainter& p, const QColor& c) {
    p.setPen(stroke(c, 4));
    p.setBrush(Qt::NoBrush);
    QPainterPath door;
    door.moveTo(30, 10);
    door.lineTo(12, 10);
    door.lineTo(12, 46);
    door.lineTo(30, 46);
    p.drawPath(door);
    p.drawLine(QPointF(22, 28), QPointF(48, 28));
    p.drawLine(QPointF(40, 20), QPointF(48, 28));
    p.drawLine(QPointF(40, 36), QPointF(48, 28));
}

void update(QPainter& p, const QColor& c) {
    p.setPen(stroke(c, 4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(10, 10, 36, 36), 30 * 16, 150 * 16);
    p.drawArc(QRectF(10, 10, 36, 36), 210 * 16, 150 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPolygonF head1{QPointF(44, 8), QPointF(46, 22), QPointF(33, 17)};
    QPolygonF head2{QPointF(12, 48), QPointF(10, 34), QPointF(23, 39)};
    p.drawPolygon(head1);
    p.drawPolygon(head2);
}

void bell(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath shape;
    shape.moveTo(10, 40);
    shape.cubicTo(15, 34, 14, 26, 15, 20);
    shape.cubicTo(16, 8, 40, 8, 41, 20);
    shape.cubicTo(42, 26, 41, 34, 46, 40);
    shape.closeSubpath();
    p.drawPath(shape);
    p.drawEllipse(QPointF(28, 46), 5, 5);
}

void gear(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.translate(28, 28);
    for (int tooth = 0; tooth < 8; ++tooth) {
        p.drawRoundedRect(QRectF(-4, -22, 8, 10), 2, 2);
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 15, 15);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(QPointF(0, 0), 6, 6);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.resetTransform();
}

enum class TrayState { Disconnected, Connecting, Connected };

// A shield in the client's colours, drawn for each size on its own so that strokes land
// on whole pixels from 16 px up.
void trayShield(QPainter& p, int size, TrayState state) {
    const qreal unit = size / 48.0;
    const qreal line = std::max(1.5, 4.5 * unit);
    p.scale(unit, unit);
    const QColor fill = state == TrayState::Connected    ? QColor(22, 168, 118)
                        : state == TrayState::Connecting ? QColor(119, 89, 249)
                                                         : QColor(90, 84, 120);
    QPainterPath shield;
    shield.moveTo(24, 2);
    shield.lineTo(43, 9);
    shield.cubicTo(43, 28, 36, 39, 24, 46);
    shield.cubicTo(12, 39, 5, 28, 5, 9);
    shield.closeSubpath();
    p.setPen(QPen(QColor(255, 255, 255, 220), line / unit * 0.5));
    p.setBrush(fill);
    p.drawPath(shield);
    p.setPen(stroke(Qt::white, line / unit));
    p.setBrush(Qt::NoBrush);
    switch (state) {
    case TrayState::Connected:
        p.drawPolyline(QPolygonF{QPointF(15, 24), QPointF(21.5, 30.5), QPointF(33, 18)});
        break;
    case TrayState::Connecting:
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int dot = 0; dot < 3; ++dot)
            p.drawEllipse(QPointF(14 + dot * 10, 24), 3.4, 3.4);
        break;
    case TrayState::Disconnected:
        p.drawLine(QPointF(17, 17), QPointF(31, 31));
        p.drawLine(QPointF(31, 17), QPointF(17, 31));
        break;
    }
}

void trayIcons() {
    const std::pair<const char*, TrayState> states[] = {
        {"tray_disconnected", TrayState::Disconnected},
        {"tray_connecting", TrayState::Connecting},
        {"tray_connected", TrayState::Connected}};
    for (const auto& [name, state] : states) {
        for (int size : {16, 22, 24, 32, 48}) {
            save(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(size), size, size,
                 [size, state = state](QPainter& p) { trayShield(p, size, state); });
        }
    }
}

void menuIcon(const QString& name, const Draw& draw) {
    save(name, 56, 56, [&](QPainter& p) { draw(p, QColor(150, 138, 214)); });
    save(name + QStringLiteral("_white"), 56, 56, [&](QPainter& p) { draw(p, Qt::white); });
}
} // namespace

// The application's icon, as packaging/orvelvpn.svg draws it: the window's own when the
// icon theme has none.
void appIcon(QPainter& p) {
    p.scale(0.5, 0.5);
    QLinearGradient background(0, 0, 0, 256);
    background.setColorAt(0, QColor(0x6e, 0x41, 0xe6));
    background.setColorAt(1, QColor(0x2e, 0x1c, 0x7e));
    p.setPen(Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
    QPainterPath shield(QPointF(128, 44));
    shield.lineTo(196, 70);
    shield.lineTo(196, 124);
    shield.cubicTo(196, 166, 166, 198, 128, 212);
    shield.cubicTo(90, 198, 60, 166, 60, 124);
    shield.lineTo(60, 70);
    shield.closeSubpath();
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(Qt::white, 14));
    p.drawPath(shield);
    const QColor yellow(0xff, 0xd9, 0x4a);
    p.setPen(stroke(yellow, 12));
    p.drawEllipse(QPointF(128, 122), 26, 26);
    p.setPen(Qt::NoPen);
    p.setBrush(yellow);
    p.drawRoundedRect(QRectF(122, 146, 12, 34), 6, 6);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artwork OUTPUT_FOLDER\n");
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_folder);
    save(QStringLiteral("main_off"), 300, 300, [](QPainter& p) { powerButton(p, false); });
    save(QStringLiteral("main_on"), 300, 300, [](QPainter& p) { powerButton(p, true); });
    save(QStringLiteral("LoadingBar"), 320, 24,
         [](QPainter& p) { bar(p, QColor(119, 89, 249), QColor(255, 255, 255, 200)); });
    save(QStringLiteral("discon"), 320, 24,
         [](QPainter& p) { bar(p, QColor(90, 84, 120), QColor(160, 156, 180)); });
    save(QStringLiteral("notice"), 56, 56, [](QPainter& p) { bell(p, Qt::white); });
    menuIcon(QStringLiteral("ntw"), globe);
    menuIcon(QStringLiteral("usr"), person);
    menuIcon(QStringLiteral("cng"), lock);
    menuIcon(QStringLiteral("cd"), card);
    menuIcon(QStringLiteral("ext"), exitDoor);
    menuIcon(QStringLiteral("update"), update);
    menuIcon(QStringLiteral("stg"), gear);
    trayIcons();
    save(QStringLiteral("app_icon"), 128, 128, appIcon);
    return 0;
}
