#include "system/app_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include <cstdio>
#include <cstdlib>

namespace {
QString &folderOverride()
{
    static QString f;
    return f;
}
QStringList &argumentsOverride()
{
    static QStringList a;
    return a;
}
bool &argumentsOverridden()
{
    static bool b = false;
    return b;
}

QString trimControl(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 32)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}
} // namespace

QString ExecutableFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    return QDir::toNativeSeparators(QDir::cleanPath(dir)) + QDir::separator();
}

QString ExecutablePath()
{
    if (!folderOverride().isEmpty())
        return folderOverride() + QStringLiteral("catraca-sync");
    return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
}

void SetExecutableFolderForTesting(const QString &folder)
{
    QString f = QDir::toNativeSeparators(QDir::cleanPath(folder));
    if (!folder.isEmpty() && !f.endsWith(QDir::separator()))
        f += QDir::separator();
    folderOverride() = folder.isEmpty() ? QString() : f;
}

QString FirstArgument()
{
    const QStringList args = argumentsOverridden() ? argumentsOverride() : QCoreApplication::arguments().mid(1);
    return args.isEmpty() ? QString() : args.first();
}

void SetArgumentsForTesting(const QStringList &arguments)
{
    argumentsOverride() = arguments;
    argumentsOverridden() = true;
}

bool IsHideSwitch(const QString &argument)
{
    return trimControl(argument).toUpper() == QStringLiteral("HIDE");
}

void RequestApplicationEnd()
{
    if (auto *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

namespace {
std::function<void()> &endProgramReplacement()
{
    static std::function<void()> f;
    return f;
}
} // namespace

void EndProgramNow()
{
    if (endProgramReplacement()) {
        endProgramReplacement()();
        return;
    }
    std::fflush(nullptr);
    std::exit(0);
}

void SetEndProgramNowForTesting(std::function<void()> replacement)
{
    endProgramReplacement() = std::move(replacement);
}
