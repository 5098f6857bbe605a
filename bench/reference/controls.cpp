// The second reference of the process figures: the bare reference's main window (three empty
// menus, a status bar, a fixed 547 x 379 client area) plus what the launcher's window shows in
// it, with none of its logic: four coloured rows holding the sixteen tools as a picture label
// and a caption label each, with the launcher's pictures, captions, colours and geometry. No
// language file, settings, single copy, update check or input handling.
//
//   corvane_reference_controls     shows the window in the top right corner of the screen

#include "app/toolcatalog.h"
#include "common/layout.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

int main(int, char* argv[])
{
    using namespace corvane;

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication::setApplicationName(QStringLiteral("CorvaneReferenceControls"));
    QApplication app(qtArgc, qtArgv);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Reference with controls"));
    QFont font = QGuiApplication::font();
    font.setPixelSize(11); // the launcher's text size
    window.setFont(font);
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.menuBar()->addMenu(QStringLiteral("Settings"));
    window.menuBar()->addMenu(QStringLiteral("Help"));

    auto* client = new QWidget;
    client->setFixedSize(layout::ClientWidth, layout::StatusTop);
    QPalette grey = client->palette();
    grey.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    client->setPalette(grey);
    std::array<QWidget*, Categories.size()> rows{};
    for (std::size_t row = 0; row < Categories.size(); ++row) {
        rows[row] = new QWidget(client);
        rows[row]->setGeometry(0, static_cast<int>(row) * layout::RowHeight, layout::ClientWidth,
                               layout::RowHeight);
        rows[row]->setAutoFillBackground(true);
        QPalette pal = rows[row]->palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(Categories[row].background));
        rows[row]->setPalette(pal);
    }
    for (const ToolEntry& tool : Tools) {
        QWidget* row = rows[static_cast<std::size_t>(tool.category)];
        const int left = layout::buttonLeft(tool.position);
        auto* image = new QLabel(row);
        image->setGeometry(left, layout::RowBorder, layout::ButtonWidth, layout::ImageHeight);
        image->setAlignment(Qt::AlignCenter);
        image->setPixmap(QPixmap(u":/icons/" + tool.icon + u"_36.png"));
        auto* caption = new QLabel(row);
        caption->setGeometry(left, layout::RowBorder + layout::ImageHeight, layout::ButtonWidth,
                             layout::ButtonHeight - layout::ImageHeight);
        caption->setTextFormat(Qt::PlainText);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        caption->setWordWrap(true);
        caption->setText(tool.caption.defaultText.toString());
    }
    window.setCentralWidget(client);
    auto* status = new QStatusBar(&window);
    status->setSizeGripEnabled(false);
    status->setFixedHeight(layout::StatusHeight);
    window.setStatusBar(status);

    // Beside the bare reference (top left) and the launcher (centred), so that none of the
    // three covers another.
    window.move(window.screen()->availableGeometry().topRight() -
                QPoint(layout::ClientWidth + 1, 0));
    window.show();
    return QApplication::exec();
}
