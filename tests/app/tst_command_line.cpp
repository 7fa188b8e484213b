#include "command_line.h"

#include <QTest>

using namespace potpanel;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
};

void TestCommandLine::readsOrRefuses_data()
{
    // The arguments; what is asked for: COM1's device and Qt's options, help, version, or why not.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome");
    const std::pair<QString, QString> rows[] = {
        {"", "run: COM1 default; Qt potpanel"},
        {"--com1 /dev/ttyUSB0", "run: COM1 /dev/ttyUSB0; Qt potpanel"},
        {"--com1=/dev/serial/by-id/a=b", "run: COM1 /dev/serial/by-id/a=b; Qt potpanel"},
        {"-platform offscreen --com1 /dev/ttyS1 -style=Fusion -reverse",
         "run: COM1 /dev/ttyS1; Qt potpanel -platform offscreen -style=Fusion -reverse"},
        {"-title -platform", "run: COM1 default; Qt potpanel -title -platform"},
        {"--help --bogus", "help"},
        {"--version", "version"},
        {"--com1", "refused: --com1 needs a DEVICE, such as --com1 /dev/ttyUSB0"},
        {"--com1 --help", "refused: --com1 needs a DEVICE, such as --com1 /dev/ttyUSB0"},
        {"--bogus --help", "refused: unknown option \"--bogus\""},
        {"/dev/ttyUSB0", "refused: unexpected argument \"/dev/ttyUSB0\""},
    };
    for (const auto& [arguments, outcome] : rows)
        QTest::newRow(qPrintable(arguments.isEmpty() ? "(none)" : arguments))
            << (arguments.isEmpty() ? QStringList() : arguments.split(' ')) << outcome;
    // A value with a space in it stays one argument.
    QTest::newRow("spaced value") << QStringList{"--com1", "/dev/serial/by-path/a b"}
                                  << "run: COM1 /dev/serial/by-path/a b; Qt potpanel";
}

void TestCommandLine::readsOrRefuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    std::vector<std::string> argv{"potpanel"};
    for (const QString& argument : arguments)
        argv.push_back(argument.toStdString());
    const CommandLine line = readCommandLine(argv);
    QString read;
    switch (line.request) {
    case CommandLine::Request::Run:
        read = "run: COM1 " + QString::fromStdString(line.com1Device.value_or("default")) + "; Qt";
        for (const std::string& argument : line.qtArguments)
            read += ' ' + QString::fromStdString(argument);
        break;
    case CommandLine::Request::Help:
        read = "help";
        break;
    case CommandLine::Request::Version:
        read = "version";
        break;
    case CommandLine::Request::Refused:
        read = "refused: " + QString::fromStdString(line.refusal);
        break;
    }
    QCOMPARE(read, outcome);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
