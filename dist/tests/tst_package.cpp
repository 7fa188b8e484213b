#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString binaryDir = QStringLiteral(POTPANEL_BINARY_DIR);
const QString sourceDir = QStringLiteral(POTPANEL_SOURCE_DIR);

// Every step here is bounded; a step that overruns is killed and fails the test.
constexpr int stepLimitMs = 300'000;

struct Run
{
    bool ok = false;
    QString output;
    QString problem;
};

Run run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    const QString command = program + u' ' + arguments.join(u' ');
    if (!process.waitForStarted()) {
        result.problem = command + QStringLiteral(": cannot start: ") + process.errorString();
        return result;
    }
    if (!process.waitForFinished(stepLimitMs)) {
        process.kill();
        process.waitForFinished();
        result.problem = command + QStringLiteral(": did not finish");
        return result;
    }
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!result.ok)
        result.problem = command + QStringLiteral(": exit status %1\n").arg(process.exitCode()) +
                         result.output + errors;
    return result;
}

// What the package ships, with each file's mode.
QList<std::pair<QString, QString>> shippedFiles()
{
    const QString file = QStringLiteral("-rw-r--r--");
    QList<std::pair<QString, QString>> files{
        {QStringLiteral("usr/bin/potpanel"), QStringLiteral("-rwxr-xr-x")},
        {QStringLiteral("usr/share/applications/com.tarvel.potpanel.desktop"), file},
        {QStringLiteral("usr/share/metainfo/com.tarvel.potpanel.metainfo.xml"), file},
        {QStringLiteral("usr/share/man/man1/potpanel.1.gz"), file},
        {QStringLiteral("usr/share/doc/potpanel/changelog.gz"), file},
        {QStringLiteral("usr/share/icons/hicolor/scalable/apps/com.tarvel.potpanel.svg"), file},
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        files.append(
            {QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/com.tarvel.potpanel.png").arg(size),
             file});
    return files;
}

struct PackageEntry
{
    QString mode;
    QString owner;
};

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsAndPackages_data();
    void installsAndPackages();
    void installsNothingElse();
    void packageHoldsExactlyWhatInstallPuts();
    void controlFields_data();
    void controlFields();
    void installedTreeValidates();
    void compressedDocsAreTheSources_data();
    void compressedDocsAreTheSources();
    void documentsThisVersion_data();
    void documentsThisVersion();
    void programHasNoRunPath();

private:
    QString installedText(const QString& path);

    QTemporaryDir scratch_;
    QString stage_;
    QString package_;
    QSet<QString> installed_;
    QMap<QString, PackageEntry> packaged_;
};

void TestPackage::initTestCase()
{
    QVERIFY(scratch_.isValid());
    stage_ = scratch_.filePath(QStringLiteral("stage"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), stage_);
    const Run install = run(QStringLiteral(CMAKE_PROGRAM),
                            {QStringLiteral("--install"), binaryDir, QStringLiteral("--prefix"),
                             QStringLiteral("/usr")},
                            environment);
    QVERIFY2(install.ok, qPrintable(install.problem));
    for (QDirIterator it(stage_, QDir::Files | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        installed_.insert(QDir(stage_).relativeFilePath(it.next()));

    const QString packageDir = scratch_.filePath(QStringLiteral("package"));
    const Run cpack =
        run(QStringLiteral(CPACK_PROGRAM),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
             binaryDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), packageDir});
    QVERIFY2(cpack.ok, qPrintable(cpack.problem));
    const QStringList debs = QDir(packageDir).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    package_ = packageDir + u'/' + debs.front();

    // "-rwxr-xr-x root/root  12345 2024-01-01 00:00 ./usr/bin/potpanel"
    const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), package_});
    QVERIFY2(contents.ok, qPrintable(contents.problem));
    static const QRegularExpression entry(
        QStringLiteral(R"(^(\S+)\s+(\S+)\s+\d+\s+\S+\s+\S+\s+\./(.*)$)"));
    for (const QString& line : contents.output.split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = entry.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        if (!match.captured(1).startsWith(u'd'))
            packaged_.insert(match.captured(3), {match.captured(1), match.captured(2)});
    }
}

void TestPackage::installsAndPackages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("mode");
    for (const auto& [path, mode] : shippedFiles())
        QTest::newRow(qPrintable(path)) << path << mode;
}

// Each file lands where the desktop looks for it, owned by root, with the mode it needs.
void TestPackage::installsAndPackages()
{
    QFETCH(QString, path);
    QFETCH(QString, mode);

    QVERIFY2(installed_.contains(path), qPrintable(path + QStringLiteral(" not installed")));
    QVERIFY2(packaged_.contains(path), qPrintable(path + QStringLiteral(" not in the package")));
    QCOMPARE(packaged_[path].mode, mode);
    QCOMPARE(packaged_[path].owner, QStringLiteral("root/root"));
}

// Nothing beyond the program and its desktop files: no test helpers, no libraries.
void TestPackage::installsNothingElse()
{
    QSet<QString> extra = installed_;
    for (const auto& shipped : shippedFiles())
        extra.remove(shipped.first);
    QStringList names = extra.values();
    names.sort();
    QCOMPARE(names, QStringList());
}

