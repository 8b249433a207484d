// PlayAlertSound looks for its files in the installation folder the rest of
// the program uses, accents in the path included.
#include "system/alert_sound.h"
#include "system/app_env.h"
#include "system/kr_alert_sound.h"

#include <QFile>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestAlertSound : public QObject
{
    Q_OBJECT

private slots:
    void playsFromTheExecutableFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + QStringLiteral("/Instalação Catraca/");
        QVERIFY(QDir().mkpath(folder));
        SetExecutableFolderForTesting(folder);
        std::vector<platform::AlertDecision> heard;
        platform::SetAlertRecorder([&](const platform::AlertDecision &d) { heard.push_back(d); });

        PlayAlertSound(3);
        for (const char *name : {"erro.wav", "exclama.wav", "questao.wav", "info.wav"}) {
            QFile f(folder + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        PlayAlertSound(3);
        QFile(folder + QStringLiteral("nosound.dat")).open(QIODevice::WriteOnly);
        PlayAlertSound(3);
        platform::SetAlertRecorder(nullptr);
        SetExecutableFolderForTesting(QString());

        if (platform::RunningUnderDebugger())
            QSKIP("under a debugger the sounds come from /SISTEMAS/");
        QCOMPARE(heard.size(), size_t(3));
        QCOMPARE(heard[0].output, platform::AlertDecision::Beep);
        QCOMPARE(heard[0].beep, unsigned(platform::BeepHand));
        QCOMPARE(heard[1].output, platform::AlertDecision::PlayFile);
        QCOMPARE(QString::fromStdU16String(heard[1].file.u16string()), QDir::toNativeSeparators(folder + QStringLiteral("erro.wav")));
        QCOMPARE(heard[2].output, platform::AlertDecision::Silence);
    }
};

QTEST_GUILESS_MAIN(TestAlertSound)
#include "tst_alert_sound.moc"
