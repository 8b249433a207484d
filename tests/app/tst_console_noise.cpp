// What libraries print about themselves stays out of the console; what
// could be a real problem still gets through.
#include "app/console_noise.h"
#include "app/quiet_sound_library.h"

#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

QStringList g_passed;

void Capture(QtMsgType, const QMessageLogContext &, const QString &text)
{
    g_passed << text;
}

#ifndef _WIN32
// What the code run by f writes on standard error.
template <class F>
QByteArray StandardErrorOf(F &&f)
{
    QTemporaryFile file;
    if (!file.open())
        return "<no temporary file>";
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
    f();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}
#endif

} // namespace

class TestConsoleNoise : public QObject
{
    Q_OBJECT
private slots:
    // First: the filter, once installed, quiets the sound library for good.
    void soundLibraryErrorsAreQuiet();
    void knownHarmlessMessages();
    void filterDropsOnlyTheHarmless();
};

void TestConsoleNoise::knownHarmlessMessages()
{
    QVERIFY(IsHarmlessLibraryMessage(QtWarningMsg,
                                     QStringLiteral("QPlatformNativeInterface::systemTrayWindowChanged() not implemented")));
    QVERIFY(IsHarmlessLibraryMessage(QtWarningMsg, QStringLiteral("This plugin does not support propagateSizeHints()")));
    QVERIFY(IsHarmlessLibraryMessage(QtDebugMsg, QStringLiteral("This plugin does not support raise()")));
    QVERIFY(IsHarmlessLibraryMessage(QtWarningMsg, QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting "
                                                                  "to '/tmp/runtime-root'")));
    QVERIFY(!IsHarmlessLibraryMessage(QtWarningMsg, QStringLiteral("QStandardPaths: wrong permissions on runtime "
                                                                   "directory /run/user/0, 0755 instead of 0700")));
    // The same words in a critical message are news.
    QVERIFY(!IsHarmlessLibraryMessage(QtCriticalMsg, QStringLiteral("This plugin does not support propagateSizeHints()")));
    QVERIFY(!IsHarmlessLibraryMessage(QtWarningMsg, QStringLiteral("QSystemTrayIcon::setVisible: No Icon set")));
    QVERIFY(!IsHarmlessLibraryMessage(QtWarningMsg, QStringLiteral("QXcbConnection: XCB error: 3 (BadWindow)")));
}

void TestConsoleNoise::filterDropsOnlyTheHarmless()
{
    const QtMessageHandler before = qInstallMessageHandler(Capture);
    InstallConsoleFilter();
    InstallConsoleFilter(); // twice: still one filter in front of Capture
    g_passed.clear();
    qWarning("QPlatformNativeInterface::systemTrayWindowChanged() not implemented");
    qWarning("This plugin does not support propagateSizeHints()");
    qWarning("QSqlDatabase: MYSQL driver not loaded");
    qCritical("This plugin does not support propagateSizeHints()");
    qInstallMessageHandler(before);
    QCOMPARE(g_passed, (QStringList{QStringLiteral("QSqlDatabase: MYSQL driver not loaded"),
                                    QStringLiteral("This plugin does not support propagateSizeHints()")}));
}

void TestConsoleNoise::soundLibraryErrorsAreQuiet()
{
#ifdef _WIN32
    QSKIP("Windows' sound calls print nothing");
#else
    void *alsa = dlopen("libasound.so.2", RTLD_NOW);
    if (!alsa)
        QSKIP("no ALSA library on this machine");
    using PcmOpen = int (*)(void **pcm, const char *name, int stream, int mode);
    auto open = reinterpret_cast<PcmOpen>(dlsym(alsa, "snd_pcm_open"));
    QVERIFY(open);
    // The default device: on a machine without a sound card ALSA prints a
    // dozen lines for it. Where there is a card, it opens quietly.
    using PcmClose = int (*)(void *pcm);
    auto closePcm = reinterpret_cast<PcmClose>(dlsym(alsa, "snd_pcm_close"));
    QVERIFY(closePcm);
    const auto tryCard = [open, closePcm] {
        void *pcm = nullptr;
        if (open(&pcm, "default", 0, 0) == 0)
            closePcm(pcm);
    };
    const QByteArray loud = StandardErrorOf(tryCard);
    if (loud.isEmpty())
        QSKIP("ALSA prints nothing here: there is a sound card");
    QuietSoundLibrary();
    QCOMPARE(StandardErrorOf(tryCard), QByteArray());
#endif
}

QTEST_GUILESS_MAIN(TestConsoleNoise)
#include "tst_console_noise.moc"
