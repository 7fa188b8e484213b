#include "command_line.h"

#include <QTest>
#include <tuple>

using namespace potpanel;

Q_DECLARE_METATYPE(Platform)

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
};

void TestCommandLine::readsOrRefuses_data()
{
    // Whose command line, the arguments; what is asked for: COM1's device and Qt's options, help,
    // version, or why not.
    QTest::addColumn<Platform>("platform");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome");
    constexpr Platform qt = Platform::Qt, windows = Platform::Windows, sim = Platform::Simulator;
    constexpr const char* names[] = {"Qt", "Windows", "simulator"};
    const std::tuple<Platform, QString, QString> rows[] = {
        {qt, "", "run: COM1 default; Qt potpanel"},
        {qt, "--com1 /dev/ttyUSB0", "run: COM1 /dev/ttyUSB0; Qt potpanel"},
        {qt, "--com1=/dev/serial/by-id/a=b", "run: COM1 /dev/serial/by-id/a=b; Qt potpanel"},
        {qt, "-platform offscreen --com1 /dev/ttyS1 -style=Fusion -reverse",
         "run: COM1 /dev/ttyS1; Qt potpanel -platform offscreen -style=Fusion -reverse"},
        {qt, "-title -platform", "run: COM1 default; Qt potpanel -title -platform"},
        {qt, "--help --bogus", "help"},
        {qt, "--version", "version"},
        {qt, "--com1", "refused: --com1 needs a DEVICE, such as --com1 /dev/ttyUSB0"},
        {qt, "--com1 --help", "refused: --com1 needs a DEVICE, such as --com1 /dev/ttyUSB0"},
        {qt, "--bogus --help", "refused: unknown option \"--bogus\""},
        {qt, "/dev/ttyUSB0", "refused: unexpected argument \"/dev/ttyUSB0\""},
        {windows, "", "run: COM1 default; Qt potpanel"},
        {windows, "--com1 com4", "run: COM1 COM4; Qt potpanel"},
        {windows, "--com1=\\\\.\\COM256", "run: COM1 COM256; Qt potpanel"},
        {windows, "--com1 COM0", "refused: --com1 needs a COM port, such as --com1 COM3"},
        {windows, "--com1 COM257", "refused: --com1 needs a COM port, such as --com1 COM3"},
        {windows, "-platform offscreen", "refused: unknown option \"-platform\""},
        {windows, "COM3", "refused: unexpected argument \"COM3\""},
        {sim, "", "run: COM1 default; Qt potpanel"},
        {sim, "-platform offscreen -reverse",
         "run: COM1 default; Qt potpanel -platform offscreen -reverse"},
        {sim, "--help", "help"},
        {sim, "-v", "version"},
        {sim, "--com1 /dev/ttyUSB0", "refused: unknown option \"--com1\""},
        {sim, "--com1=/dev/ttyUSB0", "refused: unknown option \"--com1=/dev/ttyUSB0\""},
    };
    for (const auto& [platform, arguments, outcome] : rows)
        QTest::addRow("%s %s", names[int(platform)],
                      qPrintable(arguments.isEmpty() ? "(none)" : arguments))
            << platform << (arguments.isEmpty() ? QStringList() : arguments.split(' ')) << outcome;
    // A value with a space in it stays one argument.
    QTest::newRow("spaced value") << qt << QStringList{"--com1", "/dev/serial/by-path/a b"}
                                  << "run: COM1 /dev/serial/by-path/a b; Qt potpanel";
}

void TestCommandLine::readsOrRefuses()
{
    QFETCH(Platform, platform);
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    std::vector<std::string> argv{"potpanel"};
    for (const QString& argument : arguments)
        argv.push_back(argument.toStdString());
    const CommandLine line = readCommandLine(argv, platform);
    using Request = CommandLine::Request;
    QString read =
        line.request == Request::Help      ? "help"
        : line.request == Request::Version ? "version"
        : line.request == Request::Refused
            ? "refused: " + QString::fromStdString(line.refusal)
            : "run: COM1 " + QString::fromStdString(line.com1Device.value_or("default")) + "; Qt";
    if (line.request == Request::Run)
        for (const std::string& argument : line.qtArguments)
            read += ' ' + QString::fromStdString(argument);
    QCOMPARE(read, outcome);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
