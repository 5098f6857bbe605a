// The reference for the launcher's process figures: a bare Qt Widgets main window of the same
// shape (a menu bar, a status bar and a fixed 547 x 379 central widget) that does nothing else.
//
//   corvane_reference              shows the window
//   corvane_reference --exit       returns from main() at once: the cost of loading Qt alone
//   corvane_reference --tool PATH  also starts PATH (detached) on a click into the window, the
//                                  way the launcher starts a tool

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QStatusBar>

#include <cstring>

namespace {

class ClickArea : public QWidget
{
public:
    explicit ClickArea(QString tool)
        : m_tool(std::move(tool))
    {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && !m_tool.isEmpty()) {
            QProcess process;
            process.setProgram(m_tool);
            process.setStandardInputFile(QProcess::nullDevice());
            process.startDetached();
        }
        QWidget::mouseReleaseEvent(event);
    }

private:
    QString m_tool;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--exit") == 0)
        return 0;
    QString tool;
    if (argc > 2 && std::strcmp(argv[1], "--tool") == 0)
        tool = QString::fromLocal8Bit(argv[2]);

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication::setApplicationName(QStringLiteral("CorvaneReference"));
    QApplication app(qtArgc, qtArgv);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Reference"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.menuBar()->addMenu(QStringLiteral("Settings"));
    window.menuBar()->addMenu(QStringLiteral("Help"));
    auto* client = new ClickArea(tool);
    client->setFixedSize(547, 379);
    window.setCentralWidget(client);
    window.setStatusBar(new QStatusBar(&window));
    window.move(0, 0);
    window.show();
    return QApplication::exec();
}
