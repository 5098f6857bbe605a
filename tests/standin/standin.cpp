// Stand-in for one of the suite's tools. It shows the name it was started under and its
// argument. When CORVANE_STANDIN_RECORD names a file, it appends one line to it instead,
// "<argc-1>\t<name>\t<arg1>\t...\t<cwd>", and exits at once, so tests can see exactly what
// the launcher passed.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

int main(int argc, char* argv[])
{
    const QByteArray record = qgetenv("CORVANE_STANDIN_RECORD");
    if (!record.isEmpty()) {
        QByteArray line = QByteArray::number(argc - 1);
        for (int i = 0; i < argc; ++i)
            line += '\t' + QByteArray(argv[i]);
        line += '\t' + QDir::currentPath().toUtf8() + '\n';
        QFile out(QString::fromLocal8Bit(record));
        if (!out.open(QIODevice::Append))
            return 1;
        out.write(line);
        return 0;
    }

    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    const QString name = QFileInfo(arguments.takeFirst()).fileName();
    QLabel label(QApplication::translate("standin", "%1\nargument: %2")
                     .arg(name, arguments.isEmpty() ? QStringLiteral("(none)")
                                                    : arguments.join(QLatin1Char(' '))));
    label.setTextFormat(Qt::PlainText);
    label.setMargin(24);
    label.setWindowTitle(name);
    label.show();
    return QApplication::exec();
}
