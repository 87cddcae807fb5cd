// The build as a user installs it: `cmake --install` into a temporary DESTDIR
// and `cpack -G DEB`, checked with the tools a desktop and Debian check with.
// The validators come from `scripts/setup.sh --tests`.
#include "version.h"
#include "window/application.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {

const QString kBuild = QStringLiteral(GLIMRA_BUILD_DIR);
const QString kAppId = QStringLiteral("org.example.glimra");

struct Run {
    int exitCode = -1;
    QString out, err;
};

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
        const QString& workDir = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForFinished(300000))
        return {-1, {}, QStringLiteral("did not finish: ") + p.errorString()};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString describe(const QString& program, const Run& r)
{
    return QStringLiteral("%1 exited %2\n%3%4").arg(program).arg(r.exitCode).arg(r.out, r.err);
}

// Every installed file and link below root, as absolute paths of the system
// it is meant for ("/usr/bin/glimra").
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

}  // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString root_;  // the DESTDIR
    QStringList installed_;
    // cmake --install and cpack both rewrite the build folder's install
    // manifest; a user's own install must still be removable with it.
    std::optional<QByteArray> manifest_;

    QString manifestPath() const { return kBuild + QStringLiteral("/install_manifest.txt"); }
    QString installed(const QString& path) const { return root_ + path; }

    static QString tool(const char* name)
    {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (path.isEmpty())
            qWarning("%s is missing: bash scripts/setup.sh --tests installs it", name);
        return path;
    }

    QString desktopEntryKey(const QString& key) const
    {
        QFile entry(installed("/usr/share/applications/" + kAppId + ".desktop"));
        if (!entry.open(QIODevice::ReadOnly))
            return {};
        const QString text = QString::fromUtf8(entry.readAll());
        return QRegularExpression("^" + key + "=(.*)$", QRegularExpression::MultilineOption).match(text).captured(1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        QFile manifest(manifestPath());
        if (manifest.open(QIODevice::ReadOnly))
            manifest_ = manifest.readAll();

        root_ = tmp_.filePath(QStringLiteral("root"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), root_);
        const Run r = run(QStringLiteral(GLIMRA_CMAKE), {"--install", kBuild, "--prefix", "/usr"}, env);
        QVERIFY2(r.exitCode == 0, qPrintable(describe("cmake --install", r)));
        installed_ = filesBelow(root_);
    }

    void cleanupTestCase()
    {
        if (!manifest_) {
            QFile::remove(manifestPath());
            return;
        }
        QFile manifest(manifestPath());
        QVERIFY(manifest.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(manifest.write(*manifest_), qint64(manifest_->size()));
    }

    void installsTheProgramsAndTheirFiles()
    {
        const QStringList expected = {
            "/usr/bin/glimra",
            "/usr/bin/glimra-render",
            "/usr/" GLIMRA_MODULE_DIR "/glimra-film-encoder.so",
            "/usr/" GLIMRA_MODULE_DIR "/glimra-picture-toolkit.so",
            "/usr/share/applications/" + kAppId + ".desktop",
            "/usr/share/doc/glimra/changelog.gz",
            "/usr/share/doc/glimra/copyright",
            "/usr/share/icons/hicolor/256x256/apps/" + kAppId + ".png",
            "/usr/share/icons/hicolor/32x32/apps/" + kAppId + ".png",
            "/usr/share/man/man1/glimra-render.1.gz",
            "/usr/share/man/man1/glimra.1.gz",
            "/usr/share/metainfo/" + kAppId + ".metainfo.xml",
            "/usr/share/mime/packages/" + kAppId + ".xml",
        };
        QCOMPARE(installed_, expected);
    }

    // Its own formats, and those of the toolkit and the gallery through the
    // toolkit module, loaded from where the installation put it.
    void installedRendererWritesAPicture_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::newRow("png") << QStringList{"dune", "--size", "20"} << "x.png" << QSize(20, 20);
        QTest::newRow("ppm") << QStringList{"dune", "--size", "20"} << "x.ppm" << QSize(20, 20);
        QTest::newRow("the toolkit's bmp") << QStringList{"dune", "--size", "20"} << "x.bmp" << QSize(20, 20);
        QTest::newRow("gallery") << QStringList{"--gallery", "--size", "20"} << "gallery.png"
                                 << QSize(5 * (20 + 8) + 8, 4 * (20 + 26 + 8) + 8);
    }
    void installedRendererWritesAPicture()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(QSize, size);
        const QString out = tmp_.filePath(file);
        const Run r = run(installed("/usr/bin/glimra-render"), args + QStringList{"-o", out});
        QVERIFY2(r.exitCode == 0, qPrintable(describe("glimra-render", r)));
        QCOMPARE(QImage(out).size(), size);
    }

    // Films load their encoder from where the installation put it.
    void installedRendererWritesAFilm()
    {
        const QString out = tmp_.filePath(QStringLiteral("x.mp4"));
        const Run r = run(installed("/usr/bin/glimra-render"),
                          {"dune", "--size", "20", "--to-place", "glimra:dune?x=3&size=20&zoom=0.5", "--seconds", "1",
                           "--fps", "2", "-o", out});
        QVERIFY2(r.exitCode == 0, qPrintable(describe("glimra-render", r)));
        QVERIFY(QFileInfo(out).size() > 0);
    }

    // The installed window program opens its window on a private X display.
    void installedWindowOpens()
    {
        const QString xvfb = tool("Xvfb"), xdotool = tool("xdotool");
        QVERIFY(!xvfb.isEmpty() && !xdotool.isEmpty());
        // Destroyed in reverse order: the window program goes before its display.
        QProcess server, window;
        server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1600x1200x24"});
        QByteArray number;
        while (!number.endsWith('\n') && server.waitForReadyRead(60000))
            number += server.readAllStandardOutput();
        QVERIFY2(number.endsWith('\n'), "Xvfb did not report its display");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(number.trimmed()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Under AddressSanitizer: the X keyboard library reads its keymap names
        // with strndup from buffers without a terminating zero, which is
        // correct for strndup but not to the strict string checks.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + ":strict_string_checks=0");
        window.setProcessEnvironment(env);
        window.start(installed("/usr/bin/glimra"), QStringList());
        QVERIFY(window.waitForStarted());

        // Waits for the window to be shown, or for the program to end instead.
        QProcess search;
        search.setProcessEnvironment(env);
        QEventLoop loop;
        connect(&search, &QProcess::finished, &loop, &QEventLoop::quit);
        connect(&window, &QProcess::finished, &loop, &QEventLoop::quit);
        search.start(xdotool, {"search", "--sync", "--onlyvisible", "--classname", "^glimra$"});
        QTimer::singleShot(300000, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY2(window.state() == QProcess::Running,
                 qPrintable("glimra ended: " + QString::fromUtf8(window.readAllStandardError())));
        QVERIFY(search.state() == QProcess::NotRunning && search.exitCode() == 0);
        const QString id = QString::fromLatin1(search.readAllStandardOutput()).split('\n').first();
        const Run geometry = run(xdotool, {"getwindowgeometry", "--shell", id}, env);
        QVERIFY2(geometry.out.contains("WIDTH=1272\nHEIGHT=1016\n"), qPrintable(geometry.out));
        window.terminate();
        window.waitForFinished();
        server.terminate();
        server.waitForFinished();
    }

    // A glimra: link opens the installed program at that place: xdg-open, on a
    // private X display with a fresh desktop database that knows only the
    // installed desktop entry, finds the program by the link's scheme.
    void installedProgramOpensAPlaceLink()
    {
        QVERIFY(desktopEntryKey("MimeType").split(';').contains("x-scheme-handler/glimra"));
        QVERIFY(desktopEntryKey("MimeType").split(';').contains("image/png"));
        QVERIFY(desktopEntryKey("Exec").endsWith(" %u"));
        const QString xvfb = tool("Xvfb"), xdotool = tool("xdotool"), xdgOpen = tool("xdg-open"),
                      xdgMime = tool("xdg-mime");
        QVERIFY(!xvfb.isEmpty() && !xdotool.isEmpty() && !xdgOpen.isEmpty() && !xdgMime.isEmpty());

        // The entry as installed, but starting the program from the DESTDIR.
        const QString data = tmp_.filePath("xdg-data"), config = tmp_.filePath("xdg-config");
        QVERIFY(QDir().mkpath(data + "/applications") && QDir().mkpath(config));
        QFile entry(installed("/usr/share/applications/" + kAppId + ".desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(entry.readAll());
        text.replace(QRegularExpression("^Exec=glimra ", QRegularExpression::MultilineOption),
                     "Exec=" + installed("/usr/bin/glimra") + " ");
        QFile copy(data + "/applications/" + kAppId + ".desktop");
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(text.toUtf8()) > 0);
        copy.close();

        QProcess server, opener;
        server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1600x1200x24"});
        QByteArray number;
        while (!number.endsWith('\n') && server.waitForReadyRead(60000))
            number += server.readAllStandardOutput();
        QVERIFY2(number.endsWith('\n'), "Xvfb did not report its display");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + QString::fromLatin1(number.trimmed()));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_DATA_HOME", data);
        env.insert("XDG_CONFIG_HOME", config);
        env.remove("XDG_CURRENT_DESKTOP");
        env.remove("BROWSER");
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":strict_string_checks=0");
        const Run registered = run(xdgMime, {"default", kAppId + ".desktop", "x-scheme-handler/glimra"}, env);
        QVERIFY2(registered.exitCode == 0, qPrintable(describe("xdg-mime", registered)));

        opener.setProcessEnvironment(env);
        opener.start(xdgOpen, {"glimra:qwin?x=1&y=1&size=40&zoom=1&bright=150"});
        QVERIFY(opener.waitForStarted());
        // The title the window shows once it has painted that place.
        const Run found = run(xdotool, {"search", "--sync", "--name", "^Color Glimra - qwin 40 x 40, "}, env);
        QVERIFY2(found.exitCode == 0, qPrintable(describe("xdotool search", found) + opener.readAllStandardError()));
        const QString id = found.out.split('\n').first();
        run(xdotool, {"windowkill", id}, env);
        opener.waitForFinished(60000);
        server.terminate();
        server.waitForFinished();
    }

    // A formula file is a type of its own that the desktop entry and the
    // AppStream data claim: the type database built from the installed
    // package file alone knows it by its suffix.
    void formulaFilesHaveTheirType()
    {
        const QString type = QStringLiteral("text/x-glimra-formula");
        QVERIFY(desktopEntryKey("MimeType").split(';').contains(type));
        QFile metainfo(installed("/usr/share/metainfo/" + kAppId + ".metainfo.xml"));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains("<mediatype>" + type.toUtf8() + "</mediatype>"));

        const QString updater = tool("update-mime-database");
        QVERIFY(!updater.isEmpty());
        const QString mime = tmp_.filePath("mime");
        QVERIFY(QDir().mkpath(mime + "/packages"));
        QVERIFY(QFile::copy(installed("/usr/share/mime/packages/" + kAppId + ".xml"),
                            mime + "/packages/" + kAppId + ".xml"));
        const Run r = run(updater, {"-V", mime});
        QVERIFY2(r.exitCode == 0 && !r.err.contains("rror"), qPrintable(describe("update-mime-database", r)));
        QFile globs(mime + "/globs2");
        QVERIFY(globs.open(QIODevice::ReadOnly));
        QVERIFY2(globs.readAll().contains(type.toUtf8() + ":*.glimra"), "no glob *.glimra in the built database");
    }

    void validatorsAccept_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");  // "{root}" stands for the DESTDIR
        QTest::addColumn<bool>("quiet");        // a word on standard output is a complaint
        const QString man = QStringLiteral("{root}/usr/share/man/man1/");
        QTest::newRow("desktop entry") << "desktop-file-validate"
                                       << QStringList{"{root}/usr/share/applications/" + kAppId + ".desktop"} << true;
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{"validate", "--no-net", "--strict",
                                                 "{root}/usr/share/metainfo/" + kAppId + ".metainfo.xml"}
                                  << false;
        // Also finds the desktop entry that the metainfo names as launchable.
        QTest::newRow("installed tree") << "appstreamcli"
                                        << QStringList{"validate-tree", "--no-net", "--strict", "{root}"} << false;
        QTest::newRow("glimra.1") << "man" << QStringList{"--warnings=w", "-E", "UTF-8", "-l", man + "glimra.1.gz"}
                                  << false;
        QTest::newRow("glimra-render.1") << "man"
                                         << QStringList{"--warnings=w", "-E", "UTF-8", "-l", man + "glimra-render.1.gz"}
                                         << false;
    }
    void validatorsAccept()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(bool, quiet);
        const QString path = tool(qPrintable(program));
        QVERIFY(!path.isEmpty());
        args.replaceInStrings(QStringLiteral("{root}"), root_);
        const Run r = run(path, args);
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty() && (!quiet || r.out.isEmpty()), qPrintable(describe(program, r)));
    }

    // Whatever glimra-render --help offers, its manual page explains.
    void manualPageHasEveryOption()
    {
        const Run help = run(installed("/usr/bin/glimra-render"), {"--help"});
        QCOMPARE(help.exitCode, 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("200"));
        const Run page =
            run(tool("man"), {"-E", "UTF-8", "-l", installed("/usr/share/man/man1/glimra-render.1.gz")}, env);
        QCOMPARE(page.exitCode, 0);
        QStringList options;
        QRegularExpressionMatchIterator it =
            QRegularExpression(QStringLiteral("(?<![\\w-])(--?[a-z][a-z-]*)")).globalMatch(help.out);
        while (it.hasNext())
            options << it.next().captured(1);
        options.removeDuplicates();
        QVERIFY2(options.contains("-o") && options.contains("--size"), qPrintable(help.out));
        for (const QString& option : options)
            QVERIFY2(page.out.contains(QRegularExpression("(?<![\\w-])" + QRegularExpression::escape(option) + "\\b")),
                     qPrintable(option + " is not in glimra-render.1"));
    }

    // The desktop entry's icon is in the theme at both sizes; the small one is
    // the window's own icon, pixel for pixel.
    void iconsAtTheirThemePaths()
    {
        const QString icon = desktopEntryKey("Icon");
        QCOMPARE(icon, kAppId);
        for (int size : {32, 256}) {
            const QImage image(
                installed(QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon)));
            QCOMPARE(image.size(), QSize(size, size));
        }
        const QImage small(installed("/usr/share/icons/hicolor/32x32/apps/" + icon + ".png"));
        const QImage window = glimra::applicationIcon().pixmap(QSize(32, 32), 1.0).toImage();
        QVERIFY2(small.convertToFormat(QImage::Format_RGB32) == window.convertToFormat(QImage::Format_RGB32),
                 "the installed icon is not the window's: cmake --build BUILD --target glimra-icons redraws it");
    }

    void debianPackage()
    {
        const QString dir = tmp_.filePath(QStringLiteral("package"));
        const Run made = run(QStringLiteral(GLIMRA_CPACK),
                             {"--config", kBuild + "/CPackConfig.cmake", "-G", "DEB", "-B", dir}, {}, tmp_.path());
        QVERIFY2(made.exitCode == 0, qPrintable(describe("cpack", made)));
        const QStringList debs = QDir(dir).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = dir + '/' + debs.first();

        const QString dpkgDeb = tool("dpkg-deb");
        const Run info = run(dpkgDeb, {"--info", deb});
        QCOMPARE(info.exitCode, 0);
        auto field = [&](const QString& name) {
            const auto m =
                QRegularExpression("^ " + name + ": (.*)$", QRegularExpression::MultilineOption).match(info.out);
            return m.hasMatch() ? m.captured(1) : QString();
        };
        QCOMPARE(field("Package"), QStringLiteral("glimra"));
        QCOMPARE(field("Version"), QStringLiteral(GLIMRA_VERSION));
        QCOMPARE(field("Section"), QStringLiteral("graphics"));
        QVERIFY2(!field("Maintainer").isEmpty() && !field("Description").isEmpty(), qPrintable(info.out));
        QStringList depends;
        for (const QString& d : field("Depends").split(", "))
            depends << d.section(' ', 0, 0);
        for (const char* lib : {"libqt6core6", "libqt6gui6", "libqt6widgets6"})
            QVERIFY2(depends.contains(lib), qPrintable(lib + (" is not in Depends: " + field("Depends"))));

        const Run contents = run(dpkgDeb, {"--contents", deb});
        QCOMPARE(contents.exitCode, 0);
        QStringList packaged;
        for (const QString& line : contents.out.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith('d'))
                continue;
            // "-rwxr-xr-x root/root 143472 2026-12-08 21:48 ./usr/bin/glimra"
            packaged << line.section(' ', -1).mid(1);
        }
        packaged.sort();
        QCOMPARE(packaged, installed_);

        const QString lintian = tool("lintian");
        QVERIFY(!lintian.isEmpty());
        const Run checked = run(lintian, {"--fail-on", "error,warning", deb});
        QVERIFY2(checked.exitCode == 0, qPrintable(describe("lintian", checked)));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
