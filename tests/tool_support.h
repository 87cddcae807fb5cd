// What the tool tests share: running glimra-render and reading what it wrote.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace toolsupport {

struct Run {
    int exitCode = -1;
    QString err;
};

// glimra-render with these arguments; exit code -1 when it crashed or hung.
inline Run runTool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

inline QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace toolsupport