void TestPackage::packageHoldsExactlyWhatInstallPuts()
{
    QStringList packaged = packaged_.keys();
    QStringList installed = installed_.values();
    packaged.sort();
    installed.sort();
    QCOMPARE(packaged, installed);
}

void TestPackage::controlFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("package") << "Package"
                             << "^potpanel$";
    QTest::newRow("version") << "Version"
                             << QStringLiteral("^%1$").arg(
                                    QRegularExpression::escape(QStringLiteral(POTPANEL_VERSION)));
    QTest::newRow("section") << "Section"
                             << "^electronics$";
    QTest::newRow("maintainer") << "Maintainer"
                                << R"(^\S.* <\S+@\S+>$)";
    QTest::newRow("description")
        << "Description"
        << "^Control panel for a two-channel digital potentiometer on COM1\n A window .+";
    // Found by dpkg-shlibdeps from what the program links, so versioned.
    for (const char* library : {"libc6", "libstdc\\+\\+6", "libqt6core6", "libqt6gui6",
                                "libqt6widgets6", "libqt6serialport6"})
        QTest::addRow("depends on %s", library)
            << "Depends"
            << QStringLiteral(R"((^|, )%1 \(>= [^)]+\)(,|$))").arg(QLatin1String(library));
}

void TestPackage::controlFields()
{
    QFETCH(QString, field);
    QFETCH(QString, pattern);

    const Run value = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), package_, field});
    QVERIFY2(value.ok, qPrintable(value.problem));
    const QString text = value.output.trimmed();
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(),
             qPrintable(field + QStringLiteral(": ") + text));
}

// The desktop entry, metainfo and icons as installed belong together: the
// metainfo's launchable names the entry, whose icon is in the theme.
void TestPackage::installedTreeValidates()
{
    const Run validate = run(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate-tree"), QStringLiteral("--no-net"),
                              QStringLiteral("--pedantic"), stage_});
    QVERIFY2(validate.ok, qPrintable(validate.problem));
    const Run desktop =
        run(QStringLiteral("desktop-file-validate"),
            {stage_ + QStringLiteral("/usr/share/applications/com.tarvel.potpanel.desktop")});
    QVERIFY2(desktop.ok, qPrintable(desktop.problem));
}

// The installed text of a file, unpacked when it is compressed.
QString TestPackage::installedText(const QString& path)
{
    const QString file = stage_ + u'/' + path;
    if (!path.endsWith(QStringLiteral(".gz"))) {
        QFile plain(file);
        return plain.open(QIODevice::ReadOnly) ? QString::fromUtf8(plain.readAll()) : QString();
    }
    const Run unpacked = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), file});
    return unpacked.ok ? unpacked.output : QString();
}

void TestPackage::compressedDocsAreTheSources_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("source");

    QTest::newRow("manual page") << "usr/share/man/man1/potpanel.1.gz"
                                 << "dist/potpanel.1";
    QTest::newRow("changelog") << "usr/share/doc/potpanel/changelog.gz"
                               << "dist/changelog";
}

void TestPackage::compressedDocsAreTheSources()
{
    QFETCH(QString, installed);
    QFETCH(QString, source);

    QFile original(sourceDir + u'/' + source);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QString text = installedText(installed);
    QVERIFY2(!text.isEmpty(), qPrintable(installed + QStringLiteral(" cannot be read")));
    QCOMPARE(text, QString::fromUtf8(original.readAll()));
}

void TestPackage::documentsThisVersion_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("pattern");

    const QString version = QRegularExpression::escape(QStringLiteral(POTPANEL_VERSION));
    QTest::newRow("changelog, newest entry") << "usr/share/doc/potpanel/changelog.gz"
                                             << QStringLiteral(R"(^potpanel \(%1\) )").arg(version);
    QTest::newRow("metainfo, newest release")
        << "usr/share/metainfo/com.tarvel.potpanel.metainfo.xml"
        << QStringLiteral(R"(<releases>\s*<release version="%1")").arg(version);
    QTest::newRow("manual page header")
        << "usr/share/man/man1/potpanel.1.gz"
        << QStringLiteral(R"(^\.TH POTPANEL 1 \S+ "potpanel %1")").arg(version);
}

// Each document that names a version names the one being packaged.
void TestPackage::documentsThisVersion()
{
    QFETCH(QString, installed);
    QFETCH(QString, pattern);

    const QString text = installedText(installed);
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(),
             qPrintable(installed + QStringLiteral(" does not match ") + pattern));
}

// An installed program finds its libraries where the system keeps them; a run
// path of its own would let files beside it stand in for them.
void TestPackage::programHasNoRunPath()
{
    const Run dynamic = run(QStringLiteral("readelf"),
                            {QStringLiteral("-d"), stage_ + QStringLiteral("/usr/bin/potpanel")});
    QVERIFY2(dynamic.ok, qPrintable(dynamic.problem));
    QVERIFY2(!dynamic.output.contains(QStringLiteral("RPATH")) &&
                 !dynamic.output.contains(QStringLiteral("RUNPATH")),
             qPrintable(dynamic.output));
}

QTEST_APPLESS_MAIN(TestPackage)
#include "tst_package.moc"
