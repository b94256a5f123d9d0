// The yardstick for the program's own cost: a Qt program that shows a tray icon and nothing else.
// With --window it first builds a hidden window of three tabs with text boxes, option buttons and
// push buttons, the shape of the program's settings window, so the cost of such a window built at
// start-up can be told apart from the rest.

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTabWidget>

#include <memory>

namespace {

std::unique_ptr<QDialog> hiddenWindow()
{
    auto window = std::make_unique<QDialog>();
    auto* tabs = new QTabWidget(window.get());
    for (const char* title : {"&Server", "&Notification", "Start &Up"}) {
        auto* page = new QWidget;
        auto* frame = new QGroupBox(QStringLiteral("Frame"), page);
        for (int i = 0; i < 3; ++i) {
            new QLineEdit(QStringLiteral("pop.example.com"), frame);
            new QRadioButton(QStringLiteral("&Option"), frame);
        }
        tabs->addTab(page, QString::fromLatin1(title));
    }
    for (const char* text : {"&OK", "Cancel", "&Quit", "Check &Now"})
        new QPushButton(QString::fromLatin1(text), window.get());
    return window;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<QDialog> window;
    if (QApplication::arguments().contains(QStringLiteral("--window")))
        window = hiddenWindow();
    QPixmap picture(22, 22);
    picture.fill(Qt::darkBlue);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.setToolTip(QStringLiteral("Empty"));
    icon.show();
    return QApplication::exec();
}
