#include "system/app_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#include <vector>

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

namespace {
struct TEndListener {
    QPointer<QObject> Context;
    std::function<void()> Listener;
};
bool g_endRequested = false;
std::vector<TEndListener> &endListeners()
{
    static std::vector<TEndListener> l;
    return l;
}
} // namespace

void RequestApplicationEnd()
{
    g_endRequested = true;
    // The main loop takes it when it runs (a loop that has not started yet
    // does not: start-up asks ApplicationEndRequested).
    if (auto *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    // A listener may add or remove listeners: run a copy.
    const std::vector<TEndListener> listeners = endListeners();
    for (const TEndListener &l : listeners) {
        if (l.Context)
            l.Listener();
    }
}

bool ApplicationEndRequested()
{
    return g_endRequested;
}

void ResetApplicationEndForTesting()
{
    g_endRequested = false;
}

void OnApplicationEndRequested(QObject *context, std::function<void()> listener)
{
    if (g_endRequested) {
        listener();
        return;
    }
    auto &listeners = endListeners();
    std::erase_if(listeners, [](const TEndListener &l) { return !l.Context; });
    listeners.push_back({context, std::move(listener)});
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
