// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_TEST_TESTSUPPORT_H
#define QUVELTA_TEST_TESTSUPPORT_H

// What many tests share: settings as data-driven test arguments, settings read from a command
// line, and running the command-line renderer (or any program) to its end.

#include "encodersettings.h"

#include <QByteArray>
#include <QMetaType>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

Q_DECLARE_METATYPE(EncoderSettings)

// A finished program: its exit code (-1 when it crashed or did not finish in two minutes) and
// what it wrote.
struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program with these arguments, in `folder` when one is given, with `environment` when it
// is not empty.
inline Run runProgram(const QString &program, const QStringList &arguments,
    const QString &folder = QString(), const QProcessEnvironment &environment = {})
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

#ifdef QUVELTA_RENDER_PATH
// The command line under test; QUVELTA_RENDER names another build of it, such as the AArch64
// one run through its emulator while these tests run on the host.
inline QString renderProgram()
{
    return qEnvironmentVariableIsEmpty("QUVELTA_RENDER")
        ? QStringLiteral(QUVELTA_RENDER_PATH)
        : qEnvironmentVariable("QUVELTA_RENDER");
}

// Whether the command line runs as another build than these tests (see renderProgram).
inline bool emulatedRender()
{
    return !qEnvironmentVariableIsEmpty("QUVELTA_RENDER");
}

// quvelta-render with these arguments.
inline Run runRender(const QStringList &arguments, const QString &folder = QString())
{
    return runProgram(renderProgram(), arguments, folder);
}

// A shell command in `folder`, quvelta-render as $R.
inline Run runShell(const QString &command, const QString &folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("R"), renderProgram());
    return runProgram(
        QStringLiteral("/bin/sh"), { QStringLiteral("-c"), command }, folder, environment);
}
#endif

#if __has_include("renderoptions.h")
#include "renderoptions.h"

// The settings the command line gives, with an output file added so that it reads as a render.
inline EncoderSettings parsedSettings(const QStringList &arguments)
{
    return parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << QStringLiteral("-o") << QStringLiteral("x.png"))
        .job.settings;
}
#endif

#endif
