#pragma once
// Runs the single-instance helper program (tests/app/shell/helpers) as a second
// process while this one keeps its event loop turning, so that the
// instance served here can take the helper's connection.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// The helper's exit code; -1 when it did not start or end normally.
inline int RunInstanceHelper(const QStringList& arguments, const QString& workingFolder = QString())
{
    QProcess process;
    process.setProgram(QStringLiteral(QB_INSTANCE_HELPER));
    process.setArguments(arguments);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    if (!process.waitForStarted(10000))
        return -1;
    const bool ended =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000);
    if (!ended || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}
