// The yardstick for the start-up figure: the least Qt Widgets program that shows a
// window, started and timed the way the client is (it logs when its window appears).
#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QMainWindow>

Q_LOGGING_CATEGORY(lcBench, "orvel.bench")

namespace {
class ReadyLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void showEvent(QShowEvent* event) override {
        QLabel::showEvent(event);
        qCInfo(lcBench) << "window ready";
    }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new ReadyLabel(QStringLiteral("OrvelVPN")));
    window.resize(350, 500);
    window.show();
    return app.exec();
}
