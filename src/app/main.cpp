// Until the main window exists: a window that shows the connection facts of the domain the
// demo command started, so that the demo shows a running domain.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Arvendel"));
    QString domain;
    const QStringList args = QApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--demo"));
    if (at >= 0 && at + 1 < args.size())
        domain = args.at(at + 1);

    QString text = QStringLiteral("Arvendel\n\n");
    QFile facts(domain + QStringLiteral("/facts.env"));
    if (!domain.isEmpty() && facts.open(QIODevice::ReadOnly | QIODevice::Text)) {
        text += QStringLiteral("Demo domain:\n");
        QTextStream in(&facts);
        while (!in.atEnd()) {
            const QString line = in.readLine();
            if (!line.contains(QStringLiteral("PASSWORD")))
                text += line + QLatin1Char('\n');
        }
    } else {
        text += QStringLiteral("No demo domain given (--demo <folder>).");
    }
    QLabel label(text);
    label.setObjectName(QStringLiteral("lbFacts"));
    label.setMargin(16);
    label.setWindowTitle(QStringLiteral("Arvendel"));
    label.show();
    return QApplication::exec();
}
